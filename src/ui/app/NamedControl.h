// Forms build their controls in code; each control carries its name from the
// form's description as its object name, by which translation and the tests
// find it.
//
// GUI thread.
#pragma once

#include <QString>
#include <QWidget>

// A new control of parent with that object name and, for controls that have
// one, that text.
template <class T>
T* NamedControl(QWidget* parent, const char* name, const QString& text = QString())
{
    auto* control = new T(parent);
    control->setObjectName(QString::fromLatin1(name));
    if constexpr (requires { control->setText(text); }) {
        if (!text.isEmpty())
            control->setText(text);
    }
    return control;
}

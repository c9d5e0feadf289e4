#include "AccessibleHints.h"

#include <QAbstractButton>
#include <QEvent>
#include <QWidget>

namespace {

// Set on icon-only buttons whose accessible name follows their hint.
const char* const NamedByHint = "accessibleNameByHint";

// One filter for every described control; it lives as long as the program.
class THintFollower final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTipChange)
            if (auto* widget = qobject_cast<QWidget*>(watched)) {
                widget->setAccessibleDescription(widget->toolTip());
                if (widget->property(NamedByHint).toBool() && !widget->toolTip().isEmpty())
                    widget->setAccessibleName(widget->toolTip());
            }
        return false;
    }
};

THintFollower& Follower()
{
    static THintFollower* follower = new THintFollower;
    return *follower;
}

void Describe(QWidget* widget)
{
    widget->installEventFilter(&Follower());
    if (!widget->toolTip().isEmpty())
        widget->setAccessibleDescription(widget->toolTip());
    auto* button = qobject_cast<QAbstractButton*>(widget);
    if (!button || !button->text().trimmed().isEmpty() || !button->accessibleName().isEmpty())
        return;
    // The hint says what the button does, in the program's language.
    if (button->toolTip().isEmpty()) {
        button->setAccessibleName(ControlWords(button->objectName()));
    } else {
        button->setAccessibleName(button->toolTip());
        button->setProperty(NamedByHint, true);
    }
}

} // namespace

QString ControlWords(const QString& objectName)
{
    QString name = objectName;
    for (const char* prefix : {"SpeedButton", "BitBtn", "Button", "Image"}) {
        const QString p = QString::fromLatin1(prefix);
        if (name.startsWith(p) && name.size() > p.size() && name.at(p.size()).isUpper()) {
            name = name.mid(p.size());
            break;
        }
    }
    QString words;
    for (int i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        // A new word at a capital after a small letter or a digit, or at the
        // last capital of a run ("OKButton" -> "OK Button").
        const bool capital = c.isUpper();
        const bool afterSmall = i > 0 && (name.at(i - 1).isLower() || name.at(i - 1).isDigit());
        const bool endOfRun = i > 0 && name.at(i - 1).isUpper() && i + 1 < name.size() && name.at(i + 1).isLower();
        if (capital && (afterSmall || endOfRun))
            words += QLatin1Char(' ');
        words += c;
    }
    return words;
}

void DescribeControls(QWidget* form)
{
    if (!form)
        return;
    Describe(form);
    for (QWidget* child : form->findChildren<QWidget*>())
        Describe(child);
}

#include "FormKeys.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

namespace {

bool Usable(const QAbstractButton* button) { return button && button->isVisible() && button->isEnabled(); }

// The focus is on a grid that can be edited, or in one of its cell editors.
bool InEditableGrid(const QWidget* focus)
{
    for (const QWidget* w = focus; w && !w->isWindow(); w = w->parentWidget()) {
        if (const auto* view = qobject_cast<const QAbstractItemView*>(w))
            return w != focus || view->editTriggers() != QAbstractItemView::NoEditTriggers;
    }
    return false;
}

class TFormKeys final : public QObject {
public:
    TFormKeys(QWidget* form, QPushButton* defaultButton, QAbstractButton* cancelButton, TReturnKeys returnKeys)
        : QObject(form)
        , form_(form)
        , default_(defaultButton)
        , cancel_(cancelButton)
        , returnKeys_(returnKeys)
    {
        form->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != form_ || event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<const QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return modifiers == Qt::NoModifier && PressForReturn();
        case Qt::Key_Escape:
            if (modifiers != Qt::NoModifier || !cancel_)
                return false;
            if (Usable(cancel_))
                cancel_->click();
            return true;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if (!(modifiers & Qt::ControlModifier))
                return false;
            MoveFocus(key->key() == Qt::Key_Tab && !(modifiers & Qt::ShiftModifier));
            return true;
        default:
            return false;
        }
    }

private:
    bool PressForReturn()
    {
        QWidget* focus = QApplication::focusWidget();
        auto* button = qobject_cast<QAbstractButton*>(focus);
        if (button && (qobject_cast<QPushButton*>(button) || qobject_cast<QToolButton*>(button))) {
            if (Usable(button))
                button->click();
            return true;
        }
        if (InEditableGrid(focus))
            return true;
        if (returnKeys_ == TReturnKeys::KeptByEdits
            && (qobject_cast<QLineEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus)))
            return true;
        if (!default_)
            return false;
        if (Usable(default_))
            default_->click();
        return true;
    }

    // A Tab sent to the form itself moves the focus along the form's chain,
    // past controls that keep Tab for themselves.
    void MoveFocus(bool next)
    {
        QKeyEvent tab(QEvent::KeyPress, next ? Qt::Key_Tab : Qt::Key_Backtab,
                      next ? Qt::NoModifier : Qt::ShiftModifier);
        QCoreApplication::sendEvent(form_, &tab);
    }

    QWidget* form_;
    QPointer<QPushButton> default_;
    QPointer<QAbstractButton> cancel_;
    TReturnKeys returnKeys_;
};

}  // namespace

void InstallFormKeys(QWidget* form, QPushButton* defaultButton, QAbstractButton* cancelButton, TReturnKeys returnKeys)
{
    if (defaultButton)
        defaultButton->setDefault(true);
    new TFormKeys(form, defaultButton, cancelButton, returnKeys);
}

void SetTabChain(std::initializer_list<QWidget*> controls)
{
    QWidget* previous = nullptr;
    for (QWidget* control : controls) {
        if (previous)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
}

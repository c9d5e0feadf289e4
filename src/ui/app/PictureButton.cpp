#include "PictureButton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

class TAccessiblePicture final : public QAccessibleWidget {
public:
    explicit TAccessiblePicture(TPictureButton* picture)
        : QAccessibleWidget(picture, QAccessible::Button)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        const QString text = QAccessibleWidget::text(t);
        return t == QAccessible::Name && text.isEmpty() ? widget()->toolTip() : text;
    }

    QStringList actionNames() const override { return QStringList(pressAction()) + QAccessibleWidget::actionNames(); }

    void doAction(const QString& action) override
    {
        if (action == pressAction())
            static_cast<TPictureButton*>(widget())->Click();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* MakeAccessiblePicture(const QString& className, QObject* object)
{
    if (className == QLatin1String("TPictureButton"))
        return new TAccessiblePicture(static_cast<TPictureButton*>(object));
    return nullptr;
}

bool IsPressKey(const QKeyEvent* event)
{
    const int key = event->key();
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    return plain && !event->isAutoRepeat() && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter);
}

} // namespace

TPictureButton::TPictureButton(QWidget* parent)
    : QLabel(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(MakeAccessiblePicture);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setFocusPolicy(Qt::StrongFocus);
}

void TPictureButton::Click()
{
    if (isEnabled())
        Q_EMIT Clicked();
}

void TPictureButton::keyPressEvent(QKeyEvent* event)
{
    if (!IsPressKey(event)) {
        QLabel::keyPressEvent(event);
        return;
    }
    event->accept();
    Click();
}

void TPictureButton::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Click();
}

void TPictureButton::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

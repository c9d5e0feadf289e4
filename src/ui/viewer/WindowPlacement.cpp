#include "WindowPlacement.h"

#include "SessionLayout.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// How long after showing a window its decoration is looked at once more.
constexpr int LateDecorationMs = 500;

// States in which the window manager, not the layout, sizes the window.
constexpr Qt::WindowStates Away = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;

// The decoration last seen on a placed window: the best guess for a window
// the window manager has not framed yet.
QMargins lastDecoration;

QMargins Decoration(const QWidget& window)
{
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                    frame.bottom() - client.bottom());
}

class TPlacementWatch final : public QObject {
public:
    explicit TPlacementWatch(QWidget& window)
        : QObject(&window)
        , window_(window)
    {
        setObjectName(QStringLiteral("PlacementWatch"));
    }

    void Place(const QRect& frame)
    {
        frame_ = frame;
        const QMargins own = Decoration(window_);
        assumed_ = own.isNull() ? lastDecoration : own;
        window_.setGeometry(ClientRectInFrame(frame_, assumed_));
    }

    // Follows the native window (there once the window was shown), looks at
    // its decoration now and again a little later.
    void Watch()
    {
        Check();
        QWindow* handle = window_.windowHandle();
        if (handle && handle != watched_) {
            if (watched_)
                watched_->removeEventFilter(this);
            handle->installEventFilter(this);
            watched_ = handle;
        }
        QTimer::singleShot(LateDecorationMs, this, [this] { Check(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::Expose || type == QEvent::Move || type == QEvent::Resize)
            Check();
        return QObject::eventFilter(watched, event);
    }

private:
    // A decoration seen is real; none is believed only of an exposed window:
    // before the window manager has framed it, a window shows none whatever
    // it will wear.
    void Check()
    {
        const QWindow* handle = window_.windowHandle();
        if (!handle || (window_.windowState() & Away))
            return;
        const QMargins decoration = Decoration(window_);
        if (decoration.isNull() && !handle->isExposed())
            return;
        if (!decoration.isNull())
            lastDecoration = decoration;
        if (decoration == assumed_)
            return;
        assumed_ = decoration;
        window_.setGeometry(ClientRectInFrame(frame_, assumed_));
    }

    QWidget& window_;
    QPointer<QWindow> watched_;
    QRect frame_;
    QMargins assumed_;
};

TPlacementWatch& WatchOf(QWidget& window)
{
    // Found by name: the watch has no meta-object of its own to cast by.
    auto* watch = dynamic_cast<TPlacementWatch*>(
        window.findChild<QObject*>(QStringLiteral("PlacementWatch"), Qt::FindDirectChildrenOnly));
    return watch ? *watch : *new TPlacementWatch(window);
}

} // namespace

void PlaceAndShow(QWidget& window, const QRect& frame)
{
    if (window.windowState() & Away)
        window.setWindowState(window.windowState() & ~Away);
    TPlacementWatch& watch = WatchOf(window);
    watch.Place(frame);
    window.show();
    watch.Watch();
}

#include "PowerEvents.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <atomic>
#include <exception>

namespace {

const QString LoginService = QStringLiteral("org.freedesktop.login1");
const QString LoginPath = QStringLiteral("/org/freedesktop/login1");
const QString LoginManager = QStringLiteral("org.freedesktop.login1.Manager");

// One note per process: a machine without a bus says so once, not per start.
void NoteOnce(std::atomic<bool>& said, const char* text)
{
    if (!said.exchange(true))
        qInfo("%s", text);
}

std::atomic<bool> NoBusNoted {false};
std::atomic<bool> NoLockNoted {false};

// The bus delivers signals to slots only.
class TSleepSignalReceiver : public QObject {
    Q_OBJECT
public:
    std::function<void(bool)> onSignal;

public Q_SLOTS:
    void PrepareForSleep(bool sleeping)
    {
        if (onSignal)
            onSignal(sleeping);
    }
};

void RunGuarded(const TPowerEvents::THandler& handler, const char* what)
{
    if (!handler)
        return;
    try {
        handler();
    } catch (const std::exception& e) {
        qWarning("%s handler failed: %s", what, e.what());
    } catch (...) {
        qWarning("%s handler failed", what);
    }
}

} // namespace

struct TPowerEvents::TImpl {
    QString busAddress; // empty: the system bus
    QString service;
    QDBusConnection bus {QString()};
    TSleepSignalReceiver receiver;
    bool running = false;
    QDBusUnixFileDescriptor sleepLock;
    std::unique_ptr<QDBusPendingCallWatcher> lockRequest;
    THandler suspend;
    THandler resume;

    QDBusConnection Connect() const
    {
        if (busAddress.isEmpty())
            return QDBusConnection::systemBus();
        return QDBusConnection::connectToPeer(busAddress, QStringLiteral("traxel-power-") + busAddress);
    }

    // Asks for the delay lock; the answer arrives later on this thread.
    void RequestLock()
    {
        if (!running || sleepLock.isValid() || lockRequest)
            return;
        QDBusMessage call = QDBusMessage::createMethodCall(service, LoginPath, LoginManager, QStringLiteral("Inhibit"));
        call << QStringLiteral("sleep") << QStringLiteral("TRAXEL")
             << QStringLiteral("Closing the unit ports before sleeping") << QStringLiteral("delay");
        lockRequest = std::make_unique<QDBusPendingCallWatcher>(bus.asyncCall(call));
        QObject::connect(lockRequest.get(), &QDBusPendingCallWatcher::finished, &receiver,
                         [this](QDBusPendingCallWatcher* watcher) { TakeLock(*watcher); });
    }

    void TakeLock(QDBusPendingCallWatcher& watcher)
    {
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = watcher;
        if (reply.isError() || !reply.value().isValid())
            NoteOnce(NoLockNoted, "Power events: no sleep lock; the ports may still be open when the machine sleeps");
        else if (running)
            sleepLock = reply.value();
        // Not deleted from inside its own signal.
        lockRequest.release()->deleteLater();
    }

    void ReleaseLock()
    {
        if (lockRequest)
            lockRequest.release()->deleteLater();
        sleepLock = QDBusUnixFileDescriptor();
    }
};

TPowerEvents::TPowerEvents()
    : d_(std::make_unique<TImpl>())
{
    d_->service = LoginService;
    d_->receiver.onSignal = [this](bool sleeping) { PrepareForSleep(sleeping); };
}

TPowerEvents::TPowerEvents(const QString& busAddress, const QString& service)
    : TPowerEvents()
{
    d_->busAddress = busAddress;
    d_->service = service;
}

TPowerEvents::~TPowerEvents()
{
    Stop();
}

void TPowerEvents::SetHandlers(THandler suspend, THandler resume)
{
    d_->suspend = std::move(suspend);
    d_->resume = std::move(resume);
}

bool TPowerEvents::Start()
{
    if (d_->running)
        return true;
    d_->bus = d_->Connect();
    if (!d_->bus.isConnected()) {
        NoteOnce(NoBusNoted, "Power events: no system bus; suspend and resume are not seen");
        return false;
    }
    if (!d_->bus.connect(d_->service, LoginPath, LoginManager, QStringLiteral("PrepareForSleep"), &d_->receiver,
                         SLOT(PrepareForSleep(bool)))) {
        NoteOnce(NoBusNoted, "Power events: the login manager's sleep signal cannot be received");
        return false;
    }
    d_->running = true;
    d_->RequestLock();
    return true;
}

void TPowerEvents::Stop()
{
    if (!d_->running)
        return;
    d_->running = false;
    d_->bus.disconnect(d_->service, LoginPath, LoginManager, QStringLiteral("PrepareForSleep"), &d_->receiver,
                       SLOT(PrepareForSleep(bool)));
    d_->ReleaseLock();
}

bool TPowerEvents::Running() const
{
    return d_->running;
}

bool TPowerEvents::HoldsSleepLock() const
{
    return d_->sleepLock.isValid();
}

void TPowerEvents::PrepareForSleep(bool sleeping)
{
    if (sleeping) {
        RunGuarded(d_->suspend, "Suspend");
        d_->ReleaseLock();
    } else {
        d_->RequestLock();
        RunGuarded(d_->resume, "Resume");
    }
}

#include "PowerEvents.moc"

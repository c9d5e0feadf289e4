// Suspend and resume from a login manager played on a private peer-to-peer
// bus: the delay lock is held while the suspend handler runs and given back
// after it, taken again on resume; no bus means no events.
#include "EventLoop.h"
#include "PowerEvents.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServer>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <functional>
#include <vector>

namespace {

const QString LoginPath = QStringLiteral("/org/freedesktop/login1");
const QString LoginManager = QStringLiteral("org.freedesktop.login1.Manager");

// The login manager's Inhibit: each lock is the write end of a pipe whose
// read end the test keeps, so a released lock shows as end of file.
class TFakeLogin final : public QDBusVirtualObject {
public:
    struct TLock {
        QString what;
        QString mode;
        int readEnd = -1;
    };

    ~TFakeLogin() override
    {
        for (const TLock& lock : locks)
            ::close(lock.readEnd);
    }

    QString introspect(const QString&) const override { return QString(); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QStringLiteral("Inhibit") || message.arguments().size() != 4)
            return false;
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        locks.push_back({message.arguments()[0].toString(), message.arguments()[3].toString(), fds[0]});
        const QDBusUnixFileDescriptor lock(fds[1]);
        ::close(fds[1]);
        connection.send(message.createReply(QVariant::fromValue(lock)));
        return true;
    }

    // Every holder of that lock has closed it.
    bool Released(std::size_t i) const
    {
        pollfd p {locks[i].readEnd, POLLIN, 0};
        char byte = 0;
        return ::poll(&p, 1, 0) == 1 && ::read(locks[i].readEnd, &byte, 1) == 0;
    }

    std::vector<TLock> locks;
};

class PowerEventsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureCoreApp();
        ASSERT_TRUE(dir_.isValid());
        server_ = std::make_unique<QDBusServer>(QStringLiteral("unix:dir=") + dir_.path());
        ASSERT_TRUE(server_->isConnected());
        QObject::connect(server_.get(), &QDBusServer::newConnection, [this](const QDBusConnection& connection) {
            peer_ = std::make_unique<QDBusConnection>(connection);
            peer_->registerVirtualObject(LoginPath, &login_);
        });
        power_ = std::make_unique<TPowerEvents>(server_->address(), QString());
        power_->SetHandlers(
            [this] {
                // Still holding the lock: the machine waits for this.
                events_.push_back(power_->HoldsSleepLock() && !login_.Released(0) ? "suspend, locked" : "suspend");
            },
            [this] { events_.push_back("resume"); });
    }

    void TearDown() override
    {
        power_.reset();
        peer_.reset();
        server_.reset();
    }

    void SendPrepareForSleep(bool sleeping)
    {
        QDBusMessage signal = QDBusMessage::createSignal(LoginPath, LoginManager, QStringLiteral("PrepareForSleep"));
        signal << sleeping;
        ASSERT_TRUE(peer_->send(signal));
    }

    QTemporaryDir dir_;
    TFakeLogin login_;
    std::unique_ptr<QDBusServer> server_;
    std::unique_ptr<QDBusConnection> peer_;
    std::unique_ptr<TPowerEvents> power_;
    std::vector<std::string> events_;
};

} // namespace

TEST_F(PowerEventsTest, SuspendRunsUnderTheDelayLockWhichIsTakenAgainOnResume)
{
    ASSERT_TRUE(power_->Start());
    ASSERT_TRUE(RunLoopUntil([&] { return power_->HoldsSleepLock(); }));
    ASSERT_EQ(login_.locks.size(), 1u);
    EXPECT_EQ(login_.locks[0].what, QStringLiteral("sleep"));
    EXPECT_EQ(login_.locks[0].mode, QStringLiteral("delay"));

    SendPrepareForSleep(true);
    ASSERT_TRUE(RunLoopUntil([&] { return !events_.empty(); }));
    EXPECT_EQ(std::tuple(events_, power_->HoldsSleepLock()), std::tuple((std::vector<std::string> {"suspend, locked"}), false));
    EXPECT_TRUE(RunLoopUntil([&] { return login_.Released(0); }));

    SendPrepareForSleep(false);
    ASSERT_TRUE(RunLoopUntil([&] { return events_.size() == 2 && power_->HoldsSleepLock(); }));
    EXPECT_EQ(std::tuple(events_.back(), login_.locks.size()), std::tuple("resume", 2u));

    // Stopped: the lock goes back and the signal is no longer heard.
    power_->Stop();
    EXPECT_TRUE(RunLoopUntil([&] { return login_.Released(1); }));
}

TEST(PowerEvents, WithoutABusNothingStarts)
{
    EnsureCoreApp();
    TPowerEvents power(QStringLiteral("unix:path=/nonexistent/traxel-bus"), QString());
    EXPECT_FALSE(power.Start());
    EXPECT_FALSE(power.Running());
}

#include "HotPlug.h"

#include "PortRegistry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

struct TEvent {
    EPortChange Change;
    std::string Port;
    qint64 AtMs;

    bool operator==(const TEvent& o) const { return Change == o.Change && Port == o.Port; }
};

void PrintTo(const TEvent& e, std::ostream* os)
{
    *os << (e.Change == EPortChange::Arrival ? "arrival " : "removal ") << e.Port << " @" << e.AtMs;
}

TEvent Arrival(const std::string& port) { return { EPortChange::Arrival, port, 0 }; }
TEvent Removal(const std::string& port) { return { EPortChange::Removal, port, 0 }; }

// Runs the event loop for ms, or until done() holds.
void RunLoop(int ms, const std::function<bool()>& done = {})
{
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (clock.elapsed() >= ms || (done && done()))
            loop.quit();
    });
    poll.start(10);
    loop.exec();
}

class HotPlugTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_hotplug";
        static char* argv[] = { name, nullptr };
        if (!QCoreApplication::instance())
            static QCoreApplication app(argc, argv);
    }

    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        fs::create_directories(root_ / "sys" / "class" / "tty");
        fs::create_directories(root_ / "pts");
        registry_.SetSysfsRoot((root_ / "sys").string());
        registry_.SetByIdFolder((root_ / "by-id").string());
        registry_.SetDevFolder((root_ / "dev").string());
        registry_.SetPortsFolder(Ports().string());
        clock_.start();
    }

    fs::path Ports() const { return root_ / "Ports"; }

    fs::path Device(const std::string& name)
    {
        std::ofstream(root_ / "pts" / name) << "";
        return root_ / "pts" / name;
    }

    void Pin(int number, const fs::path& target)
    {
        const fs::path link = Ports() / ("COM" + std::to_string(number));
        fs::create_directories(Ports());
        fs::remove(link);
        fs::create_symlink(target, link);
    }

    void Unpin(int number) { fs::remove(Ports() / ("COM" + std::to_string(number))); }

    void Listen(THotPlug& hotPlug)
    {
        hotPlug.AddListener([this](EPortChange change, const std::string& port) {
            events_.push_back({ change, port, clock_.elapsed() });
        });
    }

    // Waits for count events, then a while longer so that extra ones show.
    void WaitForEvents(std::size_t count)
    {
        RunLoop(3000, [&] { return events_.size() >= count; });
        RunLoop(700);
    }

    QTemporaryDir dir_;
    fs::path root_ { dir_.path().toStdString() };
    TPortRegistry registry_;
    QElapsedTimer clock_;
    std::vector<TEvent> events_;
};

}  // namespace

TEST_F(HotPlugTest, LinkArrivesAndLeavesAfterTheQuietSpell)
{
    THotPlug hotPlug(registry_);
    Listen(hotPlug);
    hotPlug.Start();
    ASSERT_TRUE(hotPlug.Running());
    ASSERT_TRUE(fs::is_directory(Ports()));  // made so that it can be watched

    const qint64 linkedAt = clock_.elapsed();
    Pin(7, Device("7"));
    WaitForEvents(1);
    ASSERT_EQ(events_, (std::vector<TEvent>{ Arrival("COM7") }));
    EXPECT_GE(events_[0].AtMs - linkedAt, THotPlug::DebounceMs - 20);
    EXPECT_EQ(registry_.ResolveComPort(7), (root_ / "pts" / "7").string());

    events_.clear();
    Unpin(7);
    WaitForEvents(1);
    EXPECT_EQ(events_, (std::vector<TEvent>{ Removal("COM7") }));

    // A dangling link is no arrival; its target appearing is not seen by the
    // folder watch, but relinking is.
    events_.clear();
    Pin(8, root_ / "pts" / "8");
    RunLoop(700);
    EXPECT_TRUE(events_.empty());
    Device("8");
    Pin(8, root_ / "pts" / "8");
    WaitForEvents(1);
    EXPECT_EQ(events_, (std::vector<TEvent>{ Arrival("COM8") }));

    // Stopped: nothing more is delivered.
    events_.clear();
    hotPlug.Stop();
    Unpin(8);
    RunLoop(700);
    EXPECT_TRUE(events_.empty());
}

TEST_F(HotPlugTest, BurstGivesOneDeliveryPerNetDifference)
{
    Pin(7, Device("7a"));
    Pin(6, Device("6"));
    THotPlug hotPlug(registry_);
    Listen(hotPlug);
    hotPlug.Start();  // ports present at the start are no arrivals

    Pin(8, Device("8"));
    Pin(9, Device("9"));
    Unpin(8);
    Pin(7, Device("7b"));  // another device under the same number
    Pin(10, root_ / "pts" / "none");
    Pin(11, Device("11"));
    Unpin(11);
    Unpin(6);
    WaitForEvents(4);
    EXPECT_EQ(events_, (std::vector<TEvent>{ Removal("COM6"), Removal("COM7"), Arrival("COM7"), Arrival("COM9") }));
    if (!events_.empty()) {
        const qint64 first = events_.front().AtMs;
        for (const TEvent& e : events_)
            EXPECT_LT(e.AtMs - first, 50) << "delivered in one go";
    }
}

TEST_F(HotPlugTest, ListenersComeAndGoSafely)
{
    THotPlug hotPlug(registry_);
    int secondCalls = 0;
    int secondId = 0;
    int thirdCalls = 0;
    // The first listener throws once and removes the second on its first call.
    bool thrown = false;
    hotPlug.AddListener([&](EPortChange, const std::string&) {
        hotPlug.RemoveListener(secondId);
        if (!thrown) {
            thrown = true;
            throw std::runtime_error("listener fault");
        }
    });
    secondId = hotPlug.AddListener([&](EPortChange, const std::string&) { ++secondCalls; });
    hotPlug.AddListener([&](EPortChange, const std::string&) { ++thirdCalls; });
    hotPlug.Start();

    Pin(3, Device("3"));
    RunLoop(3000, [&] { return thirdCalls > 0; });
    EXPECT_EQ(secondCalls, 0);
    EXPECT_EQ(thirdCalls, 1);
}

TEST_F(HotPlugTest, ListenerRunningTheEventLoopSeesLaterChangesAfterwards)
{
    THotPlug hotPlug(registry_);
    Listen(hotPlug);
    bool nested = false;
    std::size_t seenInside = 0;
    hotPlug.AddListener([&](EPortChange change, const std::string& port) {
        if (change != EPortChange::Arrival || port != "COM7" || nested)
            return;
        // Like a port scan that pumps events for a while.
        nested = true;
        Pin(12, Device("12"));
        RunLoop(900);
        seenInside = events_.size();
    });
    hotPlug.Start();

    Pin(7, Device("7"));
    WaitForEvents(2);
    EXPECT_EQ(seenInside, 1u);
    EXPECT_EQ(events_, (std::vector<TEvent>{ Arrival("COM7"), Arrival("COM12") }));
}

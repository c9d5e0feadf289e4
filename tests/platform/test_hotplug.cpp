#include "HotPlug.h"

#include "EventLoop.h"
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

    bool operator==(const TEvent& o) const = default;
};

void PrintTo(const TEvent& e, std::ostream* os)
{
    *os << (e.Change == EPortChange::Arrival ? "arrival " : "removal ") << e.Port;
}

TEvent Arrival(const std::string& port) { return { EPortChange::Arrival, port }; }
TEvent Removal(const std::string& port) { return { EPortChange::Removal, port }; }
using Events = std::vector<TEvent>;

class HotPlugTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureCoreApp(); }

    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        fs::create_directories(root_ / "sys" / "class" / "tty");
        fs::create_directories(root_ / "pts");
        registry_.SetSysfsRoot((root_ / "sys").string());
        registry_.SetByIdFolder((root_ / "by-id").string());
        registry_.SetDevFolder((root_ / "dev").string());
        registry_.SetPortsFolder(Ports().string());
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
        hotPlug.AddListener(
            [this](EPortChange change, const std::string& port) { events_.push_back({ change, port }); });
    }

    // What was delivered up to a marker: a port pinned now, whose arrival
    // comes after every delivery the earlier changes cause. The marker's own
    // arrival is left out.
    Events Settled()
    {
        const std::string marker = "COM" + std::to_string(++marker_);
        Pin(marker_, Device(marker));
        EXPECT_TRUE(RunLoopUntil([&] { return !events_.empty() && events_.back() == Arrival(marker); }));
        Events before = std::exchange(events_, {});
        std::erase(before, Arrival(marker));
        return before;
    }

    QTemporaryDir dir_;
    fs::path root_ { dir_.path().toStdString() };
    TPortRegistry registry_;
    Events events_;
    int marker_ = 200;
};

}  // namespace

TEST_F(HotPlugTest, LinkArrivesAndLeavesAfterTheQuietSpell)
{
    THotPlug hotPlug(registry_);
    Listen(hotPlug);
    hotPlug.Start();
    ASSERT_TRUE(hotPlug.Running());
    ASSERT_TRUE(fs::is_directory(Ports()));  // made so that it can be watched

    QElapsedTimer sinceLink;
    sinceLink.start();
    Pin(7, Device("7"));
    ASSERT_TRUE(RunLoopUntil([&] { return !events_.empty(); }));
    EXPECT_GE(sinceLink.elapsed(), THotPlug::DebounceMs - 20);
    EXPECT_EQ(Settled(), (Events{ Arrival("COM7") }));
    EXPECT_EQ(registry_.ResolveComPort(7), (root_ / "pts" / "7").string());

    Unpin(7);
    EXPECT_EQ(Settled(), (Events{ Removal("COM7") }));

    // A dangling link is no arrival; its target appearing is not seen by the
    // folder watch, but relinking is.
    Pin(8, root_ / "pts" / "8");
    EXPECT_EQ(Settled(), Events{});
    Device("8");
    Pin(8, root_ / "pts" / "8");
    EXPECT_EQ(Settled(), (Events{ Arrival("COM8") }));

    // Stopped: nothing more is delivered. A watcher with a longer quiet spell
    // shows when the change has been seen and any delivery would have come.
    THotPlug probe(registry_, 2 * THotPlug::DebounceMs);
    bool probed = false;
    probe.AddListener([&](EPortChange, const std::string&) { probed = true; });
    probe.Start();
    hotPlug.Stop();
    Unpin(8);
    ASSERT_TRUE(RunLoopUntil([&] { return probed; }));
    EXPECT_TRUE(events_.empty());
}

TEST_F(HotPlugTest, BurstGivesOneDeliveryPerNetDifference)
{
    Pin(7, Device("7a"));
    Pin(6, Device("6"));
    THotPlug hotPlug(registry_);
    Listen(hotPlug);
    // Counted on the loop's next turn after the first delivery: all of one
    // delivery are there by then.
    std::size_t afterFirstTurn = 0;
    hotPlug.AddListener([&](EPortChange, const std::string&) {
        if (events_.size() == 1)
            QTimer::singleShot(0, [&] { afterFirstTurn = events_.size(); });
    });
    hotPlug.Start();  // ports present at the start are no arrivals

    Pin(8, Device("8"));
    Pin(9, Device("9"));
    Unpin(8);
    Pin(7, Device("7b"));  // another device under the same number
    Pin(10, root_ / "pts" / "none");
    Pin(11, Device("11"));
    Unpin(11);
    Unpin(6);
    ASSERT_TRUE(RunLoopUntil([&] { return afterFirstTurn > 0; }));
    EXPECT_EQ(afterFirstTurn, 4u);
    EXPECT_EQ(Settled(), (Events{ Removal("COM6"), Removal("COM7"), Arrival("COM7"), Arrival("COM9") }));
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
    ASSERT_TRUE(RunLoopUntil([&] { return thirdCalls > 0; }));
    EXPECT_EQ(std::tuple(secondCalls, thirdCalls), std::tuple(0, 1));
}

TEST_F(HotPlugTest, ListenerRunningTheEventLoopSeesLaterChangesAfterwards)
{
    THotPlug hotPlug(registry_);
    THotPlug probe(registry_, 2 * THotPlug::DebounceMs);
    Listen(hotPlug);
    bool nested = false;
    bool probed = false;
    std::size_t seenInside = 0;
    hotPlug.AddListener([&](EPortChange change, const std::string& port) {
        if (change != EPortChange::Arrival || port != "COM7" || nested)
            return;
        // Like a port scan that pumps events, here until the change it makes
        // has been seen (the probe's longer quiet spell has passed).
        nested = true;
        probe.AddListener([&](EPortChange, const std::string&) { probed = true; });
        probe.Start();
        Pin(12, Device("12"));
        EXPECT_TRUE(RunLoopUntil([&] { return probed; }));
        seenInside = events_.size();
    });
    hotPlug.Start();

    Pin(7, Device("7"));
    ASSERT_TRUE(RunLoopUntil([&] { return events_.size() >= 2; }));
    EXPECT_EQ(seenInside, 1u);
    EXPECT_EQ(Settled(), (Events{ Arrival("COM7"), Arrival("COM12") }));
}

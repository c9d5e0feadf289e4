#include "ComLed.h"
#include "SerialUiTest.h"
#include "Screens.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QTimer>

#include <gtest/gtest.h>

using namespace ComBackend;

namespace {

class ComLedTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    void TearDown() override { led.SetComPort(nullptr); }

    // The LED follows signal of the open port; states records its changes.
    void Follow(TComLedSignal signal)
    {
        led.SetLedSignal(signal);
        QObject::connect(&led, &TComLed::StateChanged, [this](TLedState s) { states.push_back(s); });
        rig.port.Open();
        led.SetComPort(&rig.port);
    }
    bool OffTimerRunning() { return led.findChild<QTimer*>(QStringLiteral("TimerLed"))->isActive(); }

    TFakePortRig rig;
    TComLed led;
    std::vector<TLedState> states;
};

TEST_F(ComLedTest, PulseOnTheEventThreadStaysLitForTheOffDelay)
{
    Follow(lsCTS);
    rig.LineEvent(MsCtsOn, EvCts);
    rig.LineEvent(0, EvCts);
    rig.LineEvent(MsCtsOn, EvCts);
    EXPECT_TRUE(states.empty()) << "changes reach the LED on the GUI thread only";
    PumpQueued();
    EXPECT_EQ(states, (std::vector<TLedState>{lsOn}));
    EXPECT_FALSE(OffTimerRunning()) << "on again within the off delay: a pending off would darken it";

    rig.LineEvent(0, EvCts);
    QElapsedTimer sinceOff;
    sinceOff.start();
    ASSERT_TRUE(PumpUntil([&] { return states.size() == 2; }));
    EXPECT_EQ(states, (std::vector<TLedState>{lsOn, lsOff}));
    EXPECT_GE(sinceOff.elapsed(), TComLed::OffDelayMs - 1);
}

TEST_F(ComLedTest, RingLightsForRingDuration)
{
    led.SetRingDuration(30);
    Follow(lsRing);
    rig.LineEvent(MsRingOn, EvRing);
    ASSERT_TRUE(PumpUntil([&] { return states.size() == 2; }));
    EXPECT_EQ(states, (std::vector<TLedState>{lsOn, lsOff}));
}

TEST_F(ComLedTest, StateFollowsTheLinkedPort)
{
    led.SetLedSignal(lsConn);
    led.SetState(lsOn);
    EXPECT_EQ(led.State(), lsOn);
    led.SetComPort(&rig.port);
    EXPECT_EQ(led.State(), lsOff) << "a closed port shows off";
    try {
        led.SetState(lsOn);
        ADD_FAILURE() << "no error with a linked port";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 19);
    }

    rig.port.Open();
    ASSERT_TRUE(PumpUntil([&] { return led.State() == lsOn; }));
    rig.port.Close();
    ASSERT_TRUE(PumpUntil([&] { return led.State() == lsOff; }));

    {
        std::lock_guard<std::mutex> lock(rig.fake->mutex);
        rig.fake->modemBits = MsDsrOn;
    }
    rig.port.Open();
    led.SetLedSignal(lsDSR);
    EXPECT_EQ(led.State(), lsOn) << "the line is read when linking";
    rig.fake->FailAlways("GetModemStatus", EIO);
    led.SetLedSignal(lsCTS);
    EXPECT_EQ(led.State(), lsOff) << "a failing port reads as off";
    rig.fake->FailAlways("GetModemStatus", 0);
}

TEST_F(ComLedTest, RowOfKindsIsDrawn)
{
    QWidget row;
    auto* layout = new QHBoxLayout(&row);
    for (TLedKind kind : {lkRedLight, lkGreenLight, lkBlueLight, lkYellowLight, lkPurpleLight, lkBulb}) {
        for (TLedState state : {lsOn, lsOff}) {
            auto* light = new TComLed(&row);
            light->SetKind(kind);
            light->SetState(state);
            light->setFixedSize(light->sizeHint());
            layout->addWidget(light);
            EXPECT_FALSE(light->grab().isNull());
        }
    }
    row.adjustSize();
    SaveScreen(row, QStringLiteral("comled_row"));
}

} // namespace

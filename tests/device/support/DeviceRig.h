// A TDevice on a pseudo-terminal with the simulated unit behind it, for the
// device tests that check what really crosses the line, and the data those
// tests put on the unit.
#pragma once

#include "CPort.h"
#include "Device.h"
#include "Shotdata.h"
#include "TSimUnit.h"
#include "TestWait.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

// A classic shot at x, y; its time keeps results at different x apart.
inline unitsim::SimShot ShotAt(int16_t x, int16_t y = 0)
{
    unitsim::SimShot s;
    s.x = x;
    s.y = y;
    s.time = 1000 + x;
    s.functionMode = 1;
    return s;
}

// A ring target record: 64 bytes counting up from seed.
inline std::array<uint8_t, 64> RingBytes(uint8_t seed)
{
    std::array<uint8_t, 64> r {};
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = uint8_t(seed + i);
    return r;
}

// A silhouette target as the unit keeps it, every byte and cell from seed.
inline unitsim::SilhouetteSlot SilhouetteSlot(uint8_t seed)
{
    unitsim::SilhouetteSlot s;
    for (std::size_t i = 0; i < s.record.size(); ++i)
        s.record[i] = uint8_t(seed + i);
    for (std::size_t i = 0; i < s.cells.size(); ++i)
        s.cells[i] = uint8_t((i * 5 + seed) % 4);
    return s;
}

// The same target as the device keeps it.
inline void SilhouetteOf(const unitsim::SilhouetteSlot& slot, SilhouetteTargetRecord& record, SilhouetteMatrix& matrix)
{
    std::copy(slot.record.begin(), slot.record.end(), record.b.begin());
    for (int c = 0; c < SilhouetteMatrix::Columns; ++c)
        for (int r = 0; r < SilhouetteMatrix::Rows; ++r)
            matrix.SetCell(c, r, slot.cells[std::size_t(64 * c + r)]);
}

class UnitDeviceTest : public ::testing::Test {
protected:
    static constexpr int ComNumber = 41;
    using Args = std::vector<std::pair<int, int>>;

    void SetUp() override
    {
        session_ = std::make_unique<TSession>();
        CurrentSession = session_.get();
        SetComPortResolver([this](int n) { return n == ComNumber ? unit_.SlavePath() : std::string(); });
        device_ = std::make_unique<TDevice>();
        BeforeOpen();
        ASSERT_TRUE(device_->OpenPort(ComNumber, true));
        ASSERT_TRUE(WaitUntil([&] { return unit_.ListenerReady(); }, 10s));
    }
    void TearDown() override
    {
        device_.reset();
        SetComPortResolver({});
        CurrentSession = nullptr;
        session_.reset();
    }
    // Runs once the device exists, before its port opens: the place for the
    // data handler's diagnostic taps.
    virtual void BeforeOpen() {}
    // Every frame the device wrote before this call has reached the unit:
    // the unit answers in order, so once the answer to one more request is
    // back, nothing written earlier is still on its way. The request is a
    // bank-count read ("c" 32).
    void Sync()
    {
        ASSERT_TRUE(device_->SendAndWait(BuildRequestInfo(32), ReplyShotBankCounts, 10000));
    }
    // Nothing but the synchronising request reached the unit since the last clear.
    void ExpectNothingSent()
    {
        Sync();
        EXPECT_EQ(unit_.ReceivedLetters(), "c");
        unit_.ClearReceived();
    }
    // A late "Y<letter>" ack handed in as the receive path would.
    void InjectAck(uint8_t letter)
    {
        std::array<uint8_t, 5> ack {'Y', letter, 0, 0, 0};
        ack[4] = Checksum(ack.data(), 4);
        device_->HandleFrame(ack.data(), 5, ReplyAck);
    }
    // Waits while driving the identification timer as the GUI would.
    template <class Pred>
    bool Ticking(Pred done, std::chrono::milliseconds limit, TDevice* device = nullptr)
    {
        TDevice& d = device ? *device : *device_;
        return WaitUntil([&] {
            d.IdentifyTimerTick(DeviceTickMs());
            return done();
        }, limit);
    }
    // Bytes 1 and 2 of every frame with that letter the unit received.
    Args ArgsOf(uint8_t letter) const
    {
        Args out;
        for (const auto& f : unit_.Received())
            if (f.Letter() == letter)
                out.emplace_back(f.Arg(1), f.Arg(2));
        return out;
    }

    std::unique_ptr<TSession> session_;
    unitsim::TSimUnit unit_;
    std::unique_ptr<TDevice> device_;
};

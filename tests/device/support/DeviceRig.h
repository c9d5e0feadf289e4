// A TDevice on a pseudo-terminal with the simulated unit behind it, for the
// device tests that check what really crosses the line.
#pragma once

#include "CPort.h"
#include "Device.h"
#include "Shotdata.h"
#include "TSimUnit.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return pred();
}

class UnitDeviceTest : public ::testing::Test {
protected:
    static constexpr int ComNumber = 41;

    void SetUp() override
    {
        session_ = std::make_unique<TSession>();
        CurrentSession = session_.get();
        SetComPortResolver([this](int n) { return n == ComNumber ? unit_.SlavePath() : std::string(); });
        device_ = std::make_unique<TDevice>();
        BeforeOpen();
        ASSERT_TRUE(device_->OpenPort(ComNumber, true));
        ASSERT_TRUE(WaitUntil([&] { return unit_.ListenerReady(); }, 2000ms));
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
        ASSERT_TRUE(device_->SendAndWait(BuildRequestInfo(32), ReplyShotBankCounts, 2000));
    }
    // A late "Y<letter>" ack handed in as the receive path would.
    void InjectAck(uint8_t letter)
    {
        std::array<uint8_t, 5> ack {'Y', letter, 0, 0, 0};
        ack[4] = Checksum(ack.data(), 4);
        device_->HandleFrame(ack.data(), 5, ReplyAck);
    }

    std::unique_ptr<TSession> session_;
    unitsim::TSimUnit unit_;
    std::unique_ptr<TDevice> device_;
};

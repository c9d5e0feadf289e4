// The receive path of one port without a port: chunks go straight into
// TDataHandler::OnReceive and the frame tap records what is cut out.
#include "DataHandler.h"
#include "Globals.h"

#include <gtest/gtest.h>

#include <chrono>

#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Sealed(Bytes frame)
{
    frame.push_back(Checksum(frame.data(), int(frame.size())));
    return frame;
}

// A frame from the unit of the given total length, lead bytes first.
Bytes UnitFrame(uint8_t lead, uint8_t letter, int length, uint8_t fill = 0x11)
{
    Bytes f(std::size_t(length - 1), fill);
    f[0] = lead;
    f[1] = letter;
    return Sealed(f);
}

Bytes Ack() { return UnitFrame('Y', 'a', 5); }
Bytes Sample() { return UnitFrame(0xCA, 'e', 20); }

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct Seen {
    int type;
    int length;
};

class Receive : public ::testing::Test {
protected:
    TDataHandler handler {nullptr};
    std::vector<Seen> seen;

    void SetUp() override
    {
        handler.frameTap = [this](const uint8_t*, int length, int type) { seen.push_back({type, length}); };
    }
    void Feed(const Bytes& chunk) { handler.OnReceive(chunk.data(), int(chunk.size())); }
    std::vector<int> Types() const
    {
        std::vector<int> t;
        for (const Seen& s : seen)
            t.push_back(s.type);
        return t;
    }
};

} // namespace

// The cutting itself is the scanner's (test_deviceframes); here: the buffer
// that carries partial frames from one chunk to the next.
TEST_F(Receive, FramesCompleteAcrossChunks)
{
    const Bytes stream = Cat({Ack(), Sample(), UnitFrame(0xCA, 'j', 36), UnitFrame('Y', 'e', 20), UnitFrame(0xCA, 'V', 46)});
    // Byte by byte: every frame completes exactly once.
    for (uint8_t b : stream)
        Feed({b});
    EXPECT_EQ(Types(), (std::vector<int>{3, 5, 8, 13, 7}));
    EXPECT_EQ(seen[2].length, 36);
    EXPECT_EQ(handler.FillCount(), 0);
    EXPECT_EQ(handler.FramesDispatched(), 5u);

    // A lone 0xCA at the end of a chunk waits, and turns out to start a sample.
    seen.clear();
    Feed(Cat({Ack(), {0xCA}}));
    EXPECT_EQ(handler.FillCount(), 1);
    Bytes rest = Sample();
    rest.erase(rest.begin());
    Feed(rest);
    EXPECT_EQ(Types(), (std::vector<int>{3, 5}));
    EXPECT_EQ(handler.FillCount(), 0);
    EXPECT_EQ(handler.BytesReceived(), uint32_t(stream.size() + 5 + 1 + 19));
}

// Bytes that look like the start of a long frame hold back the short reply
// behind them only until the line has been quiet for QuietMs.
TEST_F(Receive, StaleFrameStartIsDroppedWhenTheLineFallsSilent)
{
    const auto ns = [](std::chrono::steady_clock::time_point t) {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    };
    const auto before = std::chrono::steady_clock::now();
    Feed(Cat({{0xCA, 'j'}, Ack(), {'Y', 'c'}}));
    const auto after = std::chrono::steady_clock::now();
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(handler.HasPartialFrame());
    EXPECT_FALSE(handler.DropStaleBytes(ns(before)));
    EXPECT_TRUE(seen.empty());

    EXPECT_TRUE(handler.DropStaleBytes(ns(after + std::chrono::milliseconds(TDataHandler::QuietMs))));
    // The ack came through; the cut "Yc" at the end went as well.
    EXPECT_EQ(Types(), (std::vector<int>{3}));
    EXPECT_FALSE(handler.HasPartialFrame());
    EXPECT_EQ(handler.BytesSkipped(), 4u);
}

TEST_F(Receive, ChunkOfExactlyTheFreeRoomIsDropped)
{
    // 45 bytes of a 46-byte frame stay in the buffer.
    Bytes partial = UnitFrame(0xCA, 'V', 46);
    partial.pop_back();
    Feed(partial);
    ASSERT_EQ(handler.FillCount(), 45);
    const int room = TDataHandler::Capacity - 45;

    Feed(Bytes(std::size_t(room), 0x00));
    EXPECT_EQ(handler.BytesDropped(), uint32_t(room));
    EXPECT_EQ(handler.FillCount(), 45);
    EXPECT_TRUE(seen.empty());

    // One byte less fits; the kept bytes are still there.
    Bytes last = UnitFrame(0xCA, 'V', 46);
    Bytes chunk(std::size_t(room - 1), 0x00);
    chunk[0] = last.back();
    Feed(chunk);
    EXPECT_EQ(Types(), (std::vector<int>{7}));
    EXPECT_EQ(handler.BytesDropped(), uint32_t(room));
    EXPECT_EQ(handler.LargestChunk(), room - 1);
    // The zero filler is skipped; its very last byte waits for a partner.
    EXPECT_EQ(handler.FillCount(), 1);
}

TEST_F(Receive, PowerUpDashReportedOncePerOpening)
{
    Feed(Cat({{'-'}, Ack()}));
    EXPECT_EQ(Types(), (std::vector<int>{2, 3}));
    EXPECT_EQ(handler.BytesSkipped(), 1u);
    EXPECT_TRUE(handler.DashSeen());

    // A second "-" in the same opening is an ordinary byte.
    Feed(Cat({{'-'}, Ack()}));
    EXPECT_EQ(Types(), (std::vector<int>{2, 3, 3}));
    EXPECT_EQ(handler.BytesSkipped(), 2u);

}

TEST_F(Receive, FailingHandlerDoesNotStopTheScan)
{
    int calls = 0;
    handler.frameTap = [&](const uint8_t*, int, int type) {
        ++calls;
        if (type == 3)
            throw Exception("handler failed");
        seen.push_back({type, 0});
    };
    Feed(Cat({Ack(), Sample(), Ack(), Sample()}));
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(Types(), (std::vector<int>{5, 5}));
    // The frames were consumed: the next chunk does not bring them back.
    EXPECT_EQ(handler.FillCount(), 0);
    Feed(Sample());
    EXPECT_EQ(calls, 5);
}

TEST(DataHandlerWrite, ClosedPortRefusesAndKeepsLastFrame)
{
    TDataHandler handler(nullptr);
    EXPECT_FALSE(handler.IsOpen());
    try {
        handler.RequestInfo(0);
        FAIL() << "write on a closed port";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Write to closed port"));
    }
    EXPECT_TRUE(handler.LastFrame().isEmpty());
    EXPECT_EQ(handler.ComNumber(), 0);
}

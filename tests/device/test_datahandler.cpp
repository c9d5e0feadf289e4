// The receive path of one port without a port: chunks go straight into
// TDataHandler::OnReceive and the frame tap records the frames cut out.
#include "DataHandler.h"
#include "Globals.h"
#include "UnitFrames.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

using unitsim::Bytes;

// A sealed frame from the unit: the lead bytes, filler up to length, checksum.
Bytes UnitFrame(std::initializer_list<uint8_t> head, int length)
{
    Bytes f(std::size_t(length), 0x11);
    std::copy(head.begin(), head.end(), f.begin());
    return unitsim::Sealed(f);
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Damaged(Bytes frame)
{
    frame.back() ^= 0xFF;
    return frame;
}

const Bytes ack = UnitFrame({'Y', 'a'}, 5);
const Bytes sample = UnitFrame({0xCA, 'e'}, 20);
// A shot result with fields a unit sends: no target, classic training.
Bytes PossibleShot()
{
    Bytes f = UnitFrame({0xCA, 'j'}, 36);
    f[14] = f[15] = 255;
    f[16] = 1;
    return unitsim::Sealed(f);
}
const Bytes shot = PossibleShot();

class Receive : public ::testing::Test {
protected:
    TDataHandler handler {nullptr};
    std::vector<int> types;

    void SetUp() override
    {
        handler.frameTap = [this](const uint8_t*, int, int type) { types.push_back(type); };
    }
    void Feed(const Bytes& chunk) { handler.OnReceive(chunk.data(), int(chunk.size())); }
};

} // namespace

// However the bytes are chunked, each frame is cut out once; a byte that
// starts no frame costs itself only; an incomplete frame waits for more.
TEST(ReceivePath, CutsFramesFromAnyChunking)
{
    struct Case {
        const char* name;
        std::vector<Bytes> chunks;
        std::vector<int> types;
        uint32_t skipped;
        int left; // bytes still waiting
    };
    const Bytes mixed = Cat({ack, sample, shot, UnitFrame({'Y', 'e'}, 20), UnitFrame({0xCA, 'V'}, 46)});
    std::vector<Bytes> byteByByte;
    for (uint8_t b : mixed)
        byteByByte.push_back({b});
    const Bytes counts = UnitFrame({'Y', 'c', 32}, 20);
    const Case cases[] = {
        {"byte by byte", byteByByte, {3, 5, 8, 13, 7}, 0, 0},
        {"garbage between frames; the last byte may lead the next",
         {Cat({{0x00}, ack, {0x13}, sample, shot, {0x77}})}, {3, 5, 8}, 2, 1},
        {"0xCA with an unlisted letter costs one byte", {Cat({{0xCA}, ack})}, {3}, 1, 0},
        {"a lone 0xCA at a chunk's end leads a sample", {Cat({ack, {0xCA}}), Bytes(sample.begin() + 1, sample.end())},
         {3, 5}, 0, 0},
        {"the register byte makes \"Yc\" the bank counts", {Bytes(counts.begin(), counts.begin() + 2),
                                                           Bytes(counts.begin() + 2, counts.end())}, {17}, 0, 0},
        {"a bad checksum costs one byte at a time", {Damaged(ack), UnitFrame({'Y', 'x'}, 5)}, {3}, 5, 0},
        {"a corrupt shot result loses no following frame", {Cat({Damaged(shot), sample, sample})}, {5, 5}, 36, 0},
        {"the power-up dash is reported once per opening", {Cat({{'-'}, ack}), Cat({{'-'}, ack})}, {2, 3, 3}, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TDataHandler handler(nullptr);
        std::vector<int> types;
        handler.frameTap = [&](const uint8_t*, int, int type) { types.push_back(type); };
        uint32_t bytes = 0;
        for (const Bytes& chunk : c.chunks) {
            handler.OnReceive(chunk.data(), int(chunk.size()));
            bytes += uint32_t(chunk.size());
        }
        EXPECT_EQ(std::tuple(types, handler.BytesSkipped(), handler.FillCount(), handler.BytesReceived()),
                  std::tuple(c.types, c.skipped, c.left, bytes));
        EXPECT_EQ(handler.FramesDispatched(), uint32_t(std::count_if(types.begin(), types.end(),
                                                                     [](int t) { return t != ReplyPowerUp; })));
    }
}

// A frame that pauses inside waits for its rest however long the line is
// silent short of SilenceMs; bytes that only look like the start of a long
// frame hold back the frames behind them only until those are whole.
TEST_F(Receive, HeldFrameStartWaitsForItsRestUnlessWholeFramesFollowIt)
{
    const auto ns = [](std::chrono::steady_clock::time_point t) {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    };
    const auto later = [&](int ms) { return ns(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)); };
    // A result and a sample paused mid-frame for 2 s each: nothing is lost.
    for (const Bytes& frame : {shot, sample}) {
        Feed(Bytes(frame.begin(), frame.begin() + 11));
        EXPECT_FALSE(handler.DropStaleBytes(later(2000)));
        Feed(Bytes(frame.begin() + 11, frame.end()));
    }
    EXPECT_EQ(std::tuple(types, handler.BytesSkipped()), std::tuple(std::vector<int>{ReplyShotResult, ReplySample}, 0u));

    // Stray frame starts: the reply behind them goes on as soon as it is
    // whole, also when it comes in pieces, and with more arriving after it.
    struct Case {
        const char* name;
        std::vector<Bytes> chunks;
        std::vector<int> types;
    };
    const Bytes leadNoise = {'Y', 0x00, 0x13, 0xCA, 'j', 0x00};
    const Case cases[] = {
        {"result lead before an ack", {Cat({{0xCA, 'j'}, ack})}, {ReplyAck}},
        {"register lead before an ack", {Cat({{'Y', 'c', 0x00}, ack})}, {ReplyAck}},
        {"line noise before an ack in pieces", {Cat({leadNoise, Bytes(ack.begin(), ack.begin() + 2)}),
                                               Bytes(ack.begin() + 2, ack.end())}, {ReplyAck}},
        {"a sample and the start of the next behind it", {Cat({leadNoise, sample, Bytes(sample.begin(), sample.begin() + 7)})},
         {ReplySample}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        types.clear();
        for (const Bytes& chunk : c.chunks)
            Feed(chunk);
        EXPECT_EQ(types, c.types);
        handler.DropStaleBytes(later(TDataHandler::SilenceMs + 10));
    }

    // A lone frame start goes once the line has been silent for SilenceMs.
    types.clear();
    const auto before = std::chrono::steady_clock::now();
    Feed({0xCA, 'j', 0x00});
    EXPECT_FALSE(handler.DropStaleBytes(ns(before + std::chrono::milliseconds(TDataHandler::SilenceMs - 100))));
    EXPECT_TRUE(handler.DropStaleBytes(later(TDataHandler::SilenceMs)));
    EXPECT_EQ(std::tuple(types.empty(), handler.HasPartialFrame()), std::tuple(true, false));
}

// A shot result whose fields no unit sends is no frame, even with a good
// checksum: the frames it would have swallowed come through.
TEST_F(Receive, ResultWithImpossibleFieldsIsNoFrame)
{
    // Function mode 0, ring index 206: stored whole as a shot before.
    Bytes fake = shot;
    fake[14] = 206;
    fake[16] = 0;
    Feed(Cat({unitsim::Sealed(fake), sample}));
    EXPECT_EQ(types, std::vector<int>{ReplySample});

    // Noise "0xCA j 0" in front of two samples, the second made so that the
    // 36-byte window from the noise on passes the checksum.
    types.clear();
    const Bytes noise = {0xCA, 'j', 0x00};
    Bytes second = sample;
    second[12] = 0;
    const Bytes window = Cat({noise, sample, Bytes(second.begin(), second.begin() + 12)});
    second[12] = unitsim::Checksum(window.data(), window.size());
    second = unitsim::Sealed(second);
    ASSERT_TRUE(unitsim::ChecksumOk(Cat({window, {second[12]}}).data(), 36));
    Feed(Cat({noise, sample, second}));
    EXPECT_EQ(std::tuple(types, handler.FillCount()), std::tuple(std::vector<int>{ReplySample, ReplySample}, 0));
}

TEST_F(Receive, ChunkOfExactlyTheFreeRoomIsDropped)
{
    // 45 bytes of a 46-byte frame stay in the buffer.
    const Bytes frame = UnitFrame({0xCA, 'V'}, 46);
    Feed(Bytes(frame.begin(), frame.end() - 1));
    ASSERT_EQ(handler.FillCount(), 45);
    const int room = TDataHandler::Capacity - 45;

    Feed(Bytes(std::size_t(room), 0x00));
    EXPECT_EQ(std::tuple(handler.BytesDropped(), handler.FillCount(), types.empty()), std::tuple(uint32_t(room), 45, true));

    // One byte less fits; the kept bytes are still there.
    Bytes chunk(std::size_t(room - 1), 0x00);
    chunk[0] = frame.back();
    Feed(chunk);
    EXPECT_EQ(std::tuple(types, handler.BytesDropped(), handler.LargestChunk()),
              std::tuple(std::vector<int>{ReplySampleT2}, uint32_t(room), room - 1));
    // The zero filler is skipped; its very last byte waits for a partner.
    EXPECT_EQ(handler.FillCount(), 1);
}

TEST_F(Receive, FailingHandlerDoesNotStopTheScan)
{
    int calls = 0;
    handler.frameTap = [&](const uint8_t*, int, int type) {
        ++calls;
        if (type == ReplyAck)
            throw Exception("handler failed");
        types.push_back(type);
    };
    Feed(Cat({ack, sample, ack, sample}));
    EXPECT_EQ(std::tuple(calls, types), std::tuple(4, (std::vector<int>{5, 5})));
    // The frames were consumed: the next chunk does not bring them back.
    EXPECT_EQ(handler.FillCount(), 0);
    Feed(sample);
    EXPECT_EQ(calls, 5);
}

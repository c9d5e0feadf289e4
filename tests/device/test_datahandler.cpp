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
    std::vector<Bytes> frames;

    void SetUp() override
    {
        handler.frameTap = [this](const uint8_t* frame, int length, int type) {
            types.push_back(type);
            frames.emplace_back(frame, frame + length);
        };
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
    const Bytes dashSample = unitsim::SampleFrame({.x = 0x2D});
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
        {"a \"-\" going on with a frame is that frame's", {Bytes(dashSample.begin(), dashSample.begin() + 5),
                                                       Bytes(dashSample.begin() + 5, dashSample.end())}, {5}, 0, 0},
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
// silent short of SilenceMs. Bytes that only look like the start of a long
// frame hold back what follows them as well, until their length is buffered
// (the checksum tells), their fields show them impossible, or the line has
// been silent for SilenceMs: until then what follows may be their rest.
TEST_F(Receive, HeldFrameStartWaitsForItsRestOrForSilence)
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

    // Stray frame starts: the reply behind them goes on once the line is
    // silent, or at once when the stray start's fields cannot be a unit's.
    struct Case {
        const char* name;
        std::vector<Bytes> chunks;
        std::vector<int> types;        // at once
        std::vector<int> afterSilence; // once the line has been silent
    };
    const Bytes leadNoise = {'Y', 0x00, 0x13, 0xCA, 'j', 0x00};
    const Case cases[] = {
        {"result lead before an ack", {Cat({{0xCA, 'j'}, ack})}, {}, {ReplyAck}},
        {"register lead before an ack", {Cat({{'Y', 'c', 0x00}, ack})}, {}, {ReplyAck}},
        {"line noise before an ack in pieces", {Cat({leadNoise, Bytes(ack.begin(), ack.begin() + 2)}),
                                               Bytes(ack.begin() + 2, ack.end())}, {}, {ReplyAck}},
        {"a sample (no result's fields) and the start of the next behind it",
         {Cat({leadNoise, sample, Bytes(sample.begin(), sample.begin() + 7)})}, {ReplySample}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        types.clear();
        for (const Bytes& chunk : c.chunks)
            Feed(chunk);
        EXPECT_EQ(types, c.types);
        EXPECT_FALSE(handler.DropStaleBytes(later(TDataHandler::SilenceMs - 100)));
        types.clear();
        EXPECT_TRUE(handler.DropStaleBytes(later(TDataHandler::SilenceMs + 10)));
        EXPECT_EQ(types, c.afterSilence);
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

// Five bytes inside a frame may read as a whole acknowledgement ("Y", any
// letter, three bytes and their sum). Wherever a read ends, and however long
// the line pauses short of SilenceMs, the frame stays whole and nothing is
// taken from inside it.
TEST_F(Receive, AckShapedBytesInsideAFrameNeverCutIt)
{
    const auto counts = [](uint8_t bank0, uint8_t bank1, uint8_t bank2) {
        unitsim::Block16 data {};
        data[1] = bank0;
        data[3] = bank1;
        data[5] = bank2;
        return unitsim::RegisterFrame(32, data);
    };
    unitsim::SimShot shot {.x = 22881, .y = 70, .time = 500, .startupCounter = 1, .functionMode = 1};
    const Bytes result = unitsim::ShotResultFrame(shot, 1, 1);
    const Bytes aiming = unitsim::SampleFrame({.x = 0x0159, .y = 0x7800, .tilt = 0xD1});
    struct Case {
        const char* name;
        Bytes frame;
        int type;
        int window;   // where the ack-shaped bytes start
        int piece;    // bytes per read; 0: two reads split after byte 9
        int gapMs;    // quiet line between the reads
    };
    const Case cases[] = {
        {"bank counts 89, 10, 99 in reads of 9", counts(89, 10, 99), ReplyShotBankCounts, 4, 9, 0},
        {"bank counts 89, 10, 99 in reads of 10", counts(89, 10, 99), ReplyShotBankCounts, 4, 10, 0},
        {"bank counts 89, 10, 99 byte by byte (9600 baud)", counts(89, 10, 99), ReplyShotBankCounts, 4, 1, 1},
        {"bank counts 89, 0, 89 paused 40 ms after byte 9", counts(89, 0, 89), ReplyShotBankCounts, 4, 0, 40},
        {"shot at raw X 22881, Y 70 byte by byte", result, ReplyShotResult, 4, 1, 1},
        {"aiming sample split after byte 9", aiming, ReplySample, 5, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.frame[std::size_t(c.window)] == 'Y' && unitsim::ChecksumOk(c.frame.data() + c.window, 5));
        types.clear();
        frames.clear();
        for (std::size_t at = 0, end = 0; at < c.frame.size(); at = end) {
            end = c.piece > 0 ? std::min(at + std::size_t(c.piece), c.frame.size()) : (at == 0 ? 10 : c.frame.size());
            if (at > 0 && c.gapMs > 0) {
                EXPECT_FALSE(handler.DropStaleBytes(handler.LastByteNs() + int64_t(c.gapMs) * 1000000));
            }
            Feed(Bytes(c.frame.begin() + std::ptrdiff_t(at), c.frame.begin() + std::ptrdiff_t(end)));
        }
        EXPECT_EQ(std::tuple(types, frames, handler.FillCount()), std::tuple(std::vector<int> {c.type}, std::vector<Bytes> {c.frame}, 0));
    }
    EXPECT_EQ(handler.BytesSkipped(), 0u);
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

// The receive path against generated traffic: frames of every kind a unit
// sends, their data often holding the shape of a shorter frame, cut into
// reads of 1-64 bytes with pauses short of the silence limit, with and
// without line noise between them. Each seed builds its own traffic; a failing
// seed is named and runs alone with TRAXEL_RECEIVE_SEED.
#include "DataHandler.h"
#include "UnitFrames.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

using unitsim::Bytes;
using Rng = std::mt19937;

constexpr int Seeds = 1000;
constexpr int FramesPerSeed = 150;

int Uniform(Rng& rng, int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

bool Chance(Rng& rng, int percent)
{
    return Uniform(rng, 0, 99) < percent;
}

struct SentFrame {
    Bytes bytes;
    int type = ReplyNone;
};

// ---- An independent reading of the frame table, for the noise filter ----

bool ReplyLetter(uint8_t b)
{
    return b == 'g' || b == 'e' || b == 'c' || b == 'k' || b == 'm';
}

int ExpectedLength(const uint8_t* at, std::size_t left)
{
    if (left < 2)
        return 0;
    if (at[0] == 'Y')
        return at[1] == 'g' || at[1] == 'm' ? 21 : ReplyLetter(at[1]) ? 20 : 5;
    if (at[0] != 0xCA)
        return 0;
    switch (at[1]) {
    case 'e': return 20;
    case 'U': return 21;
    case 'V': return 46;
    case 'j': return 36;
    case 'c': return 16;
    default: return 0;
    }
}

bool TargetIndex(uint8_t v)
{
    return v < 16 || v == 255;
}

// Bytes from at on that any receiver must take for a frame.
bool WholeGoodFrameAt(const Bytes& stream, std::size_t at)
{
    const int length = ExpectedLength(stream.data() + at, stream.size() - at);
    if (length == 0 || at + std::size_t(length) > stream.size())
        return false;
    const uint8_t* f = stream.data() + at;
    if (f[0] == 0xCA && f[1] == 'j' && !(TargetIndex(f[14]) && TargetIndex(f[15]) && (f[16] == 1 || f[16] == 2)))
        return false;
    return unitsim::ChecksumOk(f, std::size_t(length));
}

// ---- Traffic ----

class TTraffic {
public:
    explicit TTraffic(uint32_t seed) : rng_(seed) {}

    SentFrame Frame()
    {
        const int pick = Uniform(rng_, 0, 99);
        if (pick < 40)
            return Measured('e', 20, ReplySample);
        if (pick < 45)
            return Measured('U', 21, ReplySampleT1);
        if (pick < 50)
            return Measured('V', 46, ReplySampleT2);
        if (pick < 60)
            return ShotResult();
        if (pick < 62)
            return Measured('c', 16, ReplyDeviceError);
        if (pick < 72)
            return Ack();
        if (pick < 77)
            return BankCounts();
        if (pick < 82)
            return Reply('c', 20, ReplyInfoRegister, RegisterNumber());
        if (pick < 90)
            return ParameterBlock();
        if (pick < 92)
            return Reply('k', 20, ReplyKFrame, uint8_t(Uniform(rng_, 0, 255)));
        if (pick < 96)
            return Reply('m', 21, ReplyRingBlock, uint8_t(Uniform(rng_, 0, 15)));
        return Reply('g', 21, ReplySilhouettePacket, uint8_t(Uniform(rng_, 0, 0x4F)));
    }

    // Starts of frames that never come, and bytes that start none.
    Bytes Noise()
    {
        Bytes noise;
        for (int tokens = Uniform(rng_, 1, 3); tokens > 0; --tokens) {
            switch (Uniform(rng_, 0, 4)) {
            case 0: noise.push_back('Y'); noise.push_back(Letter()); break;
            case 1: noise.push_back(0xCA); noise.push_back(uint8_t("eUVjc"[Uniform(rng_, 0, 4)])); break;
            case 2: noise.insert(noise.end(), {'Y', 'c', 0x00}); break;
            case 3: noise.push_back(Uniform(rng_, 0, 1) ? 'Y' : 0xCA); break;
            default:
                for (int n = Uniform(rng_, 1, 4); n > 0; --n)
                    noise.push_back(NotDash());
                break;
            }
        }
        return noise;
    }

    Rng& rng() { return rng_; }

private:
    uint8_t NotDash()
    {
        uint8_t b;
        do {
            b = uint8_t(Uniform(rng_, 0, 255));
        } while (b == unitsim::PowerUpByte);
        return b;
    }

    uint8_t Letter()
    {
        uint8_t b;
        do {
            b = NotDash();
        } while (ReplyLetter(b));
        return b;
    }

    uint8_t RegisterNumber()
    {
        static const uint8_t registers[] = {0, 2, 3, 4, 5, 16, 25};
        return registers[Uniform(rng_, 0, 6)];
    }

    // Lead, letter, random data from byte 2 (or from 3 after the given
    // byte 2), sometimes holding the shape of a frame, sealed.
    Bytes Filled(uint8_t lead, uint8_t letter, int length, int from)
    {
        Bytes f(std::size_t(length), 0);
        f[0] = lead;
        f[1] = letter;
        for (int i = from; i < length - 1; ++i)
            f[std::size_t(i)] = Chance(rng_, 50) ? 0 : uint8_t(Uniform(rng_, 0, 255));
        if (Chance(rng_, 40))
            PlantFrameShape(f, from);
        return f;
    }

    // An acknowledgement ("Y", a letter, three bytes and their sum) or a
    // whole sample among the data bytes: what a reader that looks inside a
    // frame would take for frames of their own.
    void PlantFrameShape(Bytes& f, int from)
    {
        const int end = int(f.size()) - 1; // the checksum is the frame's own
        if (end - from >= 20 && Chance(rng_, 30)) {
            const std::size_t at = std::size_t(Uniform(rng_, from, end - 20));
            f[at] = 0xCA;
            f[at + 1] = 'e';
            f[at + 19] = unitsim::Checksum(&f[at], 19);
        } else if (end - from >= 5) {
            const std::size_t at = std::size_t(Uniform(rng_, from, end - 5));
            f[at] = 'Y';
            f[at + 1] = Letter();
            f[at + 4] = unitsim::Checksum(&f[at], 4);
        }
    }

    SentFrame Measured(uint8_t letter, int length, int type)
    {
        return {unitsim::Sealed(Filled(0xCA, letter, length, 2)), type};
    }

    SentFrame Reply(uint8_t letter, int length, int type, uint8_t byte2)
    {
        Bytes f = Filled('Y', letter, length, 3);
        f[2] = byte2;
        return {unitsim::Sealed(f), type};
    }

    // Fields a unit sends: target indices 0-15 or none, classic or dynamic.
    SentFrame ShotResult()
    {
        Bytes f = Filled(0xCA, 'j', 36, 2);
        const auto index = [&] { return Chance(rng_, 40) ? uint8_t(255) : uint8_t(Uniform(rng_, 0, 15)); };
        f[14] = index();
        f[15] = index();
        f[16] = uint8_t(Uniform(rng_, 1, 2));
        return {unitsim::Sealed(f), ReplyShotResult};
    }

    SentFrame Ack()
    {
        return {unitsim::AckFrame(Letter(), uint8_t(Uniform(rng_, 0, 255)), uint8_t(Uniform(rng_, 0, 255))), ReplyAck};
    }

    // Counts of banks 0-6 at the even bytes; often three banks n, m, n + m,
    // which read as an acknowledgement when n is 89 ("Y").
    SentFrame BankCounts()
    {
        unitsim::Block16 data {};
        for (int bank = 0; bank < 7; ++bank)
            data[std::size_t(1 + 2 * bank)] = uint8_t(Chance(rng_, 50) ? 0 : Uniform(rng_, 0, 255));
        if (Chance(rng_, 50)) {
            const int bank = Uniform(rng_, 0, 4);
            const uint8_t m = uint8_t(Uniform(rng_, 0, 255));
            data[std::size_t(1 + 2 * bank)] = 'Y';
            data[std::size_t(3 + 2 * bank)] = m;
            data[std::size_t(5 + 2 * bank)] = uint8_t('Y' + m);
        }
        return {unitsim::RegisterFrame(32, data), ReplyShotBankCounts};
    }

    // Settings blocks, or the name block with the unit's name as text.
    SentFrame ParameterBlock()
    {
        static const uint8_t addresses[] = {0, 1, 2, 3, 8, 9, 16, 17, 18, 19};
        if (Chance(rng_, 70))
            return Reply('e', 20, ReplyParameterBlock, addresses[Uniform(rng_, 0, 9)]);
        unitsim::Block16 data {};
        const std::string name = "KBR" + std::to_string(Uniform(rng_, 1000000, 9999999));
        std::copy(name.begin(), name.end(), data.begin());
        return {unitsim::ParameterFrame(uint8_t(Chance(rng_, 50) ? 184 : 56), data), ReplyParameterBlock};
    }

    Rng rng_;
};

struct TStream {
    std::vector<SentFrame> frames;
    std::vector<Bytes> noise; // before each frame; none before the first
    Bytes bytes;
    std::size_t noiseBytes = 0;

    void Join()
    {
        bytes.clear();
        noiseBytes = 0;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            bytes.insert(bytes.end(), noise[i].begin(), noise[i].end());
            bytes.insert(bytes.end(), frames[i].bytes.begin(), frames[i].bytes.end());
            noiseBytes += noise[i].size();
        }
    }

    // The noise before frame i in which, with the bytes after it, a whole
    // good frame starts: that is no noise any receiver could tell, so the
    // generator draws it again. -1 when there is none.
    int NoiseThatIsAFrame() const
    {
        std::size_t at = 0;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            for (std::size_t k = 0; k < noise[i].size(); ++k)
                if (WholeGoodFrameAt(bytes, at + k))
                    return int(i);
            at += noise[i].size() + frames[i].bytes.size();
        }
        return -1;
    }
};

TStream MakeStream(TTraffic& traffic, bool withNoise)
{
    TStream s;
    for (int i = 0; i < FramesPerSeed; ++i) {
        s.frames.push_back(traffic.Frame());
        s.noise.push_back(withNoise && i > 0 && Chance(traffic.rng(), 30) ? traffic.Noise() : Bytes {});
    }
    s.Join();
    for (int bad = s.NoiseThatIsAFrame(); bad >= 0; bad = s.NoiseThatIsAFrame()) {
        s.noise[std::size_t(bad)] = traffic.Noise();
        s.Join();
    }
    return s;
}

struct TReceived {
    std::vector<SentFrame> frames;
    uint32_t skipped = 0;
    int left = 0;
};

// Reads of 1-64 bytes; now and then the line pauses, short of the silence
// limit, before the next read. At the end the line falls silent.
TReceived Receive(const TStream& s, Rng& rng)
{
    TDataHandler handler(nullptr);
    TReceived out;
    handler.frameTap = [&](const uint8_t* frame, int length, int type) {
        out.frames.push_back({Bytes(frame, frame + length), type});
    };
    for (std::size_t at = 0; at < s.bytes.size();) {
        const std::size_t n = std::min(std::size_t(Uniform(rng, 1, 64)), s.bytes.size() - at);
        handler.OnReceive(s.bytes.data() + at, int(n));
        at += n;
        if (Chance(rng, 20)) {
            const int64_t pauseMs = Uniform(rng, 0, TDataHandler::SilenceMs - 1);
            EXPECT_FALSE(handler.DropStaleBytes(handler.LastByteNs() + pauseMs * 1000000)) << "at byte " << at;
        }
    }
    handler.DropStaleBytes(handler.LastByteNs() + int64_t(TDataHandler::SilenceMs) * 1000000);
    out.skipped = handler.BytesSkipped();
    out.left = handler.FillCount();
    return out;
}

// Every frame sent comes out once, whole, in order, and nothing else.
void ExpectAllFrames(const TStream& s, const TReceived& r)
{
    ASSERT_EQ(r.left, 0);
    std::size_t i = 0;
    for (; i < s.frames.size() && i < r.frames.size(); ++i) {
        ASSERT_EQ(r.frames[i].type, s.frames[i].type) << "frame " << i;
        ASSERT_EQ(r.frames[i].bytes, s.frames[i].bytes) << "frame " << i;
    }
    ASSERT_EQ(r.frames.size(), s.frames.size()) << "frames out differ from frame " << i;
}

// One seed, or the given one alone.
std::vector<uint32_t> SeedsToRun(uint32_t base)
{
    if (const char* s = std::getenv("TRAXEL_RECEIVE_SEED"))
        return {uint32_t(std::strtoul(s, nullptr, 10))};
    std::vector<uint32_t> seeds;
    for (uint32_t k = 0; k < Seeds; ++k)
        seeds.push_back(base + k);
    return seeds;
}

void RunSeeds(uint32_t base, bool withNoise)
{
    std::size_t frames = 0, noise = 0;
    for (uint32_t seed : SeedsToRun(base)) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " (run it alone with TRAXEL_RECEIVE_SEED)");
        TTraffic traffic(seed);
        const TStream s = MakeStream(traffic, withNoise);
        const TReceived r = Receive(s, traffic.rng());
        ExpectAllFrames(s, r);
        // Noise costs its own bytes, never a byte of a frame.
        EXPECT_EQ(r.skipped, s.noiseBytes);
        if (::testing::Test::HasFailure())
            return;
        frames += s.frames.size();
        noise += s.noiseBytes;
    }
    std::cout << frames << " frames checked, " << noise << " noise bytes" << std::endl;
}

} // namespace

TEST(ReceiveGenerative, EveryFrameComesOutOnceWholeAndInOrderWhereverReadsEnd)
{
    RunSeeds(1000, false);
}

TEST(ReceiveGenerative, NoiseCostsOnlyItselfNeverAFrameThatFollowsIt)
{
    RunSeeds(5000, true);
}

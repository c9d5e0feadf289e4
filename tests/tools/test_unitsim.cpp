// The simulated unit, driven through real pseudo-terminals by a client
// playing the program's side with its own frame cutting. What the device
// tests exercise anyway (answers, stored shots, streaming, the faults they
// inject) is left to them; here the unit's own framing and layouts, which a
// fault shared with the program's frame code would otherwise hide, and what
// only the simulator does.
#include "TSimUnit.h"
#include "TestWait.h"
#include "Trainee.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <cmath>
#include <map>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace unitsim;
using namespace std::chrono_literals;

namespace {

uint8_t Sum(const Bytes& b, std::size_t n)
{
    unsigned s = 0;
    for (std::size_t i = 0; i < n; ++i)
        s += b[i];
    return uint8_t(s);
}

bool GoodFrame(const Bytes& f) { return !f.empty() && f.back() == Sum(f, f.size() - 1); }

// A command frame: the given leading bytes, zero padding to the command's
// length, the checksum.
Bytes Cmd(std::initializer_list<uint8_t> head)
{
    static const std::map<uint8_t, std::size_t> lengths = {
        {'a', 5}, {'b', 4}, {'c', 3}, {'d', 19}, {'e', 3}, {'f', 20}, {'g', 4}, {'l', 20}, {'m', 4}, {'s', 20}};
    Bytes f(lengths.at(*head.begin()), 0);
    std::copy(head.begin(), head.end(), f.begin());
    f.back() = Sum(f, f.size() - 1);
    return f;
}

// A command with 16 data bytes after its arguments.
Bytes CmdWithData(uint8_t letter, std::initializer_list<uint8_t> args, const uint8_t* data)
{
    Bytes f = Cmd({letter});
    std::copy(args.begin(), args.end(), f.begin() + 1);
    std::copy(data, data + 16, f.begin() + 1 + std::ptrdiff_t(args.size()));
    f.back() = Sum(f, f.size() - 1);
    return f;
}

// Length of a unit frame from its lead bytes; 0: not a frame start.
std::size_t ReplyLength(uint8_t lead, uint8_t kind)
{
    if (lead == 'Y')
        return kind == 'g' || kind == 'm' ? 21 : kind == 'e' || kind == 'c' || kind == 'k' ? 20 : 5;
    static const std::map<uint8_t, std::size_t> unitFrames = {{'e', 20}, {'U', 21}, {'V', 46}, {'j', 36}, {'c', 16}};
    const auto it = unitFrames.find(kind);
    return lead == 0xCA && it != unitFrames.end() ? it->second : 0;
}

// The program's side of the port.
class Client {
public:
    explicit Client(const std::string& path, bool raw = true, speed_t speed = B115200)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(fd_, 0) << path;
        if (raw)
            SetRaw(speed);
    }
    ~Client() { Close(); }
    void Close() { fd_ >= 0 && ::close(std::exchange(fd_, -1)); }

    void SetRaw(speed_t speed)
    {
        termios t{};
        ASSERT_EQ(::tcgetattr(fd_, &t), 0);
        ::cfmakeraw(&t);
        ::cfsetspeed(&t, speed);
        ASSERT_EQ(::tcsetattr(fd_, TCSANOW, &t), 0);
    }

    void Write(const Bytes& f) { ASSERT_EQ(::write(fd_, f.data(), f.size()), ssize_t(f.size())); }

    // One read as it arrives (empty on time-out); chunk boundaries matter.
    Bytes ReadChunk(std::chrono::milliseconds timeout)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, int(timeout.count())) <= 0 || !(p.revents & POLLIN))
            return {};
        uint8_t buf[4096];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        return n > 0 ? Bytes(buf, buf + n) : Bytes{};
    }

    // The next whole unit frame; samples skipped unless wanted. Garbage
    // bytes are skipped and counted.
    std::optional<Bytes> Next(std::chrono::milliseconds timeout = 2000ms, bool samples = false)
    {
        const auto end = Clock::now() + timeout;
        for (;;) {
            while (buffer_.size() >= 2) {
                const std::size_t n = ReplyLength(buffer_[0], buffer_[1]);
                if (n == 0) {
                    ++garbage;
                    buffer_.erase(buffer_.begin());
                    continue;
                }
                if (buffer_.size() < n)
                    break;
                Bytes f(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(n));
                buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(n));
                if (!samples && f[0] == 0xCA && f[1] == 'e')
                    continue;
                return f;
            }
            const auto left = end - Clock::now();
            if (left <= 0ms)
                return std::nullopt;
            Bytes c = ReadChunk(std::chrono::duration_cast<std::chrono::milliseconds>(left) + 1ms);
            buffer_.insert(buffer_.end(), c.begin(), c.end());
        }
    }

    Bytes Ask(const Bytes& cmd)
    {
        Write(cmd);
        return Next().value_or(Bytes{});
    }

    bool HungUp(std::chrono::milliseconds timeout)
    {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, int(timeout.count())) > 0 && (p.revents & POLLHUP);
    }

    int garbage = 0;

private:
    int fd_ = -1;
    Bytes buffer_;
};

Bytes Ack(uint8_t letter) { return Bytes{'Y', letter, 0, 0, uint8_t('Y' + letter)}; }

int16_t Word(const Bytes& f, std::size_t at) { return int16_t((f[at] << 8) | f[at + 1]); }

// Asks and checks the answer's length and checksum; empty when either is off.
Bytes AskFrame(Client& c, const Bytes& cmd, std::size_t size)
{
    Bytes f = c.Ask(cmd);
    EXPECT_EQ(std::tuple(f.size(), bool(f.size() == size && GoodFrame(f))), std::tuple(size, true));
    return f.size() == size ? f : Bytes(size, 0);
}

// Whether a power-up byte arrives in a read of its own within 1.5 s.
bool PowerUpArrivesAlone(Client& c)
{
    const auto end = Clock::now() + 1500ms;
    while (Clock::now() < end) {
        const Bytes chunk = c.ReadChunk(100ms);
        if (chunk.size() == 1 && chunk[0] == PowerUpByte)
            return true;
    }
    return false;
}

} // namespace

TEST(UnitSimDecoder, CutsCommandsOutOfNoisySplitInput)
{
    TCommandDecoder d;
    std::vector<Bytes> frames;
    const Bytes stop = Cmd({'a', 2, 0, 33});
    Bytes bad = Cmd({'c', 0});
    bad.back() ^= 1;
    Bytes stream = {0x00, 'z'};
    stream.insert(stream.end(), bad.begin(), bad.end());
    stream.insert(stream.end(), stop.begin(), stop.end());
    d.Feed(stream.data(), 5, frames); // stop cut in half
    EXPECT_TRUE(frames.empty());
    d.Feed(stream.data() + 5, stream.size() - 5, frames);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], stop);
    // The bad "c" costs a byte; its checksum byte 0x62 reads as a "b" that
    // fails too; resynchronising byte by byte then finds the stop.
    EXPECT_EQ(d.ChecksumFailures(), 2u);
    EXPECT_EQ(std::tuple(d.SkippedBytes(), d.Pending()), std::tuple(5u, 0u));

    // Results differ even for the same shot; checksums hold; fields in place.
    const SimShot s { .x = -200, .y = 300, .time = 0x123456, .startupCounter = 7, .functionMode = 2 };
    const Bytes r1 = ShotResultFrame(s, 1, 1);
    EXPECT_NE(r1, ShotResultFrame(s, 1, 2));
    ASSERT_EQ(r1.size(), 36u);
    EXPECT_EQ(std::tuple(bool(GoodFrame(r1)), Word(r1, 4), Bytes(r1.begin() + 16, r1.begin() + 21)),
              std::tuple(true, -200, (Bytes{2, 7, 0x12, 0x34, 0x56})));
}

TEST(UnitSim, SilhouetteCellsAndShotFieldsHaveTheirLayout)
{
    TSimUnit unit;
    Client c(unit.SlavePath());
    // Silhouette 4: a header packet and one map row; cell (column c, row r)
    // at 64c + r, four 2-bit cells per byte, high bits first.
    uint8_t head1[16], row[16] = {};
    for (int i = 0; i < 16; ++i)
        head1[i] = uint8_t('A' + i);
    row[0] = 0b11100100; // columns 0..3 = 3, 2, 1, 0
    row[15] = 0b00000010; // column 63 = 2
    EXPECT_EQ(c.Ask(CmdWithData('f', {4, 1}, head1)), Ack('f'));
    EXPECT_EQ(c.Ask(CmdWithData('f', {0x44, 63 | 0x80}, row)), Ack('f'));
    const SilhouetteSlot s = unit.Silhouette(4);
    EXPECT_EQ(std::tuple(s.record[0], s.cells[0 * 64 + 63], s.cells[1 * 64 + 63], s.cells[3 * 64 + 63], s.cells[63 * 64 + 63]),
              std::tuple('A', 3, 2, 0, 2));
    const Bytes g = AskFrame(c, Cmd({'g', 0x44, 63 | 0x80}), 21);
    EXPECT_TRUE(std::equal(row, row + 16, g.begin() + 4));

    // A stored shot: its samples, its result with the fields in place, the ack.
    SimShot shot;
    shot.x = 100;
    shot.y = -50;
    const StoredShot stored = unit.AddStoredShot(2, shot, 2);
    c.Write(Cmd({'b', 2, 0}));
    for (const Bytes& sample : stored.frames)
        EXPECT_EQ(c.Next(2000ms, true), sample);
    const Bytes result = c.Next().value_or(Bytes(36, 0));
    EXPECT_EQ(std::tuple(result, bool(GoodFrame(result))), std::tuple(stored.result, true));
    EXPECT_TRUE(Word(result, 4) == 100 && Word(result, 6) == -50 && result[17] == unit.StartupCounter());
    EXPECT_EQ(c.Next(), Ack('b'));
}

// The faults and stream shapes the device tests do not use: a corrupt reply,
// the ack ahead of a shot, an answer overtaken, noise, split and merged
// writes, a mute unit.
TEST(UnitSim, MisbehavesOnRequest)
{
    TSimUnit unit;
    unit.AddStoredShot(0, SimShot{}, 3);
    Client c(unit.SlavePath());

    unit.AddFault(Fault{'e', 1, 1, FaultKind::Corrupt});
    const Bytes bad = c.Ask(Cmd({'e', 1}));
    ASSERT_EQ(bad.size(), 20u);
    EXPECT_FALSE(GoodFrame(bad));
    EXPECT_TRUE(GoodFrame(c.Ask(Cmd({'e', 1}))));

    unit.AddFault(Fault{'b', 1, 1, FaultKind::AckFirst});
    c.Write(Cmd({'b', 0, 0}));
    EXPECT_EQ(c.Next(2000ms, true), Ack('b'));
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ((*c.Next(2000ms, true))[1], 'e');
    EXPECT_EQ((*c.Next())[1], 'j');

    unit.AddFault(Fault{'c', 1, 1, FaultKind::Delay, 300});
    const auto sent = Clock::now();
    c.Write(Cmd({'c', 5}));
    c.Write(Cmd({'e', 9}));
    EXPECT_EQ((*c.Next())[1], 'e');
    EXPECT_EQ((*c.Next())[2], 5);
    EXPECT_GE(Clock::now() - sent, 250ms);
    EXPECT_EQ(c.garbage, 0);

    // Noise between frames: every frame still arrives whole.
    unit.SetNoise(true);
    c.Write(Cmd({'b', 0, 0}));
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(GoodFrame(*c.Next(2000ms, true)));
    EXPECT_EQ((*c.Next())[1], 'j');
    EXPECT_EQ(c.Next(), Ack('b'));
    EXPECT_GT(c.garbage, 0);
    unit.SetNoise(false);

    // Frame-lead noise: "Y" 00 13 0xCA "j" 00 in front of every frame.
    unit.SetNoise(true, NoiseKind::FrameLeads);
    c.Write(Cmd({'c', 4}));
    Bytes noisy;
    while (noisy.size() < 6 + 20) {
        const Bytes chunk = c.ReadChunk(1000ms);
        ASSERT_FALSE(chunk.empty());
        noisy.insert(noisy.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(Bytes(noisy.begin(), noisy.begin() + 6), (Bytes{'Y', 0x00, 0x13, 0xCA, 'j', 0x00}));
    EXPECT_TRUE(GoodFrame(Bytes(noisy.begin() + 6, noisy.end())));
    unit.SetNoise(false);

    // Pause: the answer stops halfway for the pause, then comes whole.
    unit.AddFault(Fault{'c', 1, 1, FaultKind::Pause, 400});
    const auto asked = Clock::now();
    c.Write(Cmd({'c', 3}));
    const Bytes half = c.ReadChunk(2000ms);
    Bytes whole = half;
    while (whole.size() < 20) {
        const Bytes chunk = c.ReadChunk(2000ms);
        ASSERT_FALSE(chunk.empty());
        whole.insert(whole.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(std::tuple(whole.size(), bool(GoodFrame(whole))), std::tuple(20u, true));
    EXPECT_GE(Clock::now() - asked, 400ms);

    // Split: no read holds more than a piece.
    unit.SetWriteMode(WriteMode::Split, 3, 25); // pauses long enough not to merge under load
    c.Write(Cmd({'c', 0}));
    Bytes got;
    while (got.size() < 20) {
        const Bytes chunk = c.ReadChunk(1000ms);
        ASSERT_FALSE(chunk.empty());
        EXPECT_LE(chunk.size(), 3u);
        got.insert(got.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(std::tuple(got.size(), bool(GoodFrame(got))), std::tuple(20u, true));

    // Merge: the shot's frames, result and ack in one write.
    unit.SetWriteMode(WriteMode::Merge, 3, 4, 20);
    c.Write(Cmd({'b', 0, 0}));
    EXPECT_EQ(c.ReadChunk(1000ms).size(), 3 * 20u + 36 + 5);
    unit.SetWriteMode(WriteMode::PerFrame);

    // Mute with forced streaming: samples go on, the stop is received but
    // never acked: the next answer after unmuting is the next request's.
    unit.SetMute(true);
    unit.SetForcedStreaming(true);
    c.Write(Cmd({'a', 2, 0, 33}));
    const auto sample = c.Next(500ms, true);
    EXPECT_TRUE(sample && (*sample)[1] == 'e');
    ASSERT_TRUE(unit.WaitForCount('a', 1, 10s));
    unit.SetMute(false);
    EXPECT_EQ(AskFrame(c, Cmd({'c', 7}), 20)[2], 7);
}

TEST(UnitSim, UnplugAndReplugKeepTheUnitsState)
{
    const auto dir = std::filesystem::temp_directory_path() / ("unitsim_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string link = (dir / "COM7").string();
    {
        TSimUnit unit;
        ASSERT_TRUE(unit.SetPortLink(link));
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), unit.SlavePath());

        std::array<uint8_t, 64> ring{};
        ring[0] = 'R';
        unit.SetRingTarget(3, ring);
        Client c(unit.SlavePath());
        EXPECT_EQ(c.Ask(Cmd({'a', 2, 0, 33})), Ack('a'));

        unit.Unplug();
        EXPECT_FALSE(unit.Plugged());
        EXPECT_TRUE(c.HungUp(1000ms));
        EXPECT_FALSE(std::filesystem::is_symlink(link));

        // Lost on the way: nobody is connected.
        const uint64_t discarded = unit.Stats().bytesDiscarded;
        unit.FireShot(SimShot{});
        ASSERT_TRUE(WaitUntil([&] { return unit.Stats().bytesDiscarded >= discarded + 36; }));
        const std::string second = unit.Replug();
        EXPECT_EQ(std::tuple(unit.Plugged(), std::filesystem::read_symlink(link).string()), std::tuple(true, second));
        Client again(second);
        // The shot did not wait for the new port; the target is still there.
        EXPECT_EQ(AskFrame(again, Cmd({'m', 3, 131}), 21)[4], 'R');

        // The program closing and reopening its port: answers go on.
        again.Close();
        Client third(second);
        EXPECT_EQ(third.Ask(Cmd({'a', 2, 0, 33})), Ack('a'));
    }
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    std::filesystem::remove_all(dir);
}

TEST(UnitSim, NeverWritesBeforeRawModeAndAnnouncesPowerUp)
{
    UnitConfig config;
    config.powerUpOnRaw = true;
    TSimUnit unit(config);
    unit.SetForcedStreaming(true);

    // Cooked: the unit stays silent (its bytes would be echoed and cooked).
    Client c(unit.SlavePath(), false);
    ASSERT_TRUE(WaitUntil([&] { return unit.Stats().bytesDiscarded > 0; }));
    EXPECT_EQ(std::tuple(unit.ListenerReady(), unit.Stats().bytesWritten), std::tuple(false, 0u));

    // Raw at 115200, and on request: "-" arrives as a chunk of its own.
    c.SetRaw(B115200);
    EXPECT_TRUE(PowerUpArrivesAlone(c));
    unit.SendPowerUp();
    EXPECT_TRUE(PowerUpArrivesAlone(c));
    EXPECT_EQ(unit.Stats().powerUpsSent, 2u);
}

// The shot time is the unit's clock since power-up: a stop and a start of
// measuring go on with it, a replug starts it again under a new start-up.
TEST(UnitSim, ShotClockRunsFromPowerUpThroughMeasuringStops)
{
    TSimUnit unit;
    Client c(unit.SlavePath());
    const auto time = [](const Bytes& f) { return (uint32_t(f[18]) << 16) | (uint32_t(f[19]) << 8) | f[20]; };
    // The answer to cmd, past the shot results sent before it.
    const auto answer = [&](const Bytes& cmd) {
        c.Write(cmd);
        std::optional<Bytes> f;
        do
            f = c.Next();
        while (f && (*f)[1] == 'j');
        return f.value_or(Bytes{});
    };
    EXPECT_EQ(answer(Cmd({'a', 1, 0, 32})), Ack('a'));
    Bytes first;
    ASSERT_TRUE(WaitUntil([&] {
        first = unit.FireShot(SimShot{});
        return time(first) >= 2;
    }));
    EXPECT_EQ(answer(Cmd({'a', 15, 0, 32})), Ack('a'));
    EXPECT_EQ(answer(Cmd({'a', 1, 0, 32})), Ack('a'));
    const Bytes second = unit.FireShot(SimShot{});
    EXPECT_EQ(std::tuple(time(second) >= time(first), second[17]), std::tuple(true, first[17]));

    unit.Replug();
    const Bytes third = unit.FireShot(SimShot{});
    EXPECT_EQ(third[17], uint8_t(first[17] + 1));
    EXPECT_EQ(unit.StartupCounter(), third[17]);
}

// ---- The trainee ------------------------------------------------------------------

TEST(UnitSimTrainee, SeededHoldRepeatsSettlesOnItsOwnCentreAndBreaksEveryFewSeconds)
{
    TTrainee a(42, 2.0), b(42, 2.0), other(43, 2.0);
    std::vector<TTrainee::Aim> run;
    bool differs = false;
    for (int i = 0; i < 2000; ++i) {
        const TTrainee::Aim x = a.Next(), y = b.Next(), z = other.Next();
        ASSERT_EQ(std::tuple(x.x, x.y, x.shotBreaks), std::tuple(y.x, y.y, y.shotBreaks)) << i;
        differs = differs || x.x != z.x || x.y != z.y;
        run.push_back(x);
    }
    EXPECT_TRUE(differs);

    // Raised from below, then a break every 1.6 to 2.4 s.
    EXPECT_LT(run[0].y, -1000);
    std::vector<int> breaks;
    for (int i = 0; i < int(run.size()); ++i)
        if (run[std::size_t(i)].shotBreaks)
            breaks.push_back(i);
    ASSERT_GE(breaks.size(), 5u);
    EXPECT_GE(breaks[0], int(0.8 * 2 * 66) + 66 - 1); // raising the gun comes first
    for (std::size_t k = 1; k < breaks.size(); ++k) {
        EXPECT_GE(breaks[k] - breaks[k - 1], int(0.8 * 2 * 66) - 1);
        EXPECT_LE(breaks[k] - breaks[k - 1], int(1.2 * 2 * 66) + 1);
    }
    // The second before each break: a hold that moves, round the trainee's
    // own centre, far tighter than the approach.
    for (int at : breaks) {
        SCOPED_TRACE(at);
        double sx = 0, sy = 0, sxx = 0;
        for (int i = at - 66; i < at; ++i) {
            sx += run[std::size_t(i)].x;
            sy += run[std::size_t(i)].y;
            sxx += double(run[std::size_t(i)].x) * run[std::size_t(i)].x;
        }
        const double mx = sx / 66, my = sy / 66;
        EXPECT_LT(std::hypot(mx - a.OffsetX(), my - a.OffsetY()), 3 * a.HoldSpread() + 60);
        EXPECT_GT(sxx / 66 - mx * mx, 4.0);
    }
    // Without shooting it holds and never breaks alone; a break on demand
    // still comes.
    TTrainee still(42, 0);
    for (int i = 0; i < 1000; ++i)
        ASSERT_FALSE(still.Next().shotBreaks);
    EXPECT_TRUE(still.BreakNow().shotBreaks);
}

TEST(UnitSim, GoesToTheRangeOnlyWithAProgramAndStoresShotsOnItsTarget)
{
    UnitConfig config;
    config.rangeShotsAfterProgramming = 4;
    config.rangeLeaveAfterMs = 1500; // time enough to ask for the counts once it is back
    config.rangeAwayMs = 300;
    TSimUnit unit(config);
    EXPECT_EQ(unit.GoToRange(3), -1);
    const std::string firstLine = unit.SlavePath();
    Client c(firstLine);

    // Programmed as the upload does it: ring 5 with its distance, classic
    // training on it, block 3 last, setup mode left: four shots in bank 0.
    uint8_t ring[16] = {};
    ring[0] = 0x04;
    ring[3] = 100; // 10 m
    EXPECT_EQ(c.Ask(CmdWithData('l', {5, 0}, ring)), Ack('l'));
    uint8_t general[16] = {}, classic[16] = {}, none[16] = {};
    general[2] = 1;
    classic[0] = 0x02;
    classic[2] = 5;
    classic[3] = 255;
    classic[5] = 7;
    EXPECT_EQ(c.Ask(CmdWithData('d', {0}, general)), Ack('d'));
    EXPECT_EQ(c.Ask(CmdWithData('d', {1}, classic)), Ack('d'));
    EXPECT_EQ(c.Ask(CmdWithData('d', {0x83}, none)), Ack('d'));
    EXPECT_EQ(c.Ask(Cmd({'a', 1, 0, 33})), Ack('a'));
    EXPECT_EQ(std::tuple(unit.Programmed(), unit.BankCount(0)), std::tuple(true, 0));

    // Waiting for its Start, it stays: a measuring start and stop later it is
    // still on this line. Stopped and left alone, it goes to the range: its
    // line hangs up, it stores four shots in bank 0, and it comes back on a
    // new line.
    EXPECT_EQ(c.Ask(Cmd({'a', 1, 0, 32})), Ack('a'));
    EXPECT_EQ(c.Ask(Cmd({'a', 2, 0, 33})), Ack('a'));
    EXPECT_TRUE(c.HungUp(5000ms));
    ASSERT_TRUE(WaitUntil([&] { return unit.Plugged() && unit.SlavePath() != firstLine; }));
    EXPECT_EQ(unit.BankCount(0), 4);
    // Nobody read its counts (a viewer took it back without asking): stopped
    // and left alone, it goes once more, with no new shots.
    const std::string secondLine = unit.SlavePath();
    {
        Client again(secondLine);
        EXPECT_EQ(again.Ask(Cmd({'a', 2, 0, 33})), Ack('a'));
        EXPECT_TRUE(again.HungUp(5000ms));
    }
    ASSERT_TRUE(WaitUntil([&] { return unit.Plugged() && unit.SlavePath() != secondLine; }));
    EXPECT_EQ(std::pair(unit.BankCount(0), unit.BankCount(1)), std::pair(4, 0));
    Client back(unit.SlavePath());
    const Bytes counts = back.Ask(Cmd({'c', 32}));
    ASSERT_EQ(counts.size(), 20u);
    EXPECT_EQ(std::pair(counts[4], counts[6]), std::pair(uint8_t(4), uint8_t(0)));

    // On demand: the next empty bank, the mode's number of bullets.
    EXPECT_EQ(unit.GoToRange(), 1);
    EXPECT_EQ(unit.BankCount(1), 7);

    // Each stored shot: its trace ends at the break, the result names ring 5
    // and carries the position the unit works out (10 m: 9.25/300 mm a unit).
    back.Write(Cmd({'b', 1, 2}));
    Bytes lastSample;
    std::optional<Bytes> f;
    int samples = 0;
    while ((f = back.Next(2000ms, true)) && (*f)[1] == 'e') {
        lastSample = *f;
        ++samples;
    }
    ASSERT_TRUE(f && f->size() == 36u);
    const Bytes& r = *f;
    EXPECT_GE(samples, 100);
    EXPECT_EQ(std::tuple(Word(r, 4), Word(r, 6), r[14], r[15], r[16]),
              std::tuple(Word(lastSample, 4), Word(lastSample, 6), 5, 255, 1));
    EXPECT_EQ(Word(r, 30), int16_t(std::trunc(10 * Word(r, 4) * (10 - 0.75) / 300)));

    // Both trips' shots and a live shot after them keep their order on the
    // unit's clock: no two share a start-up and a time.
    EXPECT_EQ(back.Next(), Ack('b'));
    const auto time = [](const Bytes& f) { return (uint32_t(f[18]) << 16) | (uint32_t(f[19]) << 8) | f[20]; };
    std::vector<uint32_t> times;
    for (const auto& [bank, count] : {std::pair(1, 4), std::pair(2, 7)})
        for (int i = 0; i < count; ++i) {
            back.Write(Cmd({'b', uint8_t(bank - 1), uint8_t(i)}));
            while ((f = back.Next(2000ms, true)) && (*f)[1] == 'e') {
            }
            ASSERT_TRUE(f && f->size() == 36u);
            times.push_back(time(*f));
            EXPECT_EQ(back.Next(), Ack('b'));
        }
    times.push_back(time(unit.FireShot(SimShot{})));
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()) && std::adjacent_find(times.begin(), times.end()) == times.end());
}

// Distances in yards: a tenth of a yard is 9.144 cm. A 10-yard ring target
// places a shot 300 raw units out at (9.144 - 0.75) / 300 mm a unit, 8.39 mm;
// a silhouette at 25 yards measures 22.86 m in dynamic training.
TEST(UnitSim, WorksOutShotsOnYardTargets)
{
    TSimUnit unit;
    Client c(unit.SlavePath());
    uint8_t ring[16] = {}, silhouette[16] = {};
    ring[0] = 0x14; // decimal scores, yards
    ring[3] = 100;  // 10.0 yd
    silhouette[0] = 0x10;
    silhouette[3] = 250; // 25.0 yd
    EXPECT_EQ(c.Ask(CmdWithData('l', {5, 0}, ring)), Ack('l'));
    EXPECT_EQ(c.Ask(CmdWithData('f', {2, 0}, silhouette)), Ack('f'));
    uint8_t general[16] = {}, classic[16] = {}, dynamic[16] = {};
    general[2] = 1;
    classic[0] = 0x02; // ring 5
    classic[2] = 5;
    classic[3] = 255;
    dynamic[0] = 0x01; // silhouette 2
    dynamic[2] = 255;
    dynamic[3] = 2;
    EXPECT_EQ(c.Ask(CmdWithData('d', {0}, general)), Ack('d'));
    EXPECT_EQ(c.Ask(CmdWithData('d', {1}, classic)), Ack('d'));
    EXPECT_EQ(c.Ask(CmdWithData('d', {2}, dynamic)), Ack('d'));

    unit.FireShotAt(300, -600);
    const Bytes r = c.Next().value_or(Bytes(36, 0));
    EXPECT_EQ(std::tuple(r[14], Word(r, 30), Word(r, 32)), std::tuple(5, 83, -167));

    EXPECT_EQ(c.Ask(Cmd({'a', 2, 0, 32})), Ack('a'));
    unit.FireShotAt(300, 0);
    std::optional<Bytes> d;
    while ((d = c.Next(2000ms, true)) && (*d)[1] != 'j') {
    }
    ASSERT_TRUE(d);
    EXPECT_EQ(std::tuple((*d)[15], (*d)[16], Word(*d, 28)), std::tuple(2, 2, 228));
}

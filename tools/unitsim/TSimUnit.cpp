#include "TSimUnit.h"
#include "Trainee.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <stdexcept>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace unitsim {

namespace {

using Ms = std::chrono::milliseconds;

// Gap around "-" so that it arrives as a chunk of its own.
constexpr Ms PowerUpGap{50};
// Longest idle poll while waiting for the slave to go raw (no event tells);
// once it is, a close shows up as a hang-up at once and idle can be long.
constexpr Ms IdlePoll{10};
constexpr Ms IdlePollReady{100};
// Bytes kept for a reader that does not read; beyond that output is lost.
constexpr std::size_t BacklogLimit = 256 * 1024;

constexpr std::array<int, 13> ParameterAddresses{0, 1, 2, 3, 8, 9, 10, 11, 16, 17, 18, 19, 56};
constexpr int NameBlock = 56;

// Offsets of ring-target blocks 0-3 in the 64-byte record.
constexpr std::array<std::size_t, 4> RingBlockOffset{16, 32, 48, 0};

// Mode blocks 1 (classic) and 2 (dynamic): CTRL1 bits and target numbers.
constexpr std::size_t ModeCtrl1 = 0;
constexpr std::size_t ModeRingNumber = 2;
constexpr std::size_t ModeSilhouetteNumber = 3;
constexpr std::size_t ModeBullets = 5;
constexpr uint8_t SilhouetteEnabled = 0x01;
constexpr uint8_t RingEnabled = 0x02;
// Block 0, byte 2: the function mode the unit trains in on its own.
constexpr std::size_t GeneralFunctionMode = 2;
// Most samples a stored shot carries: the program keeps 200.
constexpr int StoredTraceLength = 180;
// Seconds between the shots of a trip to the range.
constexpr double RangeShotSeconds = 2.6;

int Get16(const uint8_t* p) { return (p[0] << 8) | p[1]; }

void Put16(uint8_t* p, int v)
{
    p[0] = uint8_t((v >> 8) & 0xFF);
    p[1] = uint8_t(v & 0xFF);
}

int16_t Trunc16(double v) { return int16_t(std::clamp(std::trunc(v), -32768.0, 32767.0)); }

// The 10 m air rifle target of the shipped setups, in the unit's layout.
std::array<uint8_t, 64> FactoryRing()
{
    std::array<uint8_t, 64> r{};
    const char name[] = "Air Rifle 10m";
    std::copy(name, name + sizeof name - 1, r.begin());
    r[16] = 0x04;            // decimal scores, metres, mm
    Put16(&r[18], 100);      // 10.0 m
    Put16(&r[20], 450);      // calibre 4.50 mm
    r[22] = 10;              // highest ring
    r[23] = 1;               // lowest ring
    r[24] = 90;
    r[26] = 17;
    r[27] = 17;
    Put16(&r[32], 5);        // inner white 0.5 mm
    Put16(&r[34], 305);      // black 30.5 mm
    Put16(&r[36], 25);       // ring gap 2.5 mm
    Put16(&r[40], 5);        // ten 0.5 mm
    return r;
}

Block16 Slice(const uint8_t* p)
{
    Block16 b{};
    std::copy(p, p + 16, b.begin());
    return b;
}

// Matrix row r of a silhouette as one packet: four 2-bit cells per byte.
Block16 PackRow(const SilhouetteSlot& slot, int row)
{
    Block16 b{};
    for (int j = 0; j < 16; ++j) {
        uint8_t v = 0;
        for (int k = 0; k < 4; ++k)
            v = uint8_t((v << 2) | (slot.cells[std::size_t(64 * (4 * j + k) + row)] & 3));
        b[std::size_t(j)] = v;
    }
    return b;
}

void UnpackRow(SilhouetteSlot& slot, int row, const uint8_t* data)
{
    for (int j = 0; j < 16; ++j)
        for (int k = 0; k < 4; ++k)
            slot.cells[std::size_t(64 * (4 * j + k) + row)] = uint8_t((data[j] >> (6 - 2 * k)) & 3);
}

int ClampMs(Clock::duration d, Ms limit)
{
    const auto ms = std::chrono::ceil<Ms>(d).count();
    return int(std::clamp<long long>(ms, 0, limit.count()));
}

} // namespace

std::string UnitName(const std::string& prefix, int number)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%07d", number % 10000000);
    return (prefix + digits).substr(0, 10);
}

struct TSimUnit::Impl {
    struct OutItem {
        Bytes bytes;
        std::size_t offset = 0;  // bytes of it already written
        int pieceBytes = 0;      // 0: all at once
        Ms piecePause{0};
        Clock::time_point nextPiece{};
        bool powerUp = false;
        bool powerUpOnRaw = false; // dropped unless the port is still raw at 115200
    };
    struct FaultState {
        Fault fault;
        int seen = 0;
    };

    UnitConfig config;

    mutable std::mutex mu;
    mutable std::condition_variable changed; // received frames, requests done
    std::thread thread;
    bool stopping = false;

    int master = -1;
    std::string slavePath;
    std::string linkPath;
    int wakeRead = -1;
    int wakeWrite = -1;

    enum class Request { None, Unplug, Replug };
    Request request = Request::None;
    uint64_t requestsDone = 0;

    // Unit state.
    std::map<int, Block16> blocks;
    std::map<int, Block16> registers;
    std::array<std::array<uint8_t, 64>, 16> rings{};
    std::array<SilhouetteSlot, 16> silhouettes{};
    std::array<std::vector<StoredShot>, 7> banks;
    uint8_t startupCounter = 1;
    // The shot clock runs from power-up, through measuring stops and starts,
    // as a unit's does; a replug is a power-up.
    Clock::time_point poweredUpAt = Clock::now();
    bool programmed = false;
    bool rangeDue = false;
    unsigned rangeTrips = 0;
    // The range trip: counts not read since the unit came back; away until
    // backAt, on the line taken before it left.
    bool countsUnread = false;
    // A stop came since the programming or the return: the training is over
    // for this unit (its viewer's Stop, or the session closed). Until then a
    // unit waiting for its Start stays on its line.
    bool stoppedSince = false;
    bool away = false;
    Clock::time_point backAt{};
    Clock::time_point lastCommand{};
    int awayMaster = -1;
    std::string awaySlavePath;
    // A trip asked for by hand: its shot count (-1 none) and its bank.
    int tripAsked = -1;
    int tripBank = -1;
    uint64_t tripsAskedDone = 0;
    std::optional<TTrainee> trainee;
    uint8_t shotNumber = 0;
    uint32_t resultTag = 0;

    bool measuring = false;
    bool forced = false;
    int mode = 0;
    Clock::time_point measureStart{};
    Clock::time_point nextSample{};
    uint16_t sampleSequence = 0;
    int16_t aimX = 0;
    int16_t aimY = 0;

    // Faults and write shaping.
    std::vector<FaultState> faults;
    bool mute = false;
    bool noise = false;
    NoiseKind noiseKind = NoiseKind::Garbage;
    WriteMode writeMode = WriteMode::PerFrame;
    int splitBytes = 3;
    Ms splitPause{5};
    Ms mergeWindow{30};
    std::mt19937 rng;

    // Output: ordered by due time, then by sequence.
    std::map<std::pair<Clock::time_point, uint64_t>, OutItem> queue;
    uint64_t queueSequence = 0;
    Bytes backlog;
    Clock::time_point lastWrite{};
    Clock::time_point quietUntil{};

    bool ready = false;
    bool fast = false;
    bool hangup = false;
    short masterEvents = POLLIN;
    Clock::time_point lastReadyCheck{};

    TCommandDecoder decoder;
    std::vector<ReceivedFrame> received;
    std::vector<DisplayLine> display;
    UnitStats stats;

    explicit Impl(UnitConfig c) : config(std::move(c)), rng(config.noiseSeed)
    {
        for (int a : ParameterAddresses) {
            Block16 b{};
            if (a >= 8 && a != NameBlock)
                for (int i = 0; i < 16; ++i)
                    b[std::size_t(i)] = uint8_t(a * 16 + i);
            blocks[a] = b;
        }
        for (int r : {0, 2, 3, 4, 5, 16, 25}) {
            Block16 b{};
            for (int i = 0; i < 16; ++i)
                b[std::size_t(i)] = uint8_t(r * 7 + i);
            registers[r] = b;
        }
        SetNameLocked(config.name);
        startupCounter = config.startupCounter;
        if (config.sampleHz < 1)
            config.sampleHz = 66;
        if (config.trainee)
            trainee.emplace(config.traineeSeed, config.shootEverySeconds);
    }

    Clock::duration SamplePeriod() const
    {
        return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / config.sampleHz));
    }

    void SetNameLocked(const std::string& name)
    {
        Block16& b = blocks[NameBlock];
        b.fill(0);
        for (std::size_t i = 0; i < name.size() && i < 10; ++i)
            b[i] = uint8_t(name[i]);
    }

    void Wake() const
    {
        const char c = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeWrite, &c, 1);
    }

    // ---- Pseudo-terminal ----

    // A new master; -1 when none could be had.
    static int NewPty(std::string& path)
    {
        const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return -1;
        char name[128];
        if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) {
            ::close(fd);
            return -1;
        }
        path = name;
        return fd;
    }

    void AdoptPty(int fd, const std::string& path)
    {
        master = fd;
        slavePath = path;
        ready = fast = hangup = false;
        decoder.Reset();
        MakeLink();
    }

    bool OpenPty()
    {
        std::string path;
        const int fd = NewPty(path);
        if (fd < 0)
            return false;
        AdoptPty(fd, path);
        return true;
    }

    void ClosePty()
    {
        RemoveLink();
        if (master >= 0)
            ::close(master);
        master = -1;
        ready = fast = false;
        for (auto& [key, item] : queue)
            stats.bytesDiscarded += item.bytes.size() - item.offset;
        queue.clear();
        stats.bytesDiscarded += backlog.size();
        backlog.clear();
        decoder.Reset();
    }

    void MakeLink()
    {
        if (linkPath.empty() || slavePath.empty())
            return;
        // Made under a temporary name and renamed, so a watcher never sees a
        // link to nowhere.
        const auto slash = linkPath.rfind('/');
        const std::string temp = linkPath.substr(0, slash + 1) + ".unitsim-" + linkPath.substr(slash + 1);
        ::unlink(temp.c_str());
        if (::symlink(slavePath.c_str(), temp.c_str()) == 0)
            ::rename(temp.c_str(), linkPath.c_str());
    }

    void RemoveLink()
    {
        if (!linkPath.empty())
            ::unlink(linkPath.c_str());
    }

    // Slave open, raw (no canonical input, no echo); fast: at 115200 too.
    void UpdateReady(Clock::time_point now)
    {
        bool nowReady = false;
        bool nowFast = false;
        hangup = false;
        if (master >= 0) {
            pollfd p{master, 0, 0};
            if (::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP))
                hangup = true;
            termios t{};
            if (!hangup && ::tcgetattr(master, &t) == 0) {
                nowReady = (t.c_lflag & (ICANON | ECHO)) == 0;
                nowFast = nowReady && ::cfgetospeed(&t) == B115200;
            }
        }
        if (nowFast && !fast && config.powerUpOnRaw)
            EnqueuePowerUp(now + PowerUpGap, true);
        ready = nowReady;
        fast = nowFast;
    }

    // ---- Output ----

    // pause above 0: the frame stops for that long after its first half.
    void Enqueue(Bytes frame, Clock::time_point due, bool allowSplit = true, Ms pause = Ms(0))
    {
        if (noise && noiseKind == NoiseKind::FrameLeads) {
            // Starts of frames, each cut off by the next lead or frame.
            OutItem g;
            g.bytes = Bytes{LeadReply, 0x00, 0x13, LeadMeasurement, 'j', 0x00};
            queue.emplace(std::make_pair(due, queueSequence++), std::move(g));
        } else if (noise) {
            // Garbage that can start no frame, so the frames around it stay intact.
            std::uniform_int_distribution<int> len(1, 6), val(0, 255);
            Bytes junk(std::size_t(len(rng)));
            for (auto& b : junk) {
                do {
                    b = uint8_t(val(rng));
                } while (b == LeadReply || b == LeadMeasurement || b == PowerUpByte);
            }
            OutItem g;
            g.bytes = std::move(junk);
            queue.emplace(std::make_pair(due, queueSequence++), std::move(g));
        }
        OutItem item;
        item.bytes = std::move(frame);
        if (pause > Ms(0)) {
            item.pieceBytes = int(item.bytes.size() + 1) / 2;
            item.piecePause = pause;
        } else if (writeMode == WriteMode::Split && allowSplit) {
            item.pieceBytes = std::max(1, splitBytes);
            item.piecePause = splitPause;
        }
        queue.emplace(std::make_pair(due, queueSequence++), std::move(item));
    }

    void EnqueuePowerUp(Clock::time_point due, bool onRaw)
    {
        OutItem item;
        item.bytes = Bytes{PowerUpByte};
        item.powerUp = true;
        item.powerUpOnRaw = onRaw;
        queue.emplace(std::make_pair(due, queueSequence++), std::move(item));
    }

    // Writes what it can without blocking; false when the port would block.
    bool WriteOut(const uint8_t* data, std::size_t n, Clock::time_point now)
    {
        if (!backlog.empty()) {
            if (backlog.size() + n > BacklogLimit)
                stats.bytesDiscarded += n;
            else
                backlog.insert(backlog.end(), data, data + n);
            return false;
        }
        std::size_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(master, data + done, n - done);
            if (w > 0) {
                done += std::size_t(w);
                continue;
            }
            if (w < 0 && errno == EINTR)
                continue;
            break;
        }
        stats.bytesWritten += done;
        if (done > 0)
            lastWrite = now;
        if (done < n)
            backlog.insert(backlog.end(), data + done, data + n);
        return done == n;
    }

    void FlushBacklog(Clock::time_point now)
    {
        if (backlog.empty())
            return;
        Bytes pending;
        pending.swap(backlog);
        WriteOut(pending.data(), pending.size(), now);
    }

    // Due time of the next output action, for the poll time-out.
    Clock::time_point NextOutputTime(Clock::time_point now) const
    {
        if (queue.empty())
            return now + IdlePollReady;
        const auto& [key, item] = *queue.begin();
        Clock::time_point t = std::max(key.first, quietUntil);
        if (item.offset > 0)
            t = std::max(t, item.nextPiece);
        if (item.powerUp)
            t = std::max(t, lastWrite + PowerUpGap);
        if (writeMode == WriteMode::Merge && !item.powerUp)
            t = std::max(t, key.first + mergeWindow);
        return t;
    }

    void Flush(Clock::time_point now)
    {
        if (master < 0 || !ready) {
            // Unplugged, or nobody listens in raw mode: what is due is lost,
            // never written.
            stats.bytesDiscarded += backlog.size();
            backlog.clear();
            for (auto it = queue.begin(); it != queue.end() && it->first.first <= now;) {
                stats.bytesDiscarded += it->second.bytes.size() - it->second.offset;
                it = queue.erase(it);
            }
            return;
        }
        FlushBacklog(now);
        if (!backlog.empty() || now < quietUntil)
            return;

        if (writeMode == WriteMode::Merge && !queue.empty() && !queue.begin()->second.powerUp) {
            if (queue.begin()->first.first + mergeWindow > now)
                return;
            Bytes merged;
            auto it = queue.begin();
            while (it != queue.end() && it->first.first <= now && !it->second.powerUp) {
                merged.insert(merged.end(), it->second.bytes.begin() + std::ptrdiff_t(it->second.offset),
                              it->second.bytes.end());
                CountSent(it->second.bytes);
                it = queue.erase(it);
            }
            WriteOut(merged.data(), merged.size(), now);
            return;
        }

        while (!queue.empty() && backlog.empty()) {
            auto it = queue.begin();
            OutItem& item = it->second;
            if (it->first.first > now)
                break;
            if (item.powerUp) {
                if (item.powerUpOnRaw && !fast) {
                    queue.erase(it);
                    continue;
                }
                if (now < lastWrite + PowerUpGap)
                    break;
                WriteOut(item.bytes.data(), 1, now);
                lastWrite = now;
                quietUntil = now + PowerUpGap;
                ++stats.powerUpsSent;
                queue.erase(it);
                break;
            }
            if (item.pieceBytes > 0) {
                if (item.offset > 0 && now < item.nextPiece)
                    break;
                const std::size_t n = std::min(std::size_t(item.pieceBytes), item.bytes.size() - item.offset);
                if (item.offset == 0)
                    CountSent(item.bytes);
                WriteOut(item.bytes.data() + item.offset, n, now);
                item.offset += n;
                item.nextPiece = now + item.piecePause;
                if (item.offset >= item.bytes.size())
                    queue.erase(it);
                else
                    break;
                continue;
            }
            CountSent(item.bytes);
            WriteOut(item.bytes.data(), item.bytes.size(), now);
            queue.erase(it);
        }
    }

    void CountSent(const Bytes& f)
    {
        if (f.size() == 20 && f[0] == LeadMeasurement && f[1] == 'e')
            ++stats.samplesSent;
        else if (f.size() == 36 && f[0] == LeadMeasurement && f[1] == 'j')
            ++stats.resultsSent;
    }

    // ---- Samples and shots ----

    SimSample NextSample(Clock::time_point now)
    {
        // A slow wobble around the aim point, like a held gun.
        const double t = std::chrono::duration<double>(now - measureStart).count();
        SimSample s;
        s.x = int16_t(std::clamp<long>(aimX + std::lround(25.0 * std::sin(t * 3.1)), -32768, 32767));
        s.y = int16_t(std::clamp<long>(aimY + std::lround(25.0 * std::cos(t * 2.3)), -32768, 32767));
        s.tilt = int16_t(std::lround(30.0 * std::sin(t)));
        s.rotation = int16_t(std::lround(20.0 * std::cos(t)));
        s.sequence = sampleSequence++;
        return s;
    }

    void Stream(Clock::time_point now)
    {
        if (!(measuring || forced)) {
            nextSample = now + SamplePeriod();
            return;
        }
        if (now - nextSample > Ms(100)) // fell far behind: do not burst
            nextSample = now;
        while (nextSample <= now) {
            SimSample sample = NextSample(now);
            std::optional<TTrainee::Aim> aim;
            if (trainee) {
                aim = trainee->Next();
                sample.x = aim->x;
                sample.y = aim->y;
            }
            Enqueue(SampleFrame(sample), now);
            if (config.extraSamples) {
                Enqueue(SampleT1Frame(1, 2, 3, sampleSequence), now);
                Enqueue(SampleT2Frame(10, 20, 30, 40, 100), now);
            }
            // The result follows the sample of the break; the recoil goes on
            // in the samples after it.
            if (aim && aim->shotBreaks)
                Enqueue(MakeResult(UnitShot(aim->x, aim->y), now), now);
            nextSample += SamplePeriod();
        }
    }

    // The training mode: the running one, else the one programmed.
    int ShotMode() const
    {
        if (mode == 1 || mode == 2)
            return mode;
        return blocks.at(0)[GeneralFunctionMode] == 2 ? 2 : 1;
    }

    // A shot as the unit works it out with the targets of its mode block:
    // target numbers, in dynamic training the measured distance, the
    // silhouette zone from the zone map, the position in 0.1 mm.
    SimShot UnitShot(int16_t x, int16_t y, int functionMode = 0)
    {
        SimShot shot;
        shot.x = x;
        shot.y = y;
        shot.functionMode = functionMode ? functionMode : ShotMode();
        const Block16& modeBlock = blocks.at(shot.functionMode == 2 ? 2 : 1);
        const uint8_t ctrl1 = modeBlock[ModeCtrl1];
        const uint8_t ringNo = modeBlock[ModeRingNumber];
        const uint8_t silhouetteNo = modeBlock[ModeSilhouetteNumber];
        const bool ring = (ctrl1 & RingEnabled) && ringNo < 16;
        const bool silhouette = (ctrl1 & SilhouetteEnabled) && silhouetteNo < 16;
        if (ring)
            shot.ringTarget = ringNo;
        if (silhouette)
            shot.silhouetteTarget = silhouetteNo;
        if (!ring && !silhouette)
            return shot;

        // Distance and its unit from the target the shot counts on.
        const uint8_t* device = ring ? &rings[ringNo][16] : &silhouettes[silhouetteNo].record[16];
        const double metres = Get16(device + 2) * ((device[0] & 0x10) ? 0.09144 : 0.1);
        double k;
        if (shot.functionMode == 2) {
            shot.revalm = Trunc16(metres * 10);
            k = shot.revalm * 0.1 / 300;
        } else {
            k = (metres - 0.75) / 300;
        }
        if (!(k > 0))
            return shot;
        const double xMm = x * k;
        const double yMm = y * k;
        shot.xTenthMm = Trunc16(10 * xMm);
        shot.yTenthMm = Trunc16(10 * yMm);
        if (silhouette) {
            const SilhouetteSlot& s = silhouettes[silhouetteNo];
            const int size = Get16(&s.record[26]);
            const double side = (s.record[16] & 0x40) ? std::trunc(size * 2.54) : size;
            if (side > 0) {
                const double column = xMm / (side * 0.5) * 32 + 32;
                const double row = 32 - yMm / (side * 0.5) * 32;
                if (column >= 0 && column < 64 && row >= 0 && row < 64)
                    shot.zone = s.cells[std::size_t(64 * int(column) + int(row))];
            }
        }
        return shot;
    }

    bool HasProgrammedTarget() const
    {
        if (!programmed)
            return false;
        const Block16& modeBlock = blocks.at(ShotMode());
        return ((modeBlock[ModeCtrl1] & RingEnabled) && modeBlock[ModeRingNumber] < 16)
            || ((modeBlock[ModeCtrl1] & SilhouetteEnabled) && modeBlock[ModeSilhouetteNumber] < 16);
    }

    int GoToRange(int count, int bank, Clock::time_point now)
    {
        if (!HasProgrammedTarget())
            return -1;
        const int functionMode = ShotMode();
        if (count <= 0) {
            const int bullets = blocks.at(functionMode)[ModeBullets];
            count = bullets > 0 ? bullets : 10;
        }
        if (bank < 0 || bank >= int(banks.size())) {
            bank = int(banks.size()) - 1;
            for (std::size_t b = 0; b < banks.size(); ++b)
                if (banks[b].empty()) {
                    bank = int(b);
                    break;
                }
        }
        // Each trip its own day on the range, the same trainee behind it. Its
        // shots are timed on the unit's own clock, which then runs on past the
        // last of them: no two shots of one power-up share a time.
        TTrainee shooter(config.traineeSeed * 7919u + ++rangeTrips, RangeShotSeconds);
        std::vector<Bytes> trace;
        const int64_t clockTicks = int64_t(std::chrono::duration<double>(now - poweredUpAt).count() * 66.0);
        int32_t tick = 0;
        for (int n = 0; n < count && banks[std::size_t(bank)].size() < 255; ++n) {
            trace.clear();
            TTrainee::Aim aim;
            do {
                aim = shooter.Next();
                ++tick;
                SimSample sample;
                sample.x = aim.x;
                sample.y = aim.y;
                sample.tilt = 20;
                sample.rotation = -15;
                sample.sequence = sampleSequence++;
                trace.push_back(SampleFrame(sample));
            } while (!aim.shotBreaks);
            StoredShot stored;
            const std::size_t keep = std::min<std::size_t>(trace.size(), StoredTraceLength);
            stored.frames.assign(trace.end() - std::ptrdiff_t(keep), trace.end());
            SimShot shot = UnitShot(aim.x, aim.y, functionMode);
            shot.time = int32_t((clockTicks + tick) & 0xFFFFFF);
            stored.result = MakeResult(shot, now);
            banks[std::size_t(bank)].push_back(std::move(stored));
        }
        poweredUpAt -= std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>((tick + 1) / 66.0));
        return bank;
    }

    Bytes MakeResult(SimShot shot, Clock::time_point now)
    {
        if (shot.time < 0)
            shot.time = int32_t(int64_t(std::chrono::duration<double>(now - poweredUpAt).count() * 66.0) & 0xFFFFFF);
        if (shot.startupCounter < 0)
            shot.startupCounter = startupCounter;
        if (shot.functionMode < 0)
            shot.functionMode = mode > 0 ? mode : 1;
        return ShotResultFrame(shot, ++shotNumber, ++resultTag & 0xFFFFFF);
    }

    // ---- Commands ----

    const Fault* MatchFault(uint8_t letter)
    {
        const Fault* hit = nullptr;
        for (auto& fs : faults) {
            if (fs.fault.command != letter)
                continue;
            ++fs.seen;
            const int n = fs.seen;
            if (!hit && n >= fs.fault.nth && (fs.fault.count == 0 || n < fs.fault.nth + fs.fault.count))
                hit = &fs.fault;
        }
        return hit;
    }

    // Carries the command out; returns its answer, the reply proper last.
    std::vector<Bytes> Execute(const Bytes& f, Clock::time_point now)
    {
        std::vector<Bytes> out;
        switch (f[0]) {
        case 'a': {
            const uint8_t p1 = f[1], p3 = f[3];
            if (p3 == 32) {
                if (p1 == 15) {
                    measuring = false;
                    mode = 0;
                } else if (p1 == 1 || p1 == 2) {
                    measuring = true;
                    mode = p1;
                    measureStart = now;
                    nextSample = now + SamplePeriod();
                    if (trainee)
                        trainee->Restart();
                }
            } else if (p3 == 33 && p1 == 2) {
                measuring = false;
                mode = 0;
                stoppedSince = true;
            }
            out.push_back(AckFrame('a'));
            break;
        }
        case 'b': {
            const uint8_t bank = f[1], index = f[2];
            if (bank < banks.size()) {
                if (index == 0xFF)
                    banks[bank].clear();
                else if (index < banks[bank].size()) {
                    const StoredShot& s = banks[bank][index];
                    out.insert(out.end(), s.frames.begin(), s.frames.end());
                    out.push_back(s.result);
                }
            }
            out.push_back(AckFrame('b'));
            break;
        }
        case 'c': {
            const uint8_t reg = f[1];
            Block16 data{};
            if (reg == 32) {
                countsUnread = false;
                for (std::size_t b = 0; b < banks.size(); ++b)
                    data[1 + 2 * b] = uint8_t(std::min<std::size_t>(banks[b].size(), 255));
            } else if (auto it = registers.find(reg); it != registers.end()) {
                data = it->second;
            }
            out.push_back(RegisterFrame(reg, data));
            break;
        }
        case 'd': {
            if (auto it = blocks.find(f[1] & 0x7F); it != blocks.end())
                it->second = Slice(&f[2]);
            if (f[1] & 0x80) {
                programmed = true;
                rangeDue = config.rangeShotsAfterProgramming > 0;
                stoppedSince = false;
            }
            out.push_back(AckFrame('d'));
            break;
        }
        case 'e': {
            Block16 data{};
            if (auto it = blocks.find(f[1] & 0x7F); it != blocks.end())
                data = it->second;
            out.push_back(ParameterFrame(f[1], data));
            break;
        }
        case 'f': {
            const int n = f[1] & 0x3F;
            if (n < 16) {
                SilhouetteSlot& s = silhouettes[std::size_t(n)];
                if (f[1] & 0x40) {
                    if ((f[2] & 0x7F) < 64)
                        UnpackRow(s, f[2] & 0x7F, &f[3]);
                } else if (f[2] == 0) {
                    std::copy(f.begin() + 3, f.begin() + 19, s.record.begin() + 16);
                } else if (f[2] == 1) {
                    std::copy(f.begin() + 3, f.begin() + 19, s.record.begin());
                }
            }
            out.push_back(AckFrame('f'));
            break;
        }
        case 'g': {
            const int n = f[1] & 0x3F;
            Block16 data{};
            if (n < 16) {
                const SilhouetteSlot& s = silhouettes[std::size_t(n)];
                if (f[1] & 0x40) {
                    if ((f[2] & 0x7F) < 64)
                        data = PackRow(s, f[2] & 0x7F);
                } else if (f[2] == 0) {
                    data = Slice(&s.record[16]);
                } else if (f[2] == 1) {
                    data = Slice(&s.record[0]);
                }
            }
            out.push_back(SilhouetteFrame(f[1], f[2], data));
            break;
        }
        case 'l': {
            const int block = f[2] & 0x7F;
            if (f[1] < 16 && block < 4)
                std::copy(f.begin() + 3, f.begin() + 19, rings[f[1]].begin() + std::ptrdiff_t(RingBlockOffset[std::size_t(block)]));
            out.push_back(AckFrame('l'));
            break;
        }
        case 'm': {
            const int block = f[2] & 0x7F;
            Block16 data{};
            if (f[1] < 16 && block < 4)
                data = Slice(&rings[f[1]][RingBlockOffset[std::size_t(block)]]);
            out.push_back(RingBlockFrame(f[1], f[2], data));
            break;
        }
        default:
            break;
        }
        return out;
    }

    void HandleCommand(Bytes f, Clock::time_point now)
    {
        lastCommand = now;
        received.push_back(ReceivedFrame{now, f});
        changed.notify_all();
        if (f[0] == 's') {
            DisplayLine line;
            line.flags = f[1];
            line.line = f[2];
            for (std::size_t i = 3; i < 13 && f[i] != 0; ++i)
                line.text.push_back(char(f[i]));
            display.push_back(std::move(line));
            return;
        }
        if (mute)
            return;
        const Fault* fault = MatchFault(f[0]);
        if (fault && fault->kind == FaultKind::ErrorReport) {
            Enqueue(ErrorReportFrame(fault->errorCode), now);
            return;
        }
        std::vector<Bytes> answer = Execute(f, now);
        if (answer.empty())
            return;
        Clock::time_point due = now;
        Ms pause{0};
        if (fault) {
            switch (fault->kind) {
            case FaultKind::Drop:
                return;
            case FaultKind::Delay:
                due = now + Ms(fault->delayMs);
                break;
            case FaultKind::Corrupt:
                answer.back().back() ^= 0xFF;
                break;
            case FaultKind::DuplicateAck:
                answer.push_back(answer.back());
                break;
            case FaultKind::AckFirst:
                std::rotate(answer.begin(), answer.end() - 1, answer.end());
                break;
            case FaultKind::DropResult:
            case FaultKind::CorruptResult:
                // The result stands right before the ack of a stored shot.
                if (f[0] == 'b' && answer.size() >= 2 && answer[answer.size() - 2].size() == 36) {
                    auto result = answer.end() - 2;
                    if (fault->kind == FaultKind::DropResult)
                        answer.erase(result);
                    else
                        result->back() ^= 0xFF;
                }
                break;
            case FaultKind::Pause:
                pause = Ms(std::max(1, fault->delayMs));
                break;
            case FaultKind::ErrorReport:
                break;
            }
        }
        for (auto& frame : answer)
            Enqueue(std::move(frame), due, true, pause);
    }

    void ReadInput(Clock::time_point now)
    {
        if (master < 0)
            return;
        uint8_t chunk[256];
        std::vector<Bytes> frames;
        for (;;) {
            const ssize_t n = ::read(master, chunk, sizeof chunk);
            if (n > 0) {
                decoder.Feed(chunk, std::size_t(n), frames);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            break; // EAGAIN, or EIO while the slave is closed
        }
        for (auto& f : frames)
            HandleCommand(std::move(f), now);
        stats.skippedBytes = decoder.SkippedBytes();
        stats.checksumFailures = decoder.ChecksumFailures();
    }

    // ---- The trip to the range ----

    // Leaves once stopped and left alone after a programming, or again while
    // the program has not read the counts since the unit came back (it was
    // handed back to a viewer, which does not identify it).
    void RangeTrip(Clock::time_point now)
    {
        if (tripAsked >= 0) {
            const int count = std::exchange(tripAsked, -1);
            // Already away: the shots are added to this trip.
            tripBank = away ? GoToRange(count, -1, now) : Leave(now, count);
            ++tripsAskedDone;
            changed.notify_all();
            return;
        }
        if (away) {
            if (now >= backAt)
                ComeBack();
            return;
        }
        if ((!rangeDue && !countsUnread) || !stoppedSince || measuring || forced || master < 0
            || now - lastCommand < Ms(std::max(0, config.rangeLeaveAfterMs)))
            return;
        Leave(now, rangeDue ? config.rangeShotsAfterProgramming : -1);
    }

    // Unplugged, count shots stored (none for -1), back after the away time;
    // returns the bank of the shots (-1 none).
    int Leave(Clock::time_point now, int count)
    {
        rangeDue = false;
        // The line it comes back on is taken before the old one goes: a new
        // path, as a replugged adapter gets, so the program sees the change
        // even if it looks only after the unit is back.
        awayMaster = NewPty(awaySlavePath);
        if (awayMaster < 0) {
            countsUnread = false;
            return count >= 0 ? GoToRange(count, -1, now) : -1;
        }
        ClosePty();
        measuring = false;
        mode = 0;
        const int bank = count >= 0 ? GoToRange(count, -1, now) : -1;
        countsUnread = true;
        away = true;
        backAt = now + Ms(std::max(0, config.rangeAwayMs));
        return bank;
    }

    void ComeBack()
    {
        away = false;
        stoppedSince = false;
        if (master >= 0) { // plugged in by hand meanwhile
            ::close(awayMaster);
        } else {
            AdoptPty(awayMaster, awaySlavePath);
        }
        awayMaster = -1;
        lastCommand = Clock::now();
    }

    // ---- The thread ----

    void Run()
    {
        std::unique_lock lock(mu);
        while (!stopping) {
            Clock::time_point now = Clock::now();
            if (request != Request::None) {
                ClosePty();
                if (request == Request::Replug) {
                    OpenPty();
                    poweredUpAt = now;
                    ++startupCounter;
                }
                request = Request::None;
                ++requestsDone;
                changed.notify_all();
            }
            // Termios can change without any event: look while it matters,
            // and now and then otherwise; a close shows up as POLLHUP.
            if (!ready || (config.powerUpOnRaw && !fast) || (masterEvents & POLLHUP)
                || now - lastReadyCheck >= IdlePollReady) {
                UpdateReady(now);
                lastReadyCheck = now;
            }
            if (masterEvents & (POLLIN | POLLHUP))
                ReadInput(now);
            RangeTrip(now);
            Stream(now);
            Flush(now);

            now = Clock::now();
            const Ms idle = (ready && (fast || !config.powerUpOnRaw)) ? IdlePollReady : IdlePoll;
            Clock::time_point wakeAt = std::min(NextOutputTime(now), now + idle);
            if (measuring || forced)
                wakeAt = std::min(wakeAt, nextSample);
            if (!backlog.empty()) // POLLOUT says when the reader made room
                wakeAt = now + idle;
            const int timeout = std::max(1, ClampMs(wakeAt - now, idle));
            pollfd fds[2] = {{wakeRead, POLLIN, 0}, {master, short(POLLIN | (backlog.empty() ? 0 : POLLOUT)), 0}};
            // A hung-up master polls ready at once; then only the wake pipe
            // and the time-out count.
            const nfds_t count = (master >= 0 && !hangup) ? 2 : 1;
            lock.unlock();
            ::poll(fds, count, timeout);
            // Not polled: look anyway next time (a reopened slave may have written).
            masterEvents = count == 2 ? fds[1].revents : short(POLLIN);
            if (fds[0].revents & POLLIN) {
                char sink[64];
                while (::read(wakeRead, sink, sizeof sink) > 0) {
                }
            }
            lock.lock();
        }
    }
};

// ---- TSimUnit ----

TSimUnit::TSimUnit(UnitConfig config) : d_(std::make_unique<Impl>(std::move(config)))
{
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        throw std::runtime_error("unitsim: cannot create wake pipe");
    d_->wakeRead = fds[0];
    d_->wakeWrite = fds[1];
    if (!d_->OpenPty()) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw std::runtime_error("unitsim: cannot create pseudo-terminal");
    }
    d_->thread = std::thread([this] { d_->Run(); });
}

TSimUnit::~TSimUnit()
{
    {
        std::lock_guard lock(d_->mu);
        d_->stopping = true;
    }
    d_->Wake();
    d_->thread.join();
    d_->ClosePty();
    if (d_->awayMaster >= 0)
        ::close(d_->awayMaster);
    ::close(d_->wakeRead);
    ::close(d_->wakeWrite);
}

std::string TSimUnit::SlavePath() const
{
    std::lock_guard lock(d_->mu);
    return d_->slavePath;
}

bool TSimUnit::SetPortLink(const std::string& linkPath)
{
    std::lock_guard lock(d_->mu);
    d_->RemoveLink();
    d_->linkPath = linkPath;
    if (linkPath.empty() || d_->master < 0)
        return true;
    d_->MakeLink();
    char target[256];
    const ssize_t n = ::readlink(linkPath.c_str(), target, sizeof target - 1);
    return n > 0 && std::string(target, std::size_t(n)) == d_->slavePath;
}

std::string TSimUnit::Name() const
{
    std::lock_guard lock(d_->mu);
    const Block16& b = d_->blocks[NameBlock];
    std::string name;
    for (std::size_t i = 0; i < 10 && b[i] != 0; ++i)
        name.push_back(char(b[i]));
    return name;
}

void TSimUnit::SetName(const std::string& name)
{
    std::lock_guard lock(d_->mu);
    d_->SetNameLocked(name);
}

Block16 TSimUnit::ParameterBlock(int address) const
{
    std::lock_guard lock(d_->mu);
    auto it = d_->blocks.find(address);
    return it == d_->blocks.end() ? Block16{} : it->second;
}

void TSimUnit::SetParameterBlock(int address, const Block16& data)
{
    std::lock_guard lock(d_->mu);
    if (auto it = d_->blocks.find(address); it != d_->blocks.end())
        it->second = data;
}

Block16 TSimUnit::Register(int reg) const
{
    std::lock_guard lock(d_->mu);
    auto it = d_->registers.find(reg);
    return it == d_->registers.end() ? Block16{} : it->second;
}

void TSimUnit::SetRegister(int reg, const Block16& data)
{
    std::lock_guard lock(d_->mu);
    d_->registers[reg] = data;
}

std::array<uint8_t, 64> TSimUnit::RingTarget(int number) const
{
    std::lock_guard lock(d_->mu);
    return number >= 0 && number < 16 ? d_->rings[std::size_t(number)] : std::array<uint8_t, 64>{};
}

void TSimUnit::SetRingTarget(int number, const std::array<uint8_t, 64>& record)
{
    std::lock_guard lock(d_->mu);
    if (number >= 0 && number < 16)
        d_->rings[std::size_t(number)] = record;
}

SilhouetteSlot TSimUnit::Silhouette(int number) const
{
    std::lock_guard lock(d_->mu);
    return number >= 0 && number < 16 ? d_->silhouettes[std::size_t(number)] : SilhouetteSlot{};
}

void TSimUnit::SetSilhouette(int number, const SilhouetteSlot& slot)
{
    std::lock_guard lock(d_->mu);
    if (number >= 0 && number < 16) {
        d_->silhouettes[std::size_t(number)] = slot;
        for (auto& c : d_->silhouettes[std::size_t(number)].cells)
            c &= 3;
    }
}

uint8_t TSimUnit::StartupCounter() const
{
    std::lock_guard lock(d_->mu);
    return d_->startupCounter;
}

void TSimUnit::SetStartupCounter(uint8_t value)
{
    std::lock_guard lock(d_->mu);
    d_->startupCounter = value;
}

int TSimUnit::BankCount(int bank) const
{
    std::lock_guard lock(d_->mu);
    return bank >= 0 && bank < 7 ? int(d_->banks[std::size_t(bank)].size()) : 0;
}

void TSimUnit::AddStoredShot(int bank, const StoredShot& shot)
{
    std::lock_guard lock(d_->mu);
    if (bank >= 0 && bank < 7)
        d_->banks[std::size_t(bank)].push_back(shot);
}

StoredShot TSimUnit::AddStoredShot(int bank, const SimShot& shot, int sampleCount)
{
    std::lock_guard lock(d_->mu);
    StoredShot stored;
    if (bank < 0 || bank >= 7)
        return stored;
    SimShot s = shot;
    const int index = int(d_->banks[std::size_t(bank)].size());
    if (s.time < 0)
        s.time = 66 * (60 * bank + 5 * index + 5);
    for (int k = 0; k < sampleCount; ++k) {
        // The aim closing in on the hit.
        SimSample sample;
        const int away = sampleCount - k;
        sample.x = int16_t(std::clamp(s.x + 3 * away, -32768, 32767));
        sample.y = int16_t(std::clamp(s.y - 2 * away, -32768, 32767));
        sample.sequence = d_->sampleSequence++;
        stored.frames.push_back(SampleFrame(sample));
    }
    stored.result = d_->MakeResult(s, Clock::now());
    d_->banks[std::size_t(bank)].push_back(stored);
    return stored;
}

void TSimUnit::ClearBanks()
{
    std::lock_guard lock(d_->mu);
    for (auto& b : d_->banks)
        b.clear();
}

bool TSimUnit::Measuring() const
{
    std::lock_guard lock(d_->mu);
    return d_->measuring;
}

int TSimUnit::Mode() const
{
    std::lock_guard lock(d_->mu);
    return d_->mode;
}

void TSimUnit::SetForcedStreaming(bool on)
{
    {
        std::lock_guard lock(d_->mu);
        if (on && !d_->forced && !d_->measuring) {
            d_->measureStart = Clock::now();
            d_->nextSample = d_->measureStart + d_->SamplePeriod();
            if (d_->trainee)
                d_->trainee->Restart();
        }
        d_->forced = on;
    }
    d_->Wake();
}

void TSimUnit::SetAimPoint(int16_t x, int16_t y)
{
    std::lock_guard lock(d_->mu);
    d_->aimX = x;
    d_->aimY = y;
}

Bytes TSimUnit::FireShot(const SimShot& shot)
{
    Bytes frame;
    {
        std::lock_guard lock(d_->mu);
        const auto now = Clock::now();
        frame = d_->MakeResult(shot, now);
        d_->Enqueue(frame, now);
    }
    d_->Wake();
    return frame;
}

Bytes TSimUnit::FireTraineeShot()
{
    Bytes frame;
    {
        std::lock_guard lock(d_->mu);
        const auto now = Clock::now();
        int16_t x = d_->aimX;
        int16_t y = d_->aimY;
        if (d_->trainee) {
            const TTrainee::Aim aim = d_->trainee->BreakNow();
            x = aim.x;
            y = aim.y;
        }
        frame = d_->MakeResult(d_->UnitShot(x, y), now);
        d_->Enqueue(frame, now);
    }
    d_->Wake();
    return frame;
}

Bytes TSimUnit::FireShotAt(int16_t x, int16_t y)
{
    Bytes frame;
    {
        std::lock_guard lock(d_->mu);
        const auto now = Clock::now();
        frame = d_->MakeResult(d_->UnitShot(x, y), now);
        d_->Enqueue(frame, now);
    }
    d_->Wake();
    return frame;
}

bool TSimUnit::Programmed() const
{
    std::lock_guard lock(d_->mu);
    return d_->programmed;
}

void TSimUnit::LoadFactorySetup()
{
    std::lock_guard lock(d_->mu);
    d_->rings[0] = FactoryRing();
    d_->blocks[0][GeneralFunctionMode] = 1;
    Block16& classic = d_->blocks[1];
    classic[ModeCtrl1] = RingEnabled;
    classic[ModeRingNumber] = 0;
    classic[ModeSilhouetteNumber] = 255;
    classic[4] = 2; // prisms
    classic[ModeBullets] = 10;
    d_->programmed = true;
}

int TSimUnit::GoToRange(int count, int bank)
{
    std::lock_guard lock(d_->mu);
    return d_->GoToRange(count, bank, Clock::now());
}

int TSimUnit::TripToTheRange(int count)
{
    std::unique_lock lock(d_->mu);
    if (!d_->HasProgrammedTarget())
        return -1;
    const uint64_t target = d_->tripsAskedDone + 1;
    d_->tripAsked = std::max(0, count);
    d_->Wake();
    d_->changed.wait(lock, [&] { return d_->tripsAskedDone >= target; });
    return d_->tripBank;
}

void TSimUnit::SendPowerUp()
{
    {
        std::lock_guard lock(d_->mu);
        d_->EnqueuePowerUp(Clock::now(), false);
    }
    d_->Wake();
}

void TSimUnit::InjectRaw(const Bytes& bytes)
{
    {
        std::lock_guard lock(d_->mu);
        Impl::OutItem item;
        item.bytes = bytes;
        d_->queue.emplace(std::make_pair(Clock::now(), d_->queueSequence++), std::move(item));
    }
    d_->Wake();
}

void TSimUnit::AddFault(const Fault& fault)
{
    std::lock_guard lock(d_->mu);
    d_->faults.push_back(Impl::FaultState{fault, 0});
}

void TSimUnit::ClearFaults()
{
    std::lock_guard lock(d_->mu);
    d_->faults.clear();
}

void TSimUnit::SetMute(bool on)
{
    std::lock_guard lock(d_->mu);
    d_->mute = on;
}

void TSimUnit::SetNoise(bool on, NoiseKind kind)
{
    std::lock_guard lock(d_->mu);
    d_->noise = on;
    d_->noiseKind = kind;
}

void TSimUnit::SetWriteMode(WriteMode mode, int splitBytes, int splitPauseMs, int mergeMs)
{
    std::lock_guard lock(d_->mu);
    d_->writeMode = mode;
    d_->splitBytes = std::max(1, splitBytes);
    d_->splitPause = Ms(std::max(0, splitPauseMs));
    d_->mergeWindow = Ms(std::max(0, mergeMs));
}

void TSimUnit::Unplug()
{
    std::unique_lock lock(d_->mu);
    const uint64_t target = d_->requestsDone + 1;
    d_->request = Impl::Request::Unplug;
    d_->Wake();
    d_->changed.wait(lock, [&] { return d_->requestsDone >= target; });
}

std::string TSimUnit::Replug()
{
    std::unique_lock lock(d_->mu);
    const uint64_t target = d_->requestsDone + 1;
    d_->request = Impl::Request::Replug;
    d_->Wake();
    d_->changed.wait(lock, [&] { return d_->requestsDone >= target; });
    if (d_->master < 0)
        throw std::runtime_error("unitsim: cannot create pseudo-terminal");
    return d_->slavePath;
}

bool TSimUnit::AtTheRange() const
{
    std::lock_guard lock(d_->mu);
    return d_->away;
}

bool TSimUnit::Plugged() const
{
    std::lock_guard lock(d_->mu);
    return d_->master >= 0;
}

std::vector<ReceivedFrame> TSimUnit::Received() const
{
    std::lock_guard lock(d_->mu);
    return d_->received;
}

std::string TSimUnit::ReceivedLetters() const
{
    std::lock_guard lock(d_->mu);
    std::string letters;
    for (const auto& f : d_->received)
        letters.push_back(char(f.Letter()));
    return letters;
}

void TSimUnit::ClearReceived()
{
    std::lock_guard lock(d_->mu);
    d_->received.clear();
    d_->display.clear();
}

bool TSimUnit::WaitForFrames(const std::function<bool(const std::vector<ReceivedFrame>&)>& predicate,
                             std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(d_->mu);
    return d_->changed.wait_for(lock, timeout, [&] { return predicate(d_->received); });
}

bool TSimUnit::WaitForCount(uint8_t letter, std::size_t count, std::chrono::milliseconds timeout) const
{
    return WaitForFrames(
        [&](const std::vector<ReceivedFrame>& frames) {
            return std::size_t(std::count_if(frames.begin(), frames.end(),
                                             [&](const ReceivedFrame& f) { return f.Letter() == letter; })) >= count;
        },
        timeout);
}

std::vector<DisplayLine> TSimUnit::DisplayLines() const
{
    std::lock_guard lock(d_->mu);
    return d_->display;
}

UnitStats TSimUnit::Stats() const
{
    std::lock_guard lock(d_->mu);
    return d_->stats;
}

bool TSimUnit::ListenerReady() const
{
    std::lock_guard lock(d_->mu);
    return d_->ready;
}

} // namespace unitsim

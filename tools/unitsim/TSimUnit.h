// One simulated optical unit on the master side of a pseudo-terminal. The
// program under test opens the slave path like any serial port. Each unit
// runs its own thread: it answers commands, streams samples while
// measuring, sends stored shots, and misbehaves on request.
//
// The unit never writes while the slave is closed or not in raw mode (the
// line discipline would echo and cook its bytes); what it would have sent
// then is lost, as on a line nobody listens to.
#pragma once

#include "UnitFrames.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace unitsim {

using Clock = std::chrono::steady_clock;

// A command frame as the unit received it.
struct ReceivedFrame {
    Clock::time_point time;
    Bytes bytes; // the whole frame, checksum included

    uint8_t Letter() const { return bytes.empty() ? 0 : bytes[0]; }
    uint8_t Arg(std::size_t i) const { return i < bytes.size() ? bytes[i] : 0; }
};

// A line the program put on the unit's display.
struct DisplayLine {
    uint8_t flags = 0;
    uint8_t line = 0;
    std::string text; // up to 10 characters, trailing zeros removed
};

// What the unit sends for one stored shot: its sample frames, then its result.
struct StoredShot {
    std::vector<Bytes> frames;
    Bytes result;
};

struct SilhouetteSlot {
    std::array<uint8_t, 32> record{};  // record bytes 0-31
    std::array<uint8_t, 4096> cells{}; // cell (column c, row r) at 64c + r, values 0-3
};

enum class FaultKind {
    Drop,        // the whole answer is lost (the command still takes effect)
    Delay,       // the whole answer goes out delayMs later
    Corrupt,     // the reply proper (last frame) carries a wrong checksum
    ErrorReport, // a 0xCA "c" error report instead; the command is not carried out
    DuplicateAck,// the reply proper goes out twice
    AckFirst,    // "b": the ack goes out before the shot's frames
    DropResult,  // "b": the shot's result frame is lost; its samples and the ack go out
    CorruptResult, // "b": the shot's result frame carries a wrong checksum
    Pause,       // every frame of the answer stops halfway for delayMs, as
                 // on a Bluetooth link or a slow USB adapter
};

enum class NoiseKind {
    Garbage,   // bytes that can start no frame
    FrameLeads // "Y" 00 13 0xCA "j" 00: starts of frames that never come
};

// Applies to the nth (1-based) command of that letter received after the
// fault was added, and to the count - 1 following ones (count 0: all).
struct Fault {
    uint8_t command = 0;
    int nth = 1;
    int count = 1;
    FaultKind kind = FaultKind::Drop;
    int delayMs = 0;
    uint8_t errorCode = 1;
};

enum class WriteMode {
    PerFrame, // one write per frame
    Split,    // every frame in pieces of splitBytes, splitPauseMs apart
    Merge,    // output collected for mergeMs, then written at once
};

struct UnitConfig {
    std::string name = "KBR0001234"; // parameter block 56, bytes 0-9
    uint8_t startupCounter = 1;
    bool powerUpOnRaw = false;  // "-" each time the port goes raw at 115200
    bool extraSamples = false;  // a "U" and a "V" record after every sample
    int sampleHz = 66;
    unsigned noiseSeed = 12345;
    // A trainee holds the gun while measuring (see Trainee.h) instead of the
    // small wobble round the aim point; with shootEverySeconds above 0 the
    // trainee also breaks a shot of its own every few seconds.
    bool trainee = false;
    double shootEverySeconds = 0;
    unsigned traineeSeed = 1;
    // Above 0: once programmed, then stopped (its training over) and left
    // alone (not measuring, no command for rangeLeaveAfterMs), the unit goes
    // to the range: its port
    // goes as if unplugged, it stores that many shots (see GoToRange), and
    // rangeAwayMs later its port comes back on a new path, as if plugged in
    // again, so that the program identifies it afresh. Until the program has
    // read its bank counts, it goes again (with no new shots) each time it
    // is stopped and left alone.
    int rangeShotsAfterProgramming = 0;
    int rangeLeaveAfterMs = 5000;
    int rangeAwayMs = 2000;
};

struct UnitStats {
    uint64_t bytesWritten = 0;
    uint64_t bytesDiscarded = 0; // produced while nobody listened in raw mode
    uint64_t samplesSent = 0;
    uint64_t resultsSent = 0;
    uint64_t skippedBytes = 0;
    uint64_t checksumFailures = 0;
    uint64_t powerUpsSent = 0;
};

class TSimUnit {
public:
    explicit TSimUnit(UnitConfig config = {});
    ~TSimUnit();
    TSimUnit(const TSimUnit&) = delete;
    TSimUnit& operator=(const TSimUnit&) = delete;

    // The path the program opens; changes on Replug.
    std::string SlavePath() const;
    // Keeps a symlink at linkPath pointing at the current slave: removed on
    // Unplug, made again on Replug, removed by the destructor. Empty: none.
    bool SetPortLink(const std::string& linkPath);

    // ---- State ----
    std::string Name() const;
    void SetName(const std::string& name);
    Block16 ParameterBlock(int address) const; // 0-3, 8-11, 16-19, 56
    void SetParameterBlock(int address, const Block16& data);
    Block16 Register(int reg) const;
    void SetRegister(int reg, const Block16& data);
    std::array<uint8_t, 64> RingTarget(int number) const;
    void SetRingTarget(int number, const std::array<uint8_t, 64>& record);
    SilhouetteSlot Silhouette(int number) const;
    void SetSilhouette(int number, const SilhouetteSlot& slot);
    uint8_t StartupCounter() const;
    void SetStartupCounter(uint8_t value);

    // Stored shots, banks 0-6.
    int BankCount(int bank) const;
    void AddStoredShot(int bank, const StoredShot& shot);
    // A stored shot with sampleCount samples leading to it; returns it.
    StoredShot AddStoredShot(int bank, const SimShot& shot, int sampleCount);
    void ClearBanks();

    // ---- Measuring ----
    bool Measuring() const;
    int Mode() const; // 1 classic, 2 dynamic, 0 idle
    // Streams samples without a start command (and keeps streaming through a
    // stop) while on.
    void SetForcedStreaming(bool on);
    void SetAimPoint(int16_t x, int16_t y);
    // Sends a shot result now (in stream order after the samples already
    // sent); returns the frame. Unless the shot says otherwise its time is
    // the unit's clock since power-up, in ticks of 1/66 s.
    Bytes FireShot(const SimShot& shot);
    // A shot as the unit itself scores it: at the trainee's current aim (the
    // aim point without a trainee), or at x, y. Target numbers, measured
    // distance, silhouette zone and position come from what the unit was
    // programmed with.
    Bytes FireTraineeShot();
    Bytes FireShotAt(int16_t x, int16_t y);

    // ---- Training on its own ----
    // Settings blocks with the last-block mark were written.
    bool Programmed() const;
    // A 10 m ring target in slot 0 and classic training on it, as if so
    // programmed.
    void LoadFactorySetup();
    // A trip to the range with the programmed setup: count shots (0: the
    // mode's number of bullets, else 10), each with the trainee's trace up
    // to the break, stored in bank (-1: the first empty one, else bank 6).
    // Returns the bank, or -1 when the unit holds no setup with a target.
    int GoToRange(int count = 0, int bank = -1);
    // The same as a trip away: the port goes, the shots are stored (in the
    // first empty bank), and the port comes back rangeAwayMs later on a new
    // path. Returns the bank, or -1 when the unit holds no setup with a target.
    int TripToTheRange(int count = 0);
    // Sends "-" alone, with a quiet gap before and after.
    void SendPowerUp();
    // Arbitrary bytes, e.g. garbage, in stream order.
    void InjectRaw(const Bytes& bytes);

    // ---- Faults ----
    void AddFault(const Fault& fault);
    void ClearFaults();
    void SetMute(bool on);  // answers nothing at all
    void SetNoise(bool on, NoiseKind kind = NoiseKind::Garbage); // before every frame
    void SetWriteMode(WriteMode mode, int splitBytes = 3, int splitPauseMs = 5, int mergeMs = 30);

    // Away on a trip to the range (rangeShotsAfterProgramming).
    bool AtTheRange() const;

    // Closes the master: the program sees a hang-up. State is kept.
    void Unplug();
    // A fresh pseudo-terminal; returns its slave path. A power-up: the
    // start-up counter goes up by one and the shot clock starts again.
    std::string Replug();
    bool Plugged() const;

    // ---- What happened ----
    std::vector<ReceivedFrame> Received() const;
    // The letters of the received frames in order, e.g. "accceee".
    std::string ReceivedLetters() const;
    void ClearReceived();
    // Waits until the predicate holds on the received frames.
    bool WaitForFrames(const std::function<bool(const std::vector<ReceivedFrame>&)>& predicate,
                       std::chrono::milliseconds timeout) const;
    // Waits until at least count frames with that letter were received.
    bool WaitForCount(uint8_t letter, std::size_t count, std::chrono::milliseconds timeout) const;
    std::vector<DisplayLine> DisplayLines() const;
    UnitStats Stats() const;
    // Slave open and in raw mode: the unit may write.
    bool ListenerReady() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// 10-character names for a set of units: "KBR" + 7 digits from first.
std::string UnitName(const std::string& prefix, int number);

} // namespace unitsim

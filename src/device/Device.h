// One optical unit on one serial port: the reply slots every frame lands in,
// the live sample rings, the shot intake, the zeroing state and the
// asynchronous identify, upload and download sequences, plus the blocking
// transfers the GUI thread runs.
//
// Threading. Frames arrive on the port's event thread (HandleFrame and all it
// calls); the GUI thread polls flags, starts sequences and blocks in
// WaitForReply. The split is:
//  - Everything under Lock(): reply slots, sample rings, the shooter link,
//    the current target, the target tables, the zero state, the listener,
//    the name and the identify timer's state. HandleFrame holds it for the
//    whole frame, so the next step of a sequence (which writes a frame) runs
//    under it too. GUI code reading a slot takes Lock() for the copy.
//  - std::atomic: every flag and counter the GUI polls (async state group,
//    measuring, zeroing, live started, last reply type, reply-arrived flags,
//    per-type reply counters, found/identified/busy, shot total ...).
//  - Lock order: device lock, then the port's write lock. Nobody may close
//    or reopen the port while holding the device lock: closing joins the
//    event thread, which may be waiting for that lock.
//  - The listener is set, cleared and called under the lock; once
//    SetListener(nullptr) returns the old listener is never called again.
//  - The identify timer is not a GUI timer object: its state (on/off,
//    interval, due time, tries) lives under the lock, and the GUI thread
//    calls IdentifyTimerTick regularly (every 50-100 ms) to let it fire. The
//    event thread only changes that state, never waits on the GUI.
#pragma once

#include "DataHandler.h"
#include "DeviceFrames.h"
#include "DeviceRecords.h"
#include "Setupdata.h"
#include "Zeroing.h"

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class TShooter;

// How a device tells its viewer that data arrived. Called on the port's event
// thread under the device lock: implementations only set flags.
class IDeviceEventListener {
public:
    virtual ~IDeviceEventListener() = default;
    virtual void OnSamples() = 0;
    virtual void OnShot() = 0;
};

// Milliseconds of a monotonic clock; the activity tick and the identify timer
// use it.
int64_t DeviceTickMs();

// The asynchronous state of identify, upload and download. The device
// manager zeroes it whole (Reset) after a failed programming.
struct TDeviceAsyncState {
    std::atomic<int64_t> activityTick {0}; // DeviceTickMs() of the last step
    std::atomic<int> uploadStepCount {0};

    // Identify.
    std::atomic<bool> portOpened {false};
    std::atomic<bool> identifyRunning {false};
    std::atomic<bool> identifyFinished {false};
    std::atomic<int> identifyStep {0};
    std::atomic<bool> autoDownload {false};

    // Upload.
    std::atomic<bool> setupModeEntered {false};
    std::atomic<bool> uploadRequested {false};
    std::atomic<bool> uploadDone {false};
    std::atomic<bool> ringPending {false};
    std::atomic<int> ringTargetNumber {0};
    std::atomic<int> ringStep {0};
    std::atomic<bool> silhouettePending {false};
    std::atomic<int> silhouetteTargetNumber {0};
    std::atomic<int> silhouettePacketStep {0};
    std::atomic<int> silhouetteRow {0};
    std::atomic<bool> settingsPending {false};
    std::atomic<int> settingsStep {0};

    // Download.
    std::atomic<bool> downloadComplete {false};
    std::atomic<bool> downloadHandled {false};
    std::atomic<int> downloadRequestCount {0};
    std::atomic<bool> downloadActive {false};
    std::atomic<bool> downloadFinished {false};
    std::atomic<int> downloadShotIndex {0};
    std::atomic<int> downloadBank {0};

    std::atomic<bool> abort {false};

    void Reset();
};

class TDevice {
public:
    static constexpr int RingCapacity = 200;
    static constexpr int FlaggedRunLimit = 6;
    static constexpr int PostShotDropLength = 20;
    static constexpr int MaxReplyType = 19;
    static constexpr int SampleMs = 15; // aiming time per valid T0 sample

    // Creates the data handler and the rings; the new shooter is appended to
    // CurrentSession when there is one (which owns it).
    TDevice();
    // Closes the port first, so no frame arrives while the device goes away.
    // The shooter is not deleted.
    ~TDevice();
    TDevice(const TDevice&) = delete;
    TDevice& operator=(const TDevice&) = delete;

    // The device lock (recursive). See the header comment for what it guards.
    std::unique_lock<std::recursive_mutex> Lock() const { return std::unique_lock<std::recursive_mutex>(lock_); }

    // ---- Port (GUI thread; never under Lock()) ----
    // lines: 115200 baud with DTR and RTS raised. Errors of the port pass on.
    bool OpenPort(int number, bool lines);
    void ClosePort();
    TDataHandler& Data() { return *dataHandler_; }
    const TDataHandler& Data() const { return *dataHandler_; }

    // ---- Receive path (event thread; called by TDataHandler::DispatchFrame) ----
    void HandleFrame(const uint8_t* frame, int length, int type);

    // ---- Waiting for a reply (GUI thread) ----
    // Arm before writing the frame whose answer is awaited, so an answer that
    // comes back at once is not missed. WaitForReply then succeeds as soon as
    // a frame of that type arrived since arming, whatever came after it; a
    // wait that was not armed arms itself on entry. Looks every 10 ms; gives
    // up after timeout/10 + 1 looks. Returns type, or 0.
    void ArmReply(int type);
    int WaitForReply(int type, int timeoutMs);
    // Arms, writes the frame, waits. True when the answer came.
    bool SendAndWait(const Frame& frame, int type, int timeoutMs);
    // Frames of that type received since the device was created.
    uint32_t ReplyCount(int type) const;

    // ---- Reply slots (under Lock()) ----
    // Slot of parameter block n (0-3, 8-11, 16-19, 56); null for others.
    uint8_t* ParameterBlockAddress(int n);
    // Copies the data bytes of a type-13 reply into its block's slot.
    void StoreParameterBlock(const uint8_t* frame);
    // Blocks 0-3, filled by the caller before an upload.
    uint8_t* GetSettingsBlock() { return paramBlocks0to3.data(); }
    // A copy of the kept frame of that reply type (empty for types without a
    // slot), taken under the lock.
    QByteArray ReplySlot(int type) const;
    // Clears the last reply type, every slot and every reply-arrived flag.
    void ClearReplySlots();

    // ---- Sample rings (under Lock()) ----
    void AddTraceSample(uint8_t* frame);  // changed in place
    void AddSampleT1(const SampleT1& record);
    void AddSampleT2(const SampleT2& record);
    // Exactly one of the three is given.
    void StoreSample(const TraceSample* t0, const SampleT1* t1, const SampleT2* t2);
    void ResetSampleBuffers();
    int RingIndex() const { return ringIndex_; }
    bool RingWrapped() const { return ringWrapped_; }
    int FlaggedRun() const { return flaggedRun_; }
    int DropCount() const { return dropCount_; }
    const TraceSample& T0Slot(int i) const { return (*t0Ring_)[std::size_t(i)]; }
    const SampleT1& T1Slot(int i) const { return (*t1Ring_)[std::size_t(i)]; }
    const SampleT2& T2Slot(int i) const { return (*t2Ring_)[std::size_t(i)]; }

    // ---- Shooter, listener, target (take the lock themselves) ----
    TShooter* Shooter() const;
    void SetShooter(TShooter* shooter);
    IDeviceEventListener* Listener() const;
    void SetListener(IDeviceEventListener* listener);
    TargetDescription CurrentTarget() const;
    void SetCurrentTarget(const TargetDescription& target);
    QString Name() const;
    void SetName(const QString& name);
    int ShotCount() const;

    // ---- Shot intake and zeroing (event thread, under the lock) ----
    void OnShotResult(RawShotRecord& result);
    void CalcRingScoreAndSector(RawShotRecord& result);
    void CalcSilhouetteZone(RawShotRecord& result);
    void AddShotFromResult(TShooter* shooter, const RawShotRecord& result, bool converted);
    void RememberZeroingResult(const RawShotRecord& result);
    // GUI thread; take the lock themselves.
    void SaveZero();
    bool ComputeZero();
    void ClearZeroOffsets();
    ZeroState Zero() const;
    // Converts the shooter's downloaded classic shots; returns the report
    // ("Bad target number" once when any shot had no usable target).
    RescoreReport RescoreDownloadedShots();

    // ---- Asynchronous identify (2.105) ----
    void StartAsyncIdentify();          // GUI thread
    void OnIdentifyTimer();             // the timer's handler; also on "-" (event thread)
    void IdentifyTimerTick(int64_t nowMs); // GUI thread: fires OnIdentifyTimer when due
    // Event thread, with the reply type that drove it: only an ack (or the
    // "-" of a unit that powered up) answers the stop, and each later step
    // only the answer type its request waits for, so a duplicate ack does not
    // run the chain twice. Throws "No async scan going" when not running.
    void AsyncIdentifyStep(int replyType);
    bool IdentifyTimerEnabled() const;
    int IdentifyTries() const;

    // ---- Asynchronous upload (2.106) ----
    void StartAsyncUpload();            // GUI thread: requested, not done, first step
    void AsyncUploadStep();
    bool IsUploadStalled() const;

    // ---- Asynchronous download (2.107) ----
    void StartAsyncDownload();
    void AsyncDownloadStep();

    // ---- Synchronous transfers (2.108, GUI thread) ----
    void StartMeasuring(int mode);
    void SendStop();
    bool WriteRingTarget(int number, const RingTargetRecord& record);
    bool WriteSilhouetteTarget(int number, const SilhouetteTargetRecord& record, const SilhouetteMatrix& matrix);
    bool ReadRingTarget(int number);
    bool ReadSilhouetteTarget(int number);
    bool ClearShotBanks();
    bool ReadMissingTargets();
    void SendDisplayText(const QString& text);

    // ---- Flags the GUI polls ----
    std::atomic<int> comNumber {0};
    std::atomic<bool> bluetooth {false};
    std::atomic<bool> busy {false};
    std::atomic<bool> identified {false};
    std::atomic<bool> found {false};
    std::atomic<int> modelType {0};      // 1 "KBR", 2 "ZUV", else 0
    TDeviceAsyncState async;
    std::atomic<int> lastReplyType {0};
    std::array<std::atomic<bool>, MaxReplyType + 1> replyArrived {};
    std::atomic<bool> anyReplyArrived {false};
    std::atomic<int> mode {0};           // 1 classic, 2 dynamic
    std::atomic<bool> zeroing {false};
    std::atomic<bool> measuring {false};
    std::atomic<bool> liveStarted {false};
    std::atomic<bool> sampleStream {false}; // samples arrived within the last second (the viewer keeps it)
    std::atomic<int> shotTotal {0};
    std::atomic<int> aimingTime {0};     // ms of uninterrupted valid samples
    std::atomic<int> sampleCount {0};    // T0 and T2 samples since measuring started
    std::atomic<int64_t> firstSampleNs {0}; // steady clock of the first sample

    // ---- Reply slots (under Lock()), each the whole frame as received ----
    std::array<uint8_t, 64> paramBlocks0to3 {};
    std::array<std::array<uint8_t, 16>, 4> paramBlocks8to11 {};
    std::array<std::array<uint8_t, 16>, 4> paramBlocks16to19 {};
    std::array<uint8_t, 16> paramBlock56 {};
    std::array<std::array<uint8_t, 20>, 8> infoRegs0to7 {};
    std::array<uint8_t, 20> infoReg16 {};
    std::array<uint8_t, 20> infoReg25 {};
    std::array<uint8_t, 5> replyAck {};
    std::array<uint8_t, 20> replyShotBankCounts {};
    std::array<uint8_t, 16> replyError {};
    RawShotRecord replyShotResult {};
    TraceSample replyT0 {};
    SampleT1 replyT1 {};
    SampleT2 replyT2 {};
    std::array<uint8_t, 21> reply11 {};
    std::array<uint8_t, 20> reply13 {};
    std::array<uint8_t, 20> reply14 {};
    std::array<uint8_t, 20> reply16 {};
    std::array<uint8_t, 21> reply19 {};

    RawShotRecord lastResult {};   // under Lock()
    TraceSample lastLiveSample {}; // under Lock()

    // Targets read from or written to the unit (under Lock()).
    DeviceSetup targetTables {};

private:
    void StoreReply(int type, const uint8_t* frame, int length);
    void FailIdentify();
    void FinishIdentify();

    mutable std::recursive_mutex lock_;
    std::unique_ptr<TDataHandler> dataHandler_;

    // Per reply type: frames received, and the count at arming (GUI thread).
    std::array<std::atomic<uint32_t>, MaxReplyType + 1> replyCounts_ {};
    std::array<uint32_t, MaxReplyType + 1> armedAt_ {};
    std::array<bool, MaxReplyType + 1> armed_ {};

    // Under the lock.
    TShooter* shooter_ = nullptr;
    IDeviceEventListener* listener_ = nullptr;
    QString name_;
    TargetDescription currentTarget_ {};
    ZeroState zero_ {};

    std::unique_ptr<std::array<TraceSample, RingCapacity>> t0Ring_;
    std::unique_ptr<std::array<SampleT1, RingCapacity>> t1Ring_;
    std::unique_ptr<std::array<SampleT2, RingCapacity>> t2Ring_;
    int ringIndex_ = 0;
    bool ringWrapped_ = false;
    int flaggedRun_ = 0;
    int dropCount_ = 0;

    // Identify timer state (under the lock).
    bool identifyTimerOn_ = false;
    int identifyTimerIntervalMs_ = 3000;
    int64_t identifyTimerDueMs_ = 0;
    int identifyTries_ = 0;
};

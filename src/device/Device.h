// One optical unit on one serial port: the reply slots every frame lands in,
// the live sample rings, the shot intake, the zeroing state and the
// asynchronous identify, upload and download sequences, plus the blocking
// transfers the GUI thread runs.
//
// Threading. Frames arrive on the port's event thread (HandleFrame and all it
// calls); the GUI thread polls flags, starts sequences and blocks in
// WaitForReply. The split is:
//  - Behind the device lock, reachable only through the accessors below,
//    which copy out under it: reply slots, sample rings, the latest live
//    sample and last result, the shooter link, the current target, the target
//    tables, the zero state, the listener, the name, the download bookkeeping
//    and the identify timer's state. HandleFrame holds the lock for the whole
//    frame, so a step of a sequence sees one consistent state.
//  - std::atomic behind getters and setters: every flag and counter the GUI
//    polls (the async state group through Async(), measuring, zeroing, live
//    started, last reply type, reply-arrived flags, per-type reply counters,
//    found/identified/busy, shot total ...). Reading them takes no lock.
//  - No write to the port ever happens under the device lock: a sequence step
//    queues its frame under the lock and the frame is written once the lock
//    is released (in queue order, one writer at a time). A stalled line then
//    blocks only the thread that writes, never a GUI accessor.
//  - Nobody may close or reopen the port while holding the device lock:
//    closing joins the event thread, which may be waiting for that lock.
//  - The listener is set, cleared and called under the lock; once
//    SetListener(nullptr) returns the old listener is never called again.
//    The same holds for the shooter link (SetShooter, UnlinkShooter): once
//    the link is cleared the event thread no longer touches that shooter.
//  - The shooter's identity has its own lock (a leaf, see TShooter): the
//    identification writes it under the device lock.
//  - The identify timer is not a GUI timer object: its state (on/off,
//    interval, due time, tries) lives under the lock, and the GUI thread
//    calls IdentifyTimerTick regularly (every 50-100 ms) to let it fire; the
//    tick takes no lock while nothing identifies. The event thread only
//    changes that state, never waits on the GUI.
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
#include <vector>

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

// The asynchronous state of identify, upload and download. Anyone may read it
// (TDevice::Async); only the device writes it, its steps under the device lock.
struct TDeviceAsyncState {
    std::atomic<int64_t> activityTick {0}; // DeviceTickMs() of the last step
    std::atomic<int> uploadStepCount {0};  // also the upload's progress

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

// What an upload sends. The records must stand in the device's target tables
// at those slots (SetRingTarget, SetSilhouetteTarget) and the settings in its
// settings blocks (SetSettingsBlocks) before it starts.
struct TUploadPlan {
    int ringTarget = -1;       // ring table slot 0-15 to send; -1 none
    int silhouetteTarget = -1; // silhouette table slot 0-15; -1 none
    bool settings = false;     // the four settings blocks, with the bank erasure
};

// One stored shot of a unit: its bank (0-6) and its place in the bank.
struct TStoredShotRef {
    int bank = 0;
    int index = 0;
    bool operator==(const TStoredShotRef&) const = default;
};

// How far the current (or last) download got.
struct TDownloadProgress {
    int announced = 0; // stored shots the unit's bank counts announced at the start
    int received = 0;  // requests answered with a shot result
    // Requests answered twice without a result (lost or damaged on the line):
    // shots the download could not fetch.
    std::vector<TStoredShotRef> missing;
};

// What the live viewer draws from, copied in one piece.
struct TLiveSnapshot {
    TraceSample sample {}; // the latest live T0 sample: angles in degrees, classic zero applied
    int status = 0;        // its failure flags (byte 16): 0 = a valid aim
    int tilt = 0;          // degrees
    int cant = 0;          // the rotation, degrees
};

class TDevice {
public:
    static constexpr int RingCapacity = 200;
    static constexpr int FlaggedRunLimit = 6;
    static constexpr int PostShotDropLength = 20;
    static constexpr int MaxReplyType = 19;
    static constexpr int SampleMs = 15; // aiming time per valid T0 sample
    static constexpr int BankCount = 7;

    // Creates the data handler and the rings; the new shooter is appended to
    // CurrentSession when there is one (which owns it).
    TDevice();
    // Closes the port first, so no frame arrives while the device goes away.
    // The shooter is not deleted.
    ~TDevice();
    TDevice(const TDevice&) = delete;
    TDevice& operator=(const TDevice&) = delete;

    // ---- Port (GUI thread) ----
    // lines: 115200 baud with DTR and RTS raised. Errors of the port pass on.
    bool OpenPort(int number, bool lines);
    void ClosePort();
    TDataHandler& Data() { return *dataHandler_; }
    const TDataHandler& Data() const { return *dataHandler_; }
    // 0 while the port is closed; a parked device keeps its number.
    int ComNumber() const { return comNumber_.load(); }
    void SetComNumber(int number) { comNumber_.store(number); }
    bool Bluetooth() const { return bluetooth_.load(); }
    void SetBluetooth(bool on) { bluetooth_.store(on); }

    // ---- Receive path (event thread; called by TDataHandler) ----
    void HandleFrame(const uint8_t* frame, int length, int type);
    // A frame of that type arrived damaged (bad checksum, fields no unit
    // sends, or cut short: whole frames followed its start, or the line fell
    // silent). A damaged shot result window may be line noise: the
    // trace is kept until the next result; when its shot number shows that a
    // shot was lost, the samples before the damage (that shot's trace) are
    // dropped then.
    void OnDamagedFrame(int type);

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
    int LastReplyType() const { return lastReplyType_.load(); }
    bool ReplyArrived(int type) const;
    bool AnyReplyArrived() const { return anyReplyArrived_.load(); }

    // ---- Reply slots (copied out under the lock) ----
    // A copy of the kept frame of that reply type (empty for types without a
    // slot).
    QByteArray ReplySlot(int type) const;
    // Whether parameter block n (0-3, 8-11, 16-19, 56) has a slot.
    static bool HasParameterBlock(int n);
    // The 16 data bytes of parameter block n; empty for a block without slot.
    QByteArray ParameterBlock(int n) const;
    // The whole reply of info register 0-7, 16 or 25; empty for others.
    QByteArray InfoRegister(int reg) const;
    // Stored shots per bank 0-6 from the last counts reply.
    std::array<int, BankCount> BankCounts() const;
    // Parameter blocks 0-3: the unit's settings as read, and what an upload
    // sends.
    SetupBlocks SettingsBlocks() const;
    void SetSettingsBlocks(const SetupBlocks& blocks);
    // Clears the last reply type, every slot and every reply-arrived flag.
    void ClearReplySlots();

    // ---- Sample rings and live data (copied out under the lock) ----
    void ResetSampleBuffers();
    int RingIndex() const;
    bool RingWrapped() const;
    int FlaggedRun() const;
    int DropCount() const;
    TraceSample T0Slot(int i) const;
    SampleT1 T1Slot(int i) const;
    SampleT2 T2Slot(int i) const;
    TLiveSnapshot LiveSnapshot() const;
    // The last shot result as received (after the failure rule), before its
    // conversion.
    RawShotRecord LastResult() const;

    // ---- Shooter, listener, targets (take the lock themselves) ----
    TShooter* Shooter() const;
    void SetShooter(TShooter* shooter);
    // Clears the link when it points at shooter (true then). Once this
    // returns, the event thread no longer touches that shooter.
    bool UnlinkShooter(const TShooter* shooter);
    // The linked shooter's current target, which the shot intake reads; does
    // nothing without a shooter.
    void SetShooterTarget(const TargetDescription& target);
    IDeviceEventListener* Listener() const;
    void SetListener(IDeviceEventListener* listener);
    TargetDescription CurrentTarget() const;
    void SetCurrentTarget(const TargetDescription& target);
    // The ring and silhouette targets read from or written to the unit.
    DeviceSetup TargetTables() const;
    void SetTargetTables(const DeviceSetup& tables);
    // One slot (0-15; others throw "Invalid target"); marks it defined.
    void SetRingTarget(int number, const RingTargetRecord& record);
    void SetSilhouetteTarget(int number, const SilhouetteTargetRecord& record, const SilhouetteMatrix& matrix);
    bool RingTargetDefined(int number) const;
    bool SilhouetteTargetDefined(int number) const;
    QString Name() const;
    void SetName(const QString& name);
    // Shots of the linked shooter; 0 without one.
    int ShotCount() const;

    // ---- Scoring and zeroing (take the lock themselves) ----
    void CalcRingScoreAndSector(RawShotRecord& result);
    void CalcSilhouetteZone(RawShotRecord& result);
    void RememberZeroingResult(const RawShotRecord& result);
    void SaveZero();
    bool ComputeZero();
    void ClearZeroOffsets();
    // Back to the offsets SaveZero kept.
    void RestorePreviousZero();
    void SetZeroOffsets(double x, double y);
    ZeroState Zero() const;
    // Converts the shooter's downloaded classic shots; returns the report
    // ("Bad target number" once when any shot had no usable target).
    RescoreReport RescoreDownloadedShots();

    // ---- Flags the GUI polls (atomics, no lock) ----
    bool Busy() const { return busy_.load(); }
    bool Identified() const { return identified_.load(); }
    bool Found() const { return found_.load(); }
    int ModelType() const { return modelType_.load(); } // 1 "KBR", 2 "ZUV", else 0
    int Mode() const { return mode_.load(); }           // 1 classic, 2 dynamic
    void SetMode(int mode) { mode_.store(mode); }
    bool Zeroing() const { return zeroing_.load(); }
    void SetZeroing(bool on) { zeroing_.store(on); }
    bool Measuring() const { return measuring_.load(); }
    void SetMeasuring(bool on) { measuring_.store(on); }
    // Set by the viewer when a live training starts; cleared when measuring
    // stops and when a download starts.
    bool LiveStarted() const { return liveStarted_.load(); }
    void SetLiveStarted(bool on) { liveStarted_.store(on); }
    // Samples arrived within the last second (the viewer keeps it).
    bool SampleStream() const { return sampleStream_.load(); }
    void SetSampleStream(bool on) { sampleStream_.store(on); }
    // Stored shots the unit reported at its identification.
    int ShotTotal() const { return shotTotal_.load(); }
    int AimingTime() const { return aimingTime_.load(); }   // ms of uninterrupted valid samples
    int SampleCount() const { return sampleCount_.load(); } // T0 and T2 samples since measuring started
    int64_t FirstSampleNs() const { return firstSampleNs_.load(); } // steady clock of the first one
    const TDeviceAsyncState& Async() const { return async_; }
    // Running and not finished.
    bool Identifying() const;
    // Zeroes the whole asynchronous state, under the lock (after a failed
    // programming).
    void ResetAsyncState();

    // ---- Asynchronous identify ----
    // GUI thread. autoDownload: the download starts once identified.
    void StartAsyncIdentify(bool autoDownload = false);
    // The timer's handler (GUI thread; also run on the event thread when a
    // unit that powered up sends "-").
    void OnIdentifyTimer();
    // GUI thread: fires OnIdentifyTimer when due; fails an identification
    // that stalls. Takes no lock while nothing identifies.
    void IdentifyTimerTick(int64_t nowMs);
    bool IdentifyTimerEnabled() const;
    int IdentifyTries() const;

    // ---- Asynchronous upload ----
    // GUI thread: resets the upload state and the abort flag, then sends the
    // first frame; each ack sends the next. A bad slot number or a port that
    // cannot be written sets the abort flag instead.
    void StartAsyncUpload(const TUploadPlan& plan);
    // Requested, not done, and no step for more than 3000 ms.
    bool IsUploadStalled() const;

    // ---- Asynchronous download ----
    // GUI or event thread. Does nothing while the unit reported no stored
    // shot. Clears the abort flag, the sample rings and the live-started
    // state, then requests the first stored shot; each ack requests the next.
    // A request answered without a result is sent once more; a second miss is
    // recorded (DownloadProgress().missing) and the download goes on.
    void StartAsyncDownload();
    TDownloadProgress DownloadProgress() const;
    // The download screen took the shots: handled, no longer active nor
    // complete.
    void MarkDownloadHandled();

    // ---- Synchronous transfers (GUI thread, never under the lock) ----
    void StartMeasuring(int mode);
    // Measuring and live started are cleared even when the write fails.
    void SendStop();
    bool WriteRingTarget(int number, const RingTargetRecord& record);
    bool WriteSilhouetteTarget(int number, const SilhouetteTargetRecord& record, const SilhouetteMatrix& matrix);
    bool ReadRingTarget(int number);
    bool ReadSilhouetteTarget(int number);
    // Lets the GUI process its events once in the middle: the device manager
    // defers the deletion of a device dropped meanwhile until this returns
    // (InPumpedTransfer).
    bool ClearShotBanks();
    bool ReadMissingTargets();
    void SendDisplayText(const QString& text);
    // A transfer that lets GUI events through is running.
    bool InPumpedTransfer() const { return pumpedTransfers_.load() > 0; }

private:
    using Guard = std::unique_lock<std::recursive_mutex>;
    Guard Lock() const { return Guard(lock_); }

    // Under the lock.
    void StoreReply(int type, const uint8_t* frame, int length);
    uint8_t* ParameterBlockSlot(int n);
    const uint8_t* ParameterBlockSlot(int n) const;
    void StoreParameterBlock(const uint8_t* frame);
    void AddTraceSample(uint8_t* frame);
    void StoreSample(const TraceSample* t0, const SampleT1* t1, const SampleT2* t2);
    void ClearTrace();
    // After a damaged shot result: when the next result shows that a shot was
    // really lost, only the records stored since the damage stay in the rings,
    // and the aiming time counts from there.
    void KeepSamplesSinceDamage();
    void OnShotResult(RawShotRecord& result);
    void FailIdentify();
    void FinishIdentify();
    void FireIdentifyTimer();
    void AsyncIdentifyStep(int replyType);
    void AsyncUploadStep();
    void AsyncDownloadStep();
    void BeginDownload();
    void RequestStoredShot(int bank, int index);

    // Frames decided under the lock, written by FlushOutbox once it is
    // released.
    void Send(const Frame& frame);
    // Writes the queued frames in order; a failed write drops the rest of
    // the queue and passes the error on.
    void FlushOutbox();

    mutable std::recursive_mutex lock_;
    std::unique_ptr<TDataHandler> dataHandler_;

    std::mutex outboxLock_;  // a leaf: guards outbox_ only
    std::vector<Frame> outbox_;
    std::mutex sendLock_;    // one flusher at a time, so the queue order holds

    // Flags (atomics).
    std::atomic<int> comNumber_ {0};
    std::atomic<bool> bluetooth_ {false};
    std::atomic<bool> busy_ {false};
    std::atomic<bool> identified_ {false};
    std::atomic<bool> found_ {false};
    std::atomic<int> modelType_ {0};
    TDeviceAsyncState async_;
    std::atomic<int> lastReplyType_ {0};
    std::array<std::atomic<bool>, MaxReplyType + 1> replyArrived_ {};
    std::atomic<bool> anyReplyArrived_ {false};
    std::atomic<int> mode_ {0};
    std::atomic<bool> zeroing_ {false};
    std::atomic<bool> measuring_ {false};
    std::atomic<bool> liveStarted_ {false};
    std::atomic<bool> sampleStream_ {false};
    std::atomic<int> shotTotal_ {0};
    std::atomic<int> aimingTime_ {0};
    std::atomic<int> sampleCount_ {0};
    std::atomic<int64_t> firstSampleNs_ {0};
    std::atomic<int> pumpedTransfers_ {0};

    // Per reply type: frames received, and the count at arming (GUI thread).
    std::array<std::atomic<uint32_t>, MaxReplyType + 1> replyCounts_ {};
    std::array<uint32_t, MaxReplyType + 1> armedAt_ {};
    std::array<bool, MaxReplyType + 1> armed_ {};

    // ---- Under the lock ----
    // Reply slots, each the whole frame as received.
    SetupBlocks paramBlocks0to3_ {};
    std::array<std::array<uint8_t, 16>, 4> paramBlocks8to11_ {};
    std::array<std::array<uint8_t, 16>, 4> paramBlocks16to19_ {};
    std::array<uint8_t, 16> paramBlock56_ {};
    std::array<std::array<uint8_t, 20>, 8> infoRegs0to7_ {};
    std::array<uint8_t, 20> infoReg16_ {};
    std::array<uint8_t, 20> infoReg25_ {};
    std::array<uint8_t, 5> replyAck_ {};
    std::array<uint8_t, 20> replyShotBankCounts_ {};
    std::array<uint8_t, 16> replyError_ {};
    RawShotRecord replyShotResult_ {};
    TraceSample replyT0_ {};
    SampleT1 replyT1_ {};
    SampleT2 replyT2_ {};
    std::array<uint8_t, 21> reply11_ {};
    std::array<uint8_t, 20> reply13_ {};
    std::array<uint8_t, 20> reply14_ {};
    std::array<uint8_t, 20> reply16_ {};
    std::array<uint8_t, 21> reply19_ {};

    RawShotRecord lastResult_ {};
    TraceSample lastLiveSample_ {};
    DeviceSetup targetTables_ {};

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

    // A damaged shot result may be a lost shot or only line noise that looked
    // like one; the next result's shot number tells. Until then the rings are
    // kept, and what came after the damage is counted.
    struct DamagedResultMark {
        bool active = false;
        int storedSince = 0;       // records stored in the rings since the damage
        int aimingAtDamage = 0;    // aiming time when it happened
        bool aimingRestarted = false;
    };
    DamagedResultMark damaged_ {};
    int lastShotNumber_ = -1;      // of the last result; -1 before the first
    // A result arrived since the port opened or measuring or a download
    // began: only a gap after it is known to be a shot lost on the line (a
    // unit need not number from 1).
    std::atomic<bool> numberedThisRun_ {false};

    // Download bookkeeping.
    std::array<uint8_t, 20> downloadCounts_ {}; // the bank counts the download walks
    bool resultForRequest_ = false; // the current request was answered with a result
    bool requestRetried_ = false;   // ... and has been sent a second time
    int downloadReceived_ = 0;
    std::vector<TStoredShotRef> downloadMissing_;

    // Identify timer state.
    bool identifyTimerOn_ = false;
    int identifyTimerIntervalMs_ = 3000;
    int64_t identifyTimerDueMs_ = 0;
    int identifyTries_ = 0;
};

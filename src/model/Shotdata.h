// The session model: the session, its shooters and their shots.
#pragma once

#include "DeviceRecords.h"
#include "Setupdata.h"
#include "TraceAnalysis.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class TShooter;

// One shot: the unit's result record, the aiming trace and the cached trace
// analysis.
class TShot {
public:
    int shooterIndex = 0;
    TShooter* shooter = nullptr;     // owner, not owned
    TraceAnalysis analysis {};       // filled on demand by the grading
    bool analysisValid = false;
    RawShotRecord raw {};            // as received, or as rebuilt from a file
    uint32_t timeKey = 0;            // bytes 18-20, ticks of 1/66 s
    int aimingTime = 0;
    int shotNumber = 0;
    int index = 0;                   // position in the shooter's list when added
    int resultValue = 0;             // ring score x 10 (classic) or silhouette zone
    bool converted = false;          // positions already in 0.1 mm and scored: never convert again

    // Replaces any existing trace with n zeroed samples (none when n <= 0).
    void AllocateCurve(int n);
    int CurveCount() const { return int(curve_.size()); }
    // Null while there is no trace.
    TraceSample* Curve() { return curve_.empty() ? nullptr : curve_.data(); }
    const TraceSample* Curve() const { return curve_.empty() ? nullptr : curve_.data(); }

    // Start-up counter in the top byte, time key below: later unit start-ups
    // sort after everything earlier. Compared unsigned.
    uint32_t SortKey() const;

private:
    std::vector<TraceSample> curve_;
};

// One shooter of the session. The shot list is filled by a port's event
// thread while the GUI thread reads it, so every shot-list operation takes
// the shooter's lock. Shots are never removed one by one: a TShot* handed out
// stays valid until ClearShots or the shooter's destruction.
//
// The identity (serial number and setup blocks) is written by a unit's
// identification on its event thread while the GUI thread saves, draws or
// answers the network: it sits behind its own small lock and is only reached
// through the copy-out accessors below. That lock is a leaf: nothing else is
// taken while it is held, so it may be taken under a device's lock.
class TShooter {
public:
    // Index = shooter count of CurrentSession + 1 (1 without a session). The
    // shooter is not added to the session by this.
    TShooter();
    ~TShooter();
    TShooter(const TShooter&) = delete;
    TShooter& operator=(const TShooter&) = delete;

    QString name;
    QString team;
    int index = 0;
    DeviceSetup targets;             // this shooter's 16 + 16 target slots
    // Read by a device's event thread while it scores: a linked device's
    // owner sets it through TDevice::SetShooterTarget.
    TargetDescription currentTarget {};

    // ---- Identity (any thread; under the identity lock) ----
    // The serial number of the shooter's unit: the key shooters are found by.
    QString SerialNumber() const;
    void SetSerialNumber(const QString& serial);
    // General, classic, dynamic and further block of the unit's settings.
    SetupBlocks GetSetupBlocks() const;
    void SetSetupBlocks(const SetupBlocks& blocks);
    // One of the four blocks (SetupBlocks::ClassicBlock ...).
    void SetModeBlock(int block, const ModeBlock& mode);
    // Both at once, so no reader sees the name of one unit with the settings
    // of another.
    void SetIdentity(const QString& serial, const SetupBlocks& blocks);

    int ShotCount() const;
    // Throws "Invalid shot index" outside 0..ShotCount()-1. The pointer stays
    // valid until ClearShots.
    TShot* GetShot(int index) const;
    // Inserts in time order; an equal key goes before the shots already held.
    // Returns the shot (null for a null argument).
    TShot* AddShot(std::unique_ptr<TShot> shot);
    // Appends without sorting, for a list rebuilt in stored order. Sets only
    // the back pointer and the shooter index.
    TShot* AppendShot(std::unique_ptr<TShot> shot);
    // Index of the first shot whose record equals all 36 bytes, else -1.
    int FindShot(const RawShotRecord& record) const;
    void ClearShots();

    // Recomputes the defined flags from the shots' target indexes; without
    // shots the flags stay as they are. Returns the shot count.
    int UpdateDefinedTargets();
    // Copies slot from to slot to (the source stays) and re-points the shots
    // on from. Throws "Invalid target" for a slot outside 0..15.
    void MoveTarget(int from, int to, bool silhouette);
    // The target of a shot from this shooter's tables. On error the output is
    // left zeroed.
    void GetShotTarget(const TShot& shot, TargetDescription& out) const;
    // Ring: the device parameters (bytes 16-31) decide, not the name.
    // Silhouette: the name decides.
    bool ShotTargetEquals(const TShot& shot, const TargetDescription& target) const;

    // Calls f(TShot&) for every shot in order, under the lock. f may read this
    // shooter (the lock is recursive) but must not add or clear shots, and
    // should be short: the event thread waits for it.
    template <class F>
    void ForEachShot(F&& f) const
    {
        std::lock_guard<std::recursive_mutex> lock(shotsLock_);
        for (TShot* shot : shots_)
            f(*shot);
    }
    // The shots in order at this moment.
    std::vector<TShot*> SnapshotShots() const;

private:
    mutable std::mutex identityLock_;
    QString serialNumber_;
    SetupBlocks setupBlocks_ {};

    mutable std::recursive_mutex shotsLock_;
    std::vector<std::unique_ptr<TShot>> owned_; // arrival order, never reordered
    std::vector<TShot*> shots_;                 // time order
    bool mayBeUnsorted_ = false;                // set by AppendShot, cleared once seen sorted
};

// Called on the GUI thread before a shooter leaves a session (deleted with
// it, by DeleteShooters, or handed out by TakeShooter), so that whatever still
// links to it (a device whose event thread stores shots into it) lets go
// first. One hook for every session; the device manager installs it while it
// lives. Empty: nothing to tell.
using TShooterLeavingHook = std::function<void(TShooter* shooter)>;
void SetShooterLeavingHook(TShooterLeavingHook hook);

// The session: its name, date, target table and shooters. The shooter list
// belongs to the GUI thread.
class TSession {
public:
    TSession();
    ~TSession();
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    QString name;
    QString date;
    DeviceSetup targets;

    int ShooterCount() const { return int(shooters_.size()); }
    // Null for an index outside 0..ShooterCount()-1.
    TShooter* GetShooter(int index) const;
    // First shooter whose serial number equals serial exactly; the name is
    // not consulted.
    TShooter* FindShooter(const QString& serial) const;
    TShooter* AddShooter(std::unique_ptr<TShooter> shooter);
    // Takes the shooter out of the list and hands it back (null when absent).
    // The leaving hook runs first.
    std::unique_ptr<TShooter> TakeShooter(TShooter* shooter);
    // Deletes every shooter, last first, each after the leaving hook.
    void DeleteShooters();

private:
    std::vector<std::unique_ptr<TShooter>> shooters_;
};

// The one current session, created at program start.
extern TSession* CurrentSession;

// Set when shots arrive (live intake, monitor), cleared by every save and by
// closing the session. Written from the ports' event threads.
extern std::atomic<bool> SessionUnsaved;

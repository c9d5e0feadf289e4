#include "Shotdata.h"

#include <algorithm>
#include <cstring>
#include <utility>

TSession* CurrentSession = nullptr;
std::atomic<bool> SessionUnsaved {false};

namespace {

// GUI thread only, like the session lists it guards.
TShooterLeavingHook& LeavingHook()
{
    static TShooterLeavingHook hook;
    return hook;
}

void ShooterLeaving(TShooter* shooter)
{
    if (shooter && LeavingHook())
        LeavingHook()(shooter);
}

} // namespace

void SetShooterLeavingHook(TShooterLeavingHook hook)
{
    LeavingHook() = std::move(hook);
}

namespace {

constexpr int RingIndexByte = 14;
constexpr int SilhouetteIndexByte = 15;
constexpr int FunctionModeByte = 16;
constexpr int StartupCounterByte = 17;
constexpr int TimeByte = 18;
constexpr int ScoreByte = 24;
constexpr int SilhouetteZoneByte = 26;

// Indexes of 128 and above (the unit sends 255) mean "no target of that kind".
constexpr int NoTargetFrom = 128;

bool IsSlot(int index)
{
    return index >= 0 && index < DeviceSetup::SlotCount;
}

uint32_t TimeKeyOf(const RawShotRecord& r)
{
    return (uint32_t(r.b[TimeByte]) << 16) | (uint32_t(r.b[TimeByte + 1]) << 8) | r.b[TimeByte + 2];
}

// Grows geometrically, like push_back would.
template <class T>
void ReserveOneMore(std::vector<T>& v)
{
    if (v.size() == v.capacity())
        v.reserve(std::max<std::size_t>(4, 2 * v.capacity()));
}

} // namespace

// ---- TShot ---------------------------------------------------------------------

void TShot::AllocateCurve(int n)
{
    std::vector<TraceSample> fresh(static_cast<std::size_t>(std::max(n, 0)));
    curve_.swap(fresh);
}

uint32_t TShot::SortKey() const
{
    return (uint32_t(raw.b[StartupCounterByte]) << 24) | TimeKeyOf(raw);
}

// ---- TShooter ------------------------------------------------------------------

TShooter::TShooter()
    : index(CurrentSession ? CurrentSession->ShooterCount() + 1 : 1)
{
}

TShooter::~TShooter() = default;

QString TShooter::SerialNumber() const
{
    std::lock_guard<std::mutex> lock(identityLock_);
    return serialNumber_;
}

void TShooter::SetSerialNumber(const QString& serial)
{
    std::lock_guard<std::mutex> lock(identityLock_);
    serialNumber_ = serial;
}

SetupBlocks TShooter::GetSetupBlocks() const
{
    std::lock_guard<std::mutex> lock(identityLock_);
    return setupBlocks_;
}

void TShooter::SetSetupBlocks(const SetupBlocks& blocks)
{
    std::lock_guard<std::mutex> lock(identityLock_);
    setupBlocks_ = blocks;
}

void TShooter::SetModeBlock(int block, const ModeBlock& mode)
{
    std::lock_guard<std::mutex> lock(identityLock_);
    setupBlocks_.SetModeBlock(block, mode);
}

void TShooter::SetIdentity(const QString& serial, const SetupBlocks& blocks)
{
    std::lock_guard<std::mutex> lock(identityLock_);
    serialNumber_ = serial;
    setupBlocks_ = blocks;
}

int TShooter::ShotCount() const
{
    std::lock_guard<std::recursive_mutex> lock(shotsLock_);
    return int(shots_.size());
}

TShot* TShooter::GetShot(int i) const
{
    std::lock_guard<std::recursive_mutex> lock(shotsLock_);
    if (i < 0 || i >= int(shots_.size()))
        throw Exception("Invalid shot index");
    return shots_[i];
}

TShot* TShooter::AddShot(std::unique_ptr<TShot> shot)
{
    if (!shot)
        return nullptr;
    const RawShotRecord& r = shot->raw;
    shot->shotNumber = r.b[2];
    shot->resultValue = r.b[FunctionModeByte] == 1 ? r.b[ScoreByte] : r.b[SilhouetteZoneByte];
    shot->timeKey = TimeKeyOf(r);
    shot->shooterIndex = index;
    shot->shooter = this;
    const uint32_t key = shot->SortKey();

    std::lock_guard<std::recursive_mutex> lock(shotsLock_);
    shot->index = int(shots_.size());
    // Before the first shot with an equal or later key. On a sorted list that
    // is the lower bound; a list appended in stored order may not be sorted,
    // and then only a walk from the start finds that place.
    const auto byKey = [](const TShot* a, const TShot* b) { return a->SortKey() < b->SortKey(); };
    if (mayBeUnsorted_)
        mayBeUnsorted_ = !std::is_sorted(shots_.begin(), shots_.end(), byKey);
    // Room in both lists first, so a failed allocation loses nothing.
    ReserveOneMore(owned_);
    ReserveOneMore(shots_);
    auto at = mayBeUnsorted_
        ? std::find_if(shots_.begin(), shots_.end(), [key](const TShot* s) { return s->SortKey() >= key; })
        : std::lower_bound(shots_.begin(), shots_.end(), key, [](const TShot* s, uint32_t k) { return s->SortKey() < k; });
    TShot* added = shot.get();
    shots_.insert(at, added);
    owned_.push_back(std::move(shot));
    return added;
}

TShot* TShooter::AppendShot(std::unique_ptr<TShot> shot)
{
    if (!shot)
        return nullptr;
    shot->shooterIndex = index;
    shot->shooter = this;
    std::lock_guard<std::recursive_mutex> lock(shotsLock_);
    ReserveOneMore(owned_);
    ReserveOneMore(shots_);
    TShot* added = shot.get();
    shots_.push_back(added);
    owned_.push_back(std::move(shot));
    mayBeUnsorted_ = true; // the caller may still be filling the record
    return added;
}

int TShooter::FindShot(const RawShotRecord& record) const
{
    std::lock_guard<std::recursive_mutex> lock(shotsLock_);
    for (std::size_t i = 0; i < shots_.size(); ++i) {
        if (shots_[i]->raw == record)
            return int(i);
    }
    return -1;
}

void TShooter::ClearShots()
{
    std::lock_guard<std::recursive_mutex> lock(shotsLock_);
    shots_.clear();
    owned_.clear();
    mayBeUnsorted_ = false;
}

std::vector<TShot*> TShooter::SnapshotShots() const
{
    std::lock_guard<std::recursive_mutex> lock(shotsLock_);
    return shots_;
}

int TShooter::UpdateDefinedTargets()
{
    std::lock_guard<std::recursive_mutex> lock(shotsLock_);
    if (shots_.empty())
        return 0;
    targets.ringDefined.fill(0);
    targets.silhouetteDefined.fill(0);
    for (const TShot* shot : shots_) {
        const int ring = shot->raw.b[RingIndexByte];
        const int silhouette = shot->raw.b[SilhouetteIndexByte];
        if (IsSlot(ring))
            targets.ringDefined[ring] = 1;
        if (IsSlot(silhouette))
            targets.silhouetteDefined[silhouette] = 1;
    }
    return int(shots_.size());
}

void TShooter::MoveTarget(int from, int to, bool silhouette)
{
    if (!IsSlot(from) || !IsSlot(to))
        throw Exception("Invalid target");
    std::lock_guard<std::recursive_mutex> lock(shotsLock_);
    if (silhouette) {
        targets.silhouetteTargets[to] = targets.silhouetteTargets[from];
        targets.silhouetteMatrices[to] = std::as_const(targets.silhouetteMatrices)[from];
        targets.silhouetteDefined[to] = 1;
    } else {
        targets.ringTargets[to] = targets.ringTargets[from];
        targets.ringDefined[to] = 1;
    }
    const int byte = silhouette ? SilhouetteIndexByte : RingIndexByte;
    for (TShot* shot : shots_) {
        if (shot->raw.b[byte] == from)
            shot->raw.b[byte] = uint8_t(to);
    }
}

void TShooter::GetShotTarget(const TShot& shot, TargetDescription& out) const
{
    out.Clear();
    std::lock_guard<std::recursive_mutex> lock(shotsLock_);
    const int ring = shot.raw.b[RingIndexByte];
    const int silhouette = shot.raw.b[SilhouetteIndexByte];
    const bool hasRing = ring < NoTargetFrom;
    const bool hasSilhouette = silhouette < NoTargetFrom;
    // Check everything before filling, so a failure leaves the output zeroed.
    if (hasRing && (!IsSlot(ring) || !targets.ringDefined[ring]))
        throw Exception("Invalid ring target on shot (not defined on shooter)");
    if (hasSilhouette && (!IsSlot(silhouette) || !targets.silhouetteDefined[silhouette]))
        throw Exception("Invalid silhouette target on shot (not defined on shooter)");
    if (!hasRing && !hasSilhouette)
        throw Exception("Invalid target");
    if (hasRing) {
        out.hasRing = 1;
        out.ringRecord = targets.ringTargets[ring];
    }
    if (hasSilhouette) {
        out.hasSilhouette = 1;
        out.silhouetteRecord = targets.silhouetteTargets[silhouette];
        out.silhouetteMatrix = targets.silhouetteMatrices[silhouette];
    }
}

bool TShooter::ShotTargetEquals(const TShot& shot, const TargetDescription& target) const
{
    std::lock_guard<std::recursive_mutex> lock(shotsLock_);
    const int ring = shot.raw.b[RingIndexByte];
    const int silhouette = shot.raw.b[SilhouetteIndexByte];
    if (target.hasRing && IsSlot(ring)) {
        // The first device block: the ring geometry, not the name.
        return std::memcmp(targets.ringTargets[ring].data() + 16, target.ringRecord.data() + 16, 16) == 0;
    }
    if (target.hasSilhouette && IsSlot(silhouette))
        return std::memcmp(targets.silhouetteTargets[silhouette].data(), target.silhouetteRecord.data(), 16) == 0;
    return false;
}

// ---- TSession --------------------------------------------------------------------

TSession::TSession() = default;

TSession::~TSession()
{
    DeleteShooters();
}

TShooter* TSession::GetShooter(int i) const
{
    if (i < 0 || i >= int(shooters_.size()))
        return nullptr;
    return shooters_[i].get();
}

TShooter* TSession::FindShooter(const QString& serial) const
{
    for (const auto& shooter : shooters_) {
        if (shooter->SerialNumber() == serial)
            return shooter.get();
    }
    return nullptr;
}

TShooter* TSession::AddShooter(std::unique_ptr<TShooter> shooter)
{
    if (!shooter)
        return nullptr;
    TShooter* added = shooter.get();
    shooters_.push_back(std::move(shooter));
    return added;
}

std::unique_ptr<TShooter> TSession::TakeShooter(TShooter* shooter)
{
    auto it = std::find_if(shooters_.begin(), shooters_.end(),
        [shooter](const std::unique_ptr<TShooter>& s) { return s.get() == shooter; });
    if (it == shooters_.end())
        return nullptr;
    ShooterLeaving(shooter);
    std::unique_ptr<TShooter> taken = std::move(*it);
    shooters_.erase(it);
    return taken;
}

void TSession::DeleteShooters()
{
    while (!shooters_.empty()) {
        ShooterLeaving(shooters_.back().get());
        shooters_.pop_back();
    }
}

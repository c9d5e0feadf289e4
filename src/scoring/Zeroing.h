// The zero of a unit (the offset that moves the point of aim onto the centre)
// and the conversion of shots fetched by a download, which arrive with raw
// positions and no score.
#pragma once

#include "DeviceRecords.h"
#include "Setupdata.h"

#include <QString>

#include <array>

class TShooter;

// The zeroing history and offsets a device holds. Offsets are in raw units.
class ZeroState {
public:
    static constexpr int HistoryDepth = 3;
    // Means at this distance from the centre or more are not taken (a radius
    // of 3750 raw units, squared).
    static constexpr double MaxOffsetSquared = 1.40625e7;

    // Newest first; an entry is filled while its first byte is non-zero.
    std::array<RawShotRecord, HistoryDepth> history {};
    double offsetX = 0;
    double offsetY = 0;
    double previousX = 0;
    double previousY = 0;

    // Keeps a valid result (failures byte 0) as the newest entry; flagged
    // results are ignored.
    void RememberZeroingResult(const RawShotRecord& result);
    // Keeps the current offsets to come back to.
    void SaveZero();
    // Mean of the filled, valid entries becomes the offset (previous offsets
    // when the mean lies too far out, 0 without any); empties the history.
    bool ComputeZero();
    void ClearZeroOffsets();

    bool HasOffset() const { return offsetX != 0 || offsetY != 0; }
    int FilledEntries() const;
};

// Result of converting a shooter's downloaded shots.
struct RescoreReport {
    int converted = 0;  // shots converted by this call
    int skipped = 0;    // classic shots left as they were: no usable target
    QString error;      // "Bad target number" when any shot was skipped, else empty
};

// Converts every classic shot of shooter that is not converted yet: trace and
// positions to 0.1 mm with the scale of its own target from tables, and the
// ring score when it names a ring target (that ring becomes currentTarget's
// ring, as the device's current target). A shot whose target number is not a
// slot, or names a slot that was never read, is skipped and reported once in
// the returned error; the other shots are still converted. Dynamic shots and
// shots converted before are left alone.
RescoreReport RescoreDownloadedShots(TShooter& shooter, const DeviceSetup& tables, TargetDescription& currentTarget);

// Scoring of one shot result from a unit: angles in degrees, the raw-unit to
// millimetre scale, positions in 0.1 mm, the decimal ring score with clock
// sector and inner ten, the silhouette zone, the conversion of the aiming
// trace and the creation of the TShot. Everything here is a plain function
// of its inputs so the device object only has to hold the state and call it
// on its event thread. Conversions from floating point truncate toward zero.
#pragma once

#include "DeviceRecords.h"
#include "Setupdata.h"

#include <QString>

#include <span>

class TShooter;
class TShot;
class ZeroState;

namespace ShotScoring {

// Device modes of a running measurement.
constexpr int ClassicMode = 1;
constexpr int DynamicMode = 2;

// Slots of each sample ring and the number of sample records ignored after a
// live shot (the recoil).
constexpr int SampleRingSize = 200;
constexpr int PostShotDropCount = 20;

// ---- Angles ------------------------------------------------------------------

// The unit sends sine x 1000; the result is whole degrees. The factor is
// 180/3.14 (not 180/pi) because the unit's own display uses it.
int AngleFromSine(int sineTimes1000);
// Rotation first, then tilt, written back as signed 16-bit values.
void ConvertAngles(RawShotRecord& result);
void ConvertAngles(TraceSample& sample);

// Bit 2 of the flags byte says FOV and FSI do not count: clears both when set.
void ClearIgnoredFailures(RawShotRecord& result);

// ---- Scale: millimetres per raw unit ----------------------------------------------

// Classic training: from the target's distance, less the 0.75 m between the
// unit and the muzzle. Yards when CTRL1 bit 4 is set.
double ClassicK(int nominalDistance, bool yards);
double ClassicK(const RingTargetRecord& ring);
double ClassicK(const SilhouetteTargetRecord& silhouette);
// Dynamic training: from the distance the unit measured (Revalm, 0.1 m).
double DynamicK(const RawShotRecord& result);
// A scale that is not a positive finite number (a distance of 0.75 m or less,
// no target) cannot place a hit: such shots score as a miss.
bool UsableK(double k);

// raw x offset, truncated and kept inside a signed 16-bit field.
int ZeroCorrected(int raw, double offset);

// trunc(value), saturated into 16 bits; overflowed tells whether it did not fit.
int16_t Store16(double value, bool& overflowed);

// Scales X and Y of a sample from raw units to 0.1 mm by (v x k x 10). A value
// that does not fit 16 bits is stored saturated and flags the sample (bit 4).
void ScaleSampleLive(TraceSample& sample, double k);
// The same with the factor order of the download conversion (10 x k x v).
void ScaleSampleDownloaded(TraceSample& sample, double k);

// ---- Ring score, sector, silhouette zone ---------------------------------------------

// Clock sector 1-12 of a hit at (x, y) mm, 12 straight up, 3 to the right.
int ClockSector(double x, double y);

// Caliber in mm (CTRL1 bit 5: the field is in 0.001 inch).
double CaliberMm(const RingTargetRecord& ring);

// Outer radius of ring n in mm on the given record; negative when the ring
// has no defined diameter (variable gaps more than 11 rings below the highest).
double RingRadius(const RingTargetRecord& ring, int n);

// Decimal score of a hit at distance r mm from the centre (0 for a miss).
double DecimalScore(const RingTargetRecord& ring, double r);

// Writes score (byte 24), sector (byte 25 bits 0-3) and inner ten (bit 7) on
// target's ring. Throws Exception "Calculating score and sector for non-ring
// target" when the target has no ring.
void CalcRingScoreAndSector(RawShotRecord& result, const TargetDescription& target);

// Writes the zone (byte 26) from target's silhouette matrix. Throws Exception
// "Calculating silhouette score for non-silhouette target" or "Calculating
// silhouette score for non-classic target".
void CalcSilhouetteZone(RawShotRecord& result, const TargetDescription& target);

// ---- Intake of one result -----------------------------------------------------------

// The device state the intake reads.
struct ShotIntakeContext {
    int mode = 0;                                    // 1 classic, 2 dynamic
    bool liveStarted = false;                        // live training: convert and score on receipt
    bool zeroing = false;                            // keep the result for the zero instead of storing it
    const TargetDescription* currentTarget = nullptr; // the device's current target
    const TargetDescription* shooterTarget = nullptr; // the shooter's target; null without a shooter
};

// What the device does next.
struct ShotIntakeOutcome {
    RawShotRecord lastResult {};  // the record after the failure rule, before conversion
    bool dropSamples = false;     // ignore the next PostShotDropCount sample records
    bool rememberedForZeroing = false;
    bool addShot = false;         // AddShotFromResult, then mark the session unsaved
    bool converted = false;       // positions are in 0.1 mm and scored (TShot::converted)
    QString scoringError;         // empty, or what made the shot stay unscored (already logged)
};

// Steps up to the storing of the shot: failure rule, angles, and for a live
// shot the target indexes, the zero correction, positions in 0.1 mm, ring
// score and sector, silhouette zone and the conversion of the T0 ring (every
// slot). While zeroing the result goes into zero's history instead.
// result is changed in place. A scoring failure does not escape: the shot
// keeps the bytes the unit sent for that score, the failure is logged through
// DebugLog and returned in scoringError. Without a shooter nothing is scored
// and nothing is to be stored.
ShotIntakeOutcome OnShotResult(RawShotRecord& result, const ShotIntakeContext& context, ZeroState& zero,
                               std::span<TraceSample> t0Ring);

// The aiming trace in the ring, oldest first: the whole ring from index on
// when wrapped, else the first index slots.
int TraceLength(std::span<const TraceSample> t0Ring, int ringIndex, bool wrapped);
void CopyTrace(std::span<const TraceSample> t0Ring, int ringIndex, bool wrapped, TShot& shot);

// Creates the TShot of result with the ring's trace and adds it to shooter.
// A result that the shooter already holds (all 36 bytes equal) adds nothing:
// returns null then.
TShot* AddShotFromResult(TShooter& shooter, const RawShotRecord& result, std::span<const TraceSample> t0Ring,
                         int ringIndex, bool wrapped, int aimingTime, bool converted);

} // namespace ShotScoring

// The setup editor's value rules without widgets: range checks, unit
// conversions, the fixed-point forms of the device records, the preview's
// field of view, and the silhouette picture's colour classification.
//
// Pure functions; the frames call them and tests check them directly.
#pragma once

#include "DeviceRecords.h"
#include "Prompts.h"
#include "Setupdata.h"

#include <QImage>
#include <QString>

#include <array>
#include <cstdint>

namespace EditSetupValues {

// Unit factors of the editor's switches.
constexpr double YardsPerMetre = 1.0936132983377078;
constexpr double MetresPerYard = 0.9144;
constexpr double InchPerMm = 0.03937007874015748;
constexpr double MmPerInch = 25.4;
constexpr double InchPerCm = 0.39370078740157477;
constexpr double CmPerInch = 2.54;

// The largest value the stored 16-bit fields take.
constexpr int MaxUnsigned16 = 65535;
constexpr int MaxSigned16 = 32767;

// The value in fixed notation with the given decimals and the decimal
// separator in use ("0.0" is FormatFixed(v, 1)).
QString FormatFixed(double value, int decimals);
// A text read with either separator; false when it is no number.
bool ReadNumber(const QString& text, double& value);
// The text's number, 0 when it is none.
double NumberOr0(const QString& text);
// True when text is a number within [min, max] (both ends inclusive).
bool InRange(const QString& text, double min, double max);
// "An invalid value has been entered. ..." translated and filled with the bounds.
QString RangeMessage(double min, double max);

// The largest typed value whose stored form, value x scale truncated, still
// fits limit; cut to one decimal so the range message shows it exactly.
double FitBound(double max, double scale, int limit = MaxUnsigned16);

// Text -> the stored integer: value x 10^power10, snapped then truncated.
int StoredValue(const QString& text, int power10);

// The text converted by factor and written with decimals; a text that is no
// number stays as it is.
QString ConvertText(const QString& text, double factor, int decimals);

// Cocking delay: seconds <-> the byte in tenths (0.25 s stores 3).
int CockingDelayByte(double seconds);
QString CockingDelayText(int byte);

// The trigger-sensitivity arrows: where a click leaves the slider and which
// arrow it disables (the other one is enabled again when the slider moved).
struct TTriggerStep {
    int position = 0;
    bool moved = false;
};
TTriggerStep TriggerStepDown(int position);  // below 30: stays, Dec disabled
TTriggerStep TriggerStepUp(int position);    // above 235: stays, Inc disabled

// Rows of custom ring diameters the record uses: highest minus lowest ring,
// never more than the record holds (a file or unit may give more).
int CustomRingRows(const RingTargetRecord& ring);

// The outer diameter of the lowest ring in mm as the preview frames it; 0
// without a ring.
double RingFieldMm(const TargetDescription& target);
// The silhouette's side in mm; 0 without a silhouette.
double SilhouetteFieldMm(const TargetDescription& target);
// The preview's zoom field: the larger of the two, truncated.
int PreviewZoomField(const TargetDescription& target);

// The four hit-area colours (0x00BBGGRR), indexed by zone: miss, hit,
// fatal, near.
using THitAreaColors = std::array<uint32_t, 4>;
THitAreaColors DefaultHitAreaColors();
// The zone whose colour is closest (sum of the component differences);
// ties go to the lower zone.
int ColorToHitArea(const THitAreaColors& colors, uint32_t bgr);
// The 64 x 64 zone map of a picture: each cell takes the zone most of its
// pixels show (ties: the lower zone; a cell without pixels: 0). The whole
// matrix is cleared first.
void ImportZoneMap(const QImage& picture, const THitAreaColors& colors, SilhouetteMatrix& matrix);

// "default.setup.xml" in any folder and letter case: the shipped list, which
// is never overwritten.
bool IsDefaultSetupFile(const QString& path);
// The open or save dialog of setup files in the Setups folder, with the
// proposed file name when one is given.
TFileRequest SetupFileRequest(const QString& caption, const QString& fileName = QString());

} // namespace EditSetupValues

#include "EditSetupValues.h"

#include "AppPaths.h"
#include "Globals.h"
#include "Targetrenderer.h"
#include "Translation.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace EditSetupValues {

QString FormatFixed(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (DecimalSeparator() != QLatin1Char('.'))
        text.replace(QLatin1Char('.'), DecimalSeparator());
    return text;
}

bool ReadNumber(const QString& text, double& value) { return TryStrToFloatLocale(text, value); }

double NumberOr0(const QString& text)
{
    double value = 0;
    return ReadNumber(text, value) ? value : 0.0;
}

bool InRange(const QString& text, double min, double max)
{
    double value = 0;
    return ReadNumber(text, value) && value >= min && value <= max;
}

QString RangeMessage(double min, double max)
{
    const QString format =
        Translate(QStringLiteral("An invalid value has been entered. The value should be between %.1f and %.1f."));
    return FormatDisplayText(format, {min, max});
}

double FitBound(double max, double scale, int limit)
{
    const double fits = std::floor(limit / scale * 10.0) / 10.0;
    return std::min(max, fits);
}

int StoredValue(const QString& text, int power10)
{
    double value = 0;
    if (!ReadNumber(text, value))
        return 0;
    return int(std::clamp<long long>(ScaledTrunc(value, power10), -0x7FFFFFFFLL, 0x7FFFFFFFLL));
}

QString ConvertText(const QString& text, double factor, int decimals)
{
    double value = 0;
    if (!ReadNumber(text, value))
        return text;
    return FormatFixed(value * factor, decimals);
}

int CockingDelayByte(double seconds) { return int(SnapTrunc((seconds + 0.05) * 10.0) & 0xFF); }

QString CockingDelayText(int byte) { return FloatToStrLocale(byte * 0.1); }

TTriggerStep TriggerStepDown(int position)
{
    if (position < 30)
        return {position, false};
    return {position - 20, true};
}

TTriggerStep TriggerStepUp(int position)
{
    if (position > 235)
        return {position, false};
    return {position + 20, true};
}

int CustomRingRows(const RingTargetRecord& ring)
{
    return std::clamp(ring.HighestRing() - ring.MinimumRing(), 0, RingTargetRecord::VariableRingCount);
}

double RingFieldMm(const TargetDescription& target)
{
    if (!target.hasRing)
        return 0.0;
    const RingTargetRecord& ring = target.ringRecord;
    const double unit = ring.SizesInInch() ? 0.254 : 0.1;
    const int top = ring.HighestRing();
    const int lowest = ring.MinimumRing();
    double outer = 0;
    if (ring.VariableRingGaps()) {
        const int n = std::min(top - lowest, RingTargetRecord::VariableRingCount);
        outer = n <= 0 ? ring.DiameterHighestRing() : ring.DiameterVariableHminus(n);
    } else {
        outer = ring.DiameterHighestRing() + 2.0 * ring.HitRingGap() * (top - lowest);
    }
    return outer * unit;
}

double SilhouetteFieldMm(const TargetDescription& target)
{
    if (!target.hasSilhouette)
        return 0.0;
    const SilhouetteTargetRecord& s = target.silhouetteRecord;
    return double(uint16_t(SaturatingCast<int>(s.Size() * (s.SizeInInch() ? 2.54 : 1.0))));
}

int PreviewZoomField(const TargetDescription& target)
{
    return SaturatingCast<int>(std::max(RingFieldMm(target), SilhouetteFieldMm(target)));
}

THitAreaColors DefaultHitAreaColors() { return {0xFFFFFF, 0x000000, 0x0000FF, 0x808080}; }

int ColorToHitArea(const THitAreaColors& colors, uint32_t bgr)
{
    auto distance = [bgr](uint32_t c) {
        int sum = 0;
        for (int shift : {0, 8, 16})
            sum += std::abs(int((bgr >> shift) & 0xFF) - int((c >> shift) & 0xFF));
        return sum;
    };
    int best = 0;
    for (int zone = 1; zone < 4; ++zone)
        if (distance(colors[std::size_t(zone)]) < distance(colors[std::size_t(best)]))
            best = zone;
    return best;
}

void ImportZoneMap(const QImage& picture, const THitAreaColors& colors, SilhouetteMatrix& matrix)
{
    matrix.Clear();
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const int w = image.width();
    const int h = image.height();
    for (int c = 0; c < SilhouetteMatrix::Columns; ++c) {
        for (int r = 0; r < SilhouetteMatrix::Rows; ++r) {
            std::array<int, 4> counts {};
            for (int x = c * w / 64; x < (c + 1) * w / 64; ++x) {
                for (int y = r * h / 64; y < (r + 1) * h / 64; ++y) {
                    const QRgb p = reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
                    const uint32_t bgr = uint32_t(qRed(p)) | uint32_t(qGreen(p)) << 8 | uint32_t(qBlue(p)) << 16;
                    ++counts[std::size_t(ColorToHitArea(colors, bgr))];
                }
            }
            int zone = 0;
            for (int z = 1; z < 4; ++z)
                if (counts[std::size_t(z)] > counts[std::size_t(zone)])
                    zone = z;
            matrix.SetCell(c, r, zone);
        }
    }
}

bool IsDefaultSetupFile(const QString& path)
{
    return QFileInfo(path).fileName().toLower() == QLatin1String("default.setup.xml");
}

TFileRequest SetupFileRequest(const QString& caption, const QString& fileName)
{
    TFileRequest request;
    request.caption = Translate(caption);
    request.folder = SetupsFolder();
    request.fileName = fileName;
    request.filters = QStringList {QStringLiteral("TRAXEL Setup File (*.setup.xml)")};
    request.defaultSuffix = QStringLiteral("setup.xml");
    return request;
}

} // namespace EditSetupValues

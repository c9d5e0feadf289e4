// The target renderer object: colour table, layers, the mm-to-pixel map,
// the zoom field and the animated pan and zoom.
#include "Targetrenderer.h"

#include "AppPaths.h"
#include "Clock.h"
#include "GradingPanel.h"
#include "GradingParameters.h"
#include "ShotGrading.h"
#include "ShotScoring.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <cassert>
#include <cstring>

namespace {

constexpr std::array<uint32_t, TTargetRenderer::ColourCount> DefaultColours = {
    0x808080, 0x404040, 0xC0C0C0, 0x808080, 0x00FFFF, 0x00FFFF, 0xC0C0C0, 0x404040,
    0x0000E0, 0x808080, 0xE0FFFF, 0xFFFFFF, 0x0000FF, 0x0000FF, 0xFFFFFF, 0x00FFFF,
    0x0000FF, 0xFFFF00, 0xFFFF00, 0x00FFFF, 0xFFFFFF, 0x00FF00, 0x00FFFF, 0xFFFF00,
};

// Distance fields are in 0.1 m, or 0.1 yd with the yards bit.
double DistanceM(int field, bool yards)
{
    return field * (yards ? 0.09144 : 0.1);
}

TGradingReporterFactory& ReporterFactory()
{
    static TGradingReporterFactory factory;
    return factory;
}

GradingReporter GradingReporterFor(const QString& path)
{
    if (ReporterFactory())
        return ReporterFactory()(path);
    return [](const QString& text, const QString& caption) { DebugLog(caption + QStringLiteral(": ") + text); };
}

// What the grading file put into the program's one set of parameters when
// a renderer last read it, and which version of the file that was.
struct TGradingFileLoad {
    QString key;
    TGradingParameters parameters;
    TGradingTables tables;
};

TGradingFileLoad& LastGradingLoad()
{
    static TGradingFileLoad load;
    return load;
}

// The path, its time stamp and size: an edited file is read again. Empty
// for a missing file.
QString GradingFileKey(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    return path + QLatin1Char('|') + QString::number(info.lastModified().toMSecsSinceEpoch()) + QLatin1Char('|')
        + QString::number(info.size());
}

bool SameTables(const TGradingTables& a, const TGradingTables& b)
{
    return a.gradeCount == b.gradeCount && a.tireCount == b.tireCount && a.dtcCtCount == b.dtcCtCount
        && a.ctrRtvCount == b.ctrRtvCount && a.grade == b.grade && a.tire == b.tire && a.dtcCt == b.dtcCt
        && a.ctrRtv == b.ctrRtv;
}

// Every renderer loads the grading file, and a session opens one viewer per
// shooter: the file is read again only when it changed, or when the
// parameters no longer hold what it gave (another file was loaded, or they
// were reset). Only a read without a report is kept, so a bad file is
// reported as often as before.
void LoadGradingForPanel(GradingSelection& selection, const QString& path)
{
    TGradingFileLoad& last = LastGradingLoad();
    const QString key = GradingFileKey(path);
    if (!key.isEmpty() && key == last.key && GradingParameters == last.parameters
        && SameTables(GradingTables, last.tables))
        return;
    last.key.clear();
    bool reported = false;
    const GradingReporter report = GradingReporterFor(path);
    LoadGradingParameterFile(selection, path, [&](const QString& text, const QString& caption) {
        reported = true;
        if (report)
            report(text, caption);
    });
    if (reported || key.isEmpty() || key != GradingFileKey(path))
        return;
    last.key = key;
    last.parameters = GradingParameters;
    last.tables = GradingTables;
}

} // namespace

void SetGradingReporterFactory(TGradingReporterFactory factory)
{
    ReporterFactory() = std::move(factory);
}

TTargetRenderer::TTargetRenderer()
{
    for (int i = 0; i < ColourCount; ++i)
        Colours[std::size_t(i)] = TColor(DefaultColours[std::size_t(i)]);
    StaticLayer = NewLayer(0, 0);
    DisplayLayer = NewLayer(0, 0);

    GradingPanel = std::make_unique<TFrameTrafficLights>();
    // A bad grading file must not stop the view from coming up.
    const QString gradingFile = AppFolder() + QStringLiteral("/grading_default.tgp");
    LoadGradingForPanel(GradingPanel->selection, gradingFile);
    SelectGradingRow(GradingPanel->selection, 1, 0);
}

TTargetRenderer::~TTargetRenderer()
{
    // Painters end before their layers go.
    staticCanvas_.reset();
    displayCanvas_.reset();
}

// ---- Painting ----------------------------------------------------------------------

TTargetRenderer::TPaintScope::TPaintScope(TTargetRenderer& renderer)
    : renderer_(renderer)
{
    ++renderer_.paintDepth_;
}

TTargetRenderer::TPaintScope::~TPaintScope()
{
    if (--renderer_.paintDepth_ == 0)
        renderer_.EndPaint();
}

void TTargetRenderer::EndPaint()
{
    staticCanvas_.reset();
    displayCanvas_.reset();
}

TCanvas& TTargetRenderer::StaticCanvas()
{
    assert(paintDepth_ > 0 && "drawing outside a TPaintScope");
    if (!staticCanvas_)
        staticCanvas_ = std::make_unique<TCanvas>(StaticLayer);
    return *staticCanvas_;
}

TCanvas& TTargetRenderer::DisplayCanvas()
{
    assert(paintDepth_ > 0 && "drawing outside a TPaintScope");
    if (!displayCanvas_)
        displayCanvas_ = std::make_unique<TCanvas>(DisplayLayer);
    return *displayCanvas_;
}

void TTargetRenderer::CopyStaticLayer()
{
    // The raster painter writes straight into the image memory, so a plain
    // copy of the pixels is seen by an open display canvas too. Neither layer
    // is shared with another QImage (they never leave by value while open).
    if (DisplayLayer.size() != StaticLayer.size() || DisplayLayer.format() != StaticLayer.format()) {
        displayCanvas_.reset();
        DisplayLayer = StaticLayer.copy();
        return;
    }
    // The animation picture's pass draws both layers in one memory.
    if (StaticLayer.isNull() || StaticLayer.constBits() == DisplayLayer.constBits())
        return;
    const QImage& source = StaticLayer;
    std::memcpy(DisplayLayer.bits(), source.constBits(), std::size_t(source.sizeInBytes()));
}

TColor TTargetRenderer::Colour(int slot) const
{
    if (slot < 0 || slot >= ColourCount)
        return clBlack;
    return Colours[std::size_t(slot)];
}

// ---- Geometry ------------------------------------------------------------------------

double TTargetRenderer::TargetDistanceM() const
{
    if (Target.hasRing)
        return DistanceM(Target.ringRecord.NominalDistance(), Target.ringRecord.DistanceInYards());
    if (Target.hasSilhouette)
        return DistanceM(Target.silhouetteRecord.NominalDistance(), Target.silhouetteRecord.DistanceInYards());
    return 0.0;
}

int TTargetRenderer::SilhouetteSizeMm() const
{
    if (!Target.hasSilhouette)
        return 0;
    const SilhouetteTargetRecord& s = Target.silhouetteRecord;
    // 0.1 inch fields can exceed 16 bits once in mm: keep the largest size
    // rather than wrapping to a small one.
    return SaturatingCast<uint16_t>(s.Size() * (s.SizeInInch() ? 2.54 : 1.0));
}

double TTargetRenderer::RingRadius(double k) const
{
    if (!Target.hasRing)
        return 0.0;
    const double r = ShotScoring::RingRadius(Target.ringRecord, SaturatingCast<int>(k));
    // A ring the target defines no diameter for is not part of the picture.
    return r > 0 ? r : 0.0;
}

void TTargetRenderer::SetSize(int width, int height)
{
    SetLayerSize(width, height);
    if ((Target.hasRing || Target.hasSilhouette) && TargetDistanceM() != 0.0)
        Render(-1);
}

void TTargetRenderer::SetLayerSize(int width, int height)
{
    // Painters must not outlive the images they paint on.
    staticCanvas_.reset();
    displayCanvas_.reset();
    StaticLayer = NewLayer(width, height);
    DisplayLayer = NewLayer(width, height);
    staticBehind_ = false;
    shownPass_.valid = false;
    anim_.valid = false;

    // Scale and centre follow the new size for every target, drawn or not, so
    // a later pass never maps with the old geometry.
    const int size = SilhouetteSizeMm();
    const double w = StaticLayer.width();
    const double h = StaticLayer.height();
    PixelsPerMm = std::min(w, h) / ZoomField;
    CentreX = StaticLayer.width() / 2;
    CentreY = StaticLayer.height() / 2;
    if (size > 0)
        SilhouetteCell = size * 0.015625;
}

void TTargetRenderer::SetZoomField(int field)
{
    // A negative field would mirror the picture; neither it nor 0 is a size.
    if (field <= 0)
        return;
    int size = 0;
    if (Target.hasSilhouette) {
        size = SilhouetteSizeMm();
        if (size == 0)
            return;
    }
    ZoomField = field;
    PixelsPerMm = std::min(StaticLayer.width(), StaticLayer.height()) / ZoomField;
    CentreX = StaticLayer.width() / 2;
    CentreY = StaticLayer.height() / 2;
    if (Target.hasSilhouette)
        SilhouetteCell = size * 0.015625;
}

void TTargetRenderer::ZoomToFitTarget()
{
    int field = 0;
    if (Target.hasSilhouette) {
        const int size = SilhouetteSizeMm();
        if (size == 0) {
            Target.hasSilhouette = 0;
            return;
        }
        const double ringDiameter = Target.hasRing ? 2.0 * RingRadius(Target.ringRecord.MinimumRing()) : 0.0;
        field = SaturatingCast<int>(std::max(ringDiameter, double(size)) * 1.5);
    } else {
        const double r = RingRadius(Target.ringRecord.MinimumRing());
        if (r == 0.0) {
            Target.hasRing = 0;
            return;
        }
        field = SaturatingCast<int>(2.0 * r * 2.0);
    }
    SetZoomField(field);
}

void TTargetRenderer::SetZoomPercent(double percent)
{
    ZoomPercent = percent;
    Render(-1);
}

int TTargetRenderer::MapX(double x) const
{
    return ToPixel(CentreX + (x - ViewX) * PixelsPerMm * 0.01 * ZoomPercent);
}

int TTargetRenderer::MapY(double y) const
{
    return ToPixel(CentreY - (y - ViewY) * PixelsPerMm * 0.01 * ZoomPercent);
}

// ---- Texts ------------------------------------------------------------------------------

QString FormatDisplayText(const QString& format, std::initializer_list<double> args)
{
    QString out;
    out.reserve(format.size() + 16);
    auto next = args.begin();
    const int n = int(format.size());
    int i = 0;
    while (i < n) {
        const QChar ch = format[i];
        if (ch != QLatin1Char('%')) {
            out += ch;
            ++i;
            continue;
        }
        if (i + 1 < n && format[i + 1] == QLatin1Char('%')) {
            out += QLatin1Char('%');
            i += 2;
            continue;
        }
        // %[width][.precision](d|i|f); widths and precisions stay small.
        int j = i + 1;
        int width = 0;
        while (j < n && format[j].isDigit() && width < 100)
            width = width * 10 + format[j++].digitValue();
        int precision = -1;
        if (j < n && format[j] == QLatin1Char('.')) {
            precision = 0;
            ++j;
            while (j < n && format[j].isDigit() && precision < 100)
                precision = precision * 10 + format[j++].digitValue();
        }
        const QChar conv = j < n ? format[j] : QChar();
        const bool isInt = conv == QLatin1Char('d') || conv == QLatin1Char('i');
        const bool isFloat = conv == QLatin1Char('f');
        if ((!isInt && !isFloat) || next == args.end() || width >= 100 || precision >= 100) {
            out += ch;
            ++i;
            continue;
        }
        const double value = *next++;
        QString text;
        if (isInt) {
            text = QString::number(SaturatingCast<long long>(value));
        } else {
            text = QString::number(value, 'f', precision < 0 ? 6 : precision);
            text.replace(QLatin1Char('.'), DecimalSeparator());
        }
        out += text.rightJustified(width, QLatin1Char(' '));
        i = j + 1;
    }
    return out;
}

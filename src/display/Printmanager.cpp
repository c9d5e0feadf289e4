// The print manager object, its page geometry and the two kinds of print:
// a shooter's page and a target at true size.
#include "Printmanager.h"

#include "Prompts.h"
#include "ShotScoring.h"
#include "Shotdata.h"
#include "Targetrenderer.h"
#include "Translation.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// A page's frame, target half and table half, as fractions of the page.
constexpr double FrameMargin = 0.04;
constexpr double ContentLeft = 0.05;
constexpr double ContentRight = 0.95;
constexpr double TargetTop = 0.05;
constexpr double TargetBottom = 0.475;
constexpr double TableTop = 0.525;
constexpr double TableBottom = 0.95;
constexpr double TargetFillPercent = 70.0;

// The printer cannot be trusted to print to the paper's edge: a true-size
// target may use this share of each side of the paper.
constexpr double UsablePaperShare = 0.955;
constexpr double NameHeightMm = 5.0;

void TellError(const QString& text)
{
    Prompts().MessageBox(Translate(text), Translate(QStringLiteral("Error")), TMsgButtons::OK);
}

} // namespace

TThePrintManager::TThePrintManager()
    : Colours(ShooterPageColours)
{
}

TThePrintManager::~TThePrintManager() = default;

bool TThePrintManager::ExecutePrintDialog() { return Printer && Printer->ExecuteDialog(); }

// ---- Geometry ------------------------------------------------------------------------------

void TThePrintManager::SetRegion(double left, double top, double right, double bottom)
{
    RegionLeft = ToPixel(PageWidth * left);
    RegionTop = ToPixel(PageHeight * top);
    RegionRight = ToPixel(PageWidth * right);
    RegionBottom = ToPixel(PageHeight * bottom);
}

double TThePrintManager::RingRadius(int ring) const
{
    if (!Target || !Target->hasRing)
        return -1.0;
    return ShotScoring::RingRadius(Target->ringRecord, ring);
}

double TThePrintManager::RingExtentMm() const
{
    if (!Target || !Target->hasRing)
        return 0.0;
    // Rings a record has no diameter for are not part of the target: the
    // outermost ring that has one decides.
    const RingTargetRecord& ring = Target->ringRecord;
    double r = 0.0;
    for (int v = ring.MinimumRing(); v <= ring.HighestRing(); ++v)
        r = std::max(r, RingRadius(v));
    return 2.0 * r;
}

int TThePrintManager::SilhouetteExtentMm() const
{
    if (!Target || !Target->hasSilhouette)
        return 0;
    const SilhouetteTargetRecord& s = Target->silhouetteRecord;
    return uint16_t(ToPixel(s.Size() * (s.SizeInInch() ? 2.54 : 1.0)));
}

bool TThePrintManager::FitScale(double percent)
{
    const int side = std::min(RegionRight - RegionLeft, RegionBottom - RegionTop);
    const double extent = std::max(RingExtentMm(), double(SilhouetteExtentMm()));
    UnitsPerMm = extent > 0.0 && side > 0 ? percent * 0.01 * side / extent : 0.0;
    return UnitsPerMm > 0.0;
}

int TThePrintManager::MapX(double x) const { return ToPixel((RegionLeft + RegionRight) * 0.5 + UnitsPerMm * x); }

int TThePrintManager::MapY(double y) const { return ToPixel((RegionTop + RegionBottom) * 0.5 + UnitsPerMm * y); }

void TThePrintManager::DrawTarget()
{
    if (!Target)
        return;
    // The larger part first, so that the smaller one stays visible on it.
    const bool ring = Target->hasRing;
    const bool silhouette = Target->hasSilhouette;
    if (ring && silhouette) {
        if (RingExtentMm() / 2.0 > SilhouetteExtentMm() / 2) {
            DrawRings();
            DrawSilhouette();
        } else {
            DrawSilhouette();
            DrawRings();
        }
    } else if (ring) {
        DrawRings();
    } else if (silhouette) {
        DrawSilhouette();
    }
}

// ---- Shooter page ------------------------------------------------------------------------------

bool TThePrintManager::PrintShooter(std::span<IShooterPrintView* const> views)
{
    Target = nullptr;
    Viewer = nullptr;
    if (!Printer || !Shooter)
        return false;
    for (IShooterPrintView* view : views) {
        if (view && view->Shooter() == Shooter)
            Viewer = view;
    }
    if (!Viewer)
        return false;
    Viewer->PrepareForPrint();
    Target = &Viewer->Renderer().Target;
    Lines = Viewer->Renderer().InfoLines;

    QPainter* painter = Printer->BeginDoc();
    if (!painter)
        return false;
    const QSize page = Printer->PageSizePixels();
    PageWidth = page.width();
    PageHeight = page.height();
    {
        TCanvas canvas(*painter, PageWidth, PageHeight);
        Canvas = &canvas;
        Canvas->SetFont(QStringLiteral("Tahoma"), Canvas->Font().pixelSize(), false);
        DrawShooterPage();
        Canvas = nullptr;
    }
    return Printer->EndDoc();
}

void TThePrintManager::DrawShooterPage()
{
    SetRegion(FrameMargin, FrameMargin, 1.0 - FrameMargin, 1.0 - FrameMargin);
    DrawBanners();

    SetRegion(ContentLeft, TargetTop, ContentRight, TargetBottom);
    // A target without extent has no scale: its picture and shots are left
    // out, its texts are not.
    if (FitScale(TargetFillPercent)) {
        DrawTarget();
        DrawShots();
    }
    DrawDistribution();
    DrawGradingSummary();

    SetRegion(ContentLeft, TableTop, ContentRight, TableBottom);
    DrawShotTable();
}

// ---- True size ---------------------------------------------------------------------------------

bool TThePrintManager::Refuse()
{
    TellError(QStringLiteral("Target cannot be printed with selected printer and paper"));
    return false;
}

bool TThePrintManager::PrintTargetTrueSize(double scale)
{
    if (!Printer)
        return false;
    const double u = Printer->PixelsPerMm();
    const QSize page = Printer->PageSizePixels();
    const QSizeF paper = Printer->PaperSizeMm();
    const double size = std::max(RingExtentMm(), double(SilhouetteExtentMm()));
    if (!std::isfinite(scale) || scale <= 0.0 || size <= 0.0 || !std::isfinite(u) || u <= 0.0 || page.isEmpty())
        return Refuse();

    // The target is centred on the drawable page: it must fit there and
    // inside the share of the paper a printer reaches, on both sides.
    const double usableWidth = std::min(paper.width() * UsablePaperShare, page.width() / u);
    const double usableHeight = std::min(paper.height() * UsablePaperShare, page.height() / u);
    if (size * scale > usableWidth || size * scale > usableHeight)
        return Refuse();

    QPainter* painter = Printer->BeginDoc();
    if (!painter) {
        TellError(QStringLiteral("Printing failed"));
        return false;
    }
    PageWidth = page.width();
    PageHeight = page.height();
    UnitsPerMm = u * scale;
    RegionLeft = 0;
    RegionTop = 0;
    RegionRight = PageWidth;
    RegionBottom = PageHeight;
    Colours = TrueSizeColours;
    {
        TCanvas canvas(*painter, PageWidth, PageHeight);
        Canvas = &canvas;
        DrawTarget();
        Canvas->SetFont(QStringLiteral("Tahoma"), ToPixel(NameHeightMm * u), false);
        Canvas->SetFontColour(clBlack);
        Canvas->SetBrushStyle(TBrushStyle::Clear);
        const int margin = ToPixel(u);
        Canvas->TextOut(margin, margin, Target ? GetTargetName(*Target) : QString());
        Canvas->TextOut(ToPixel(PageWidth - Canvas->TextWidth(ScaleCaption) - u), margin, ScaleCaption);
        Canvas = nullptr;
    }
    if (!Printer->EndDoc()) {
        TellError(QStringLiteral("Printing failed"));
        return false;
    }
    return true;
}

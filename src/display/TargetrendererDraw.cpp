// The render pass of the target view: view modes, the ring and silhouette
// pictures, the status icons and the grading overlay.
#include "Targetrenderer.h"

#include "Device.h"
#include "GradingPanel.h"
#include "NetworkStatusProvider.h"
#include "ScoreDecimals.h"
#include "ShotAnalysis.h"
#include "Shotdata.h"
#include "Translation.h"
#include "UiBitmaps.h"

namespace {

// Ring sizes are in 0.1 mm, or 0.01 inch with the inch bit.
double RingUnitMm(const RingTargetRecord& ring)
{
    return ring.SizesInInch() ? 0.254 : 0.1;
}

} // namespace

void TTargetRenderer::Render(int mode)
{
    if (pictureOnly_) {
        DrawPass(mode);
        return;
    }
    shownPass_.valid = false;
    tintLeftOut_ = false;
    DrawPass(mode);
    shownPass_ = { true, ViewX, ViewY, ZoomPercent, PixelsPerMm, CentreX, CentreY, LayerWidth(), LayerHeight(), ViewMode,
                   !tintLeftOut_ };
}

bool TTargetRenderer::ShowsPassAt(double viewX, double viewY, double zoomPercent) const
{
    const TShownPass& p = shownPass_;
    return p.valid && p.viewX == viewX && p.viewY == viewY && p.zoomPercent == zoomPercent && p.pixelsPerMm == PixelsPerMm
           && p.centreX == CentreX && p.centreY == CentreY && p.width == LayerWidth() && p.height == LayerHeight()
           && p.viewMode == ViewMode;
}

void TTargetRenderer::DrawPass(int mode)
{
    TPaintScope scope(*this);
    if (!pictureOnly_) {
        // A pass from outside shows the current state: a running animation
        // cuts its next steps from a fresh picture.
        anim_.valid = false;
        staticBehind_ = false;
    }

    ClearStaticLayer();
    InfoLines.clear();
    ScoreTotal = 0;
    if (mode >= 0)
        ViewMode = mode;

    if (ViewMode == ViewTextPage) {
        CopyStaticLayer();
        DrawTextPage();
        return;
    }

    const bool graphMode = ViewMode == ViewDistanceGraph || ViewMode == ViewXYGraph;
    if (Target.hasSilhouette && !graphMode)
        DrawSilhouette();

    FillHoldWindowStats();

    if (Target.hasRing) {
        if (ViewMode == ViewDistanceGraph) {
            DrawDistanceAxes();
            CopyStaticLayer();
            DrawDistanceCurve();
            DrawGradingOverlay();
            return;
        }
        if (ViewMode == ViewXYGraph) {
            DrawXYAxes();
            CopyStaticLayer();
            DrawXYCurves();
            DrawGradingOverlay();
            return;
        }
        DrawRingTargetBackground();
    }

    // Zeroing needs the linked device (its mode, distance and history); a view
    // without one shows no zeroing overlay.
    if (Zeroing != 0 && Device != nullptr)
        DrawZeroingCircle(ZeroingRadiusRaw);

    // The animation picture leaves out what stays fixed on the layer; its
    // steps lay that over each view.
    if (!pictureOnly_) {
        DrawNetworkIcon();
        DrawBluetoothIcon();
    }

    CopyStaticLayer();

    GroupSumX = 0.0;
    GroupSumY = 0.0;
    GroupCount = 0;

    if (GradedShot != nullptr && Zeroing == 0) {
        if (pictureOnly_ && PrepareGradingOverlay())
            anim_.panel = GradingPanel->OverlayImage();
        else
            DrawGradingOverlay();
    }

    if (Zeroing != 0) {
        if (Device != nullptr)
            DrawZeroingResults(Device);
    } else {
        if (Shooter == nullptr || Shooter->ShotCount() == 0)
            return;

        if (SelectedShot == nullptr) {
            DrawShots();
            AddDistributionLines();
            if (ScoreTotal > 0) {
                // The shown total counts every shot of the shooter, whatever
                // its target or flags; the drawn marks only tell whether any
                // ring score is on this target.
                const bool decimal = ShooterScoredInTenths(*Shooter);
                int total = 0;
                Shooter->ForEachShot([&](TShot& shot) {
                    if (!shot.raw.HasScore())
                        return;
                    const int tenths = shot.raw.Score();
                    total += decimal ? tenths : tenths / 10;
                });
                if (total > 0)
                    ScoreTotal = total;
                const QString line = decimal
                    ? FormatDisplayText(Translate(QStringLiteral("Total score %1.1f")), {ScoreTotal * 0.1})
                    : FormatDisplayText(Translate(QStringLiteral("Total score %d")), {double(ScoreTotal)});
                InfoLines.insert(0, QString());
                InfoLines.insert(0, line);
            }
            InfoLines.insert(0, FormatDisplayText(Translate(QStringLiteral("Shots %d")), {double(Shooter->ShotCount())}));
            if (GroupCount > 1)
                DrawGroupCentre(GroupSumX / GroupCount, GroupSumY / GroupCount);
        } else {
            AddShotInfoLines(SelectedShot);
            const RawShotRecord& raw = SelectedShot->raw;
            if (raw.Failures() == 0) {
                DrawHitCrosshair(raw.X() * 0.1, raw.Y() * 0.1);
                DrawTrace(SelectedShot);
                if (ViewMode == ViewRange)
                    DrawShots();
                if (GroupCount > 1)
                    DrawGroupCentre(GroupSumX / GroupCount, GroupSumY / GroupCount);
                DrawShot(SelectedShot, true);
            }
        }
    }

    InfoLines.insert(0, GetTargetName(Target));
    if (!pictureOnly_)
        DrawInfoLines();
}

void TTargetRenderer::ClearStaticLayer()
{
    TPaintScope scope(*this);
    TCanvas& canvas = StaticCanvas();
    canvas.SetBrushStyle(TBrushStyle::Solid);
    canvas.SetBrushColour(Colour(ClrBackground));
    canvas.FillRect(0, 0, canvas.Width(), canvas.Height());
}

void TTargetRenderer::DrawCircle(double x, double y, double r)
{
    TPaintScope scope(*this);
    StaticCanvas().Ellipse(MapX(x - r), MapY(y - r), MapX(x + r), MapY(y + r));
}

void TTargetRenderer::DrawRingTargetBackground()
{
    if (!Target.hasRing)
        throw Exception("DrawRingTargetBackground without using ring");
    TPaintScope scope(*this);
    TCanvas& canvas = StaticCanvas();
    const RingTargetRecord& ring = Target.ringRecord;
    const double unit = RingUnitMm(ring);
    const int top = ring.HighestRing();
    const int lowest = ring.MinimumRing();
    const bool both = Target.hasSilhouette != 0;

    canvas.SetBrushStyle(both ? TBrushStyle::Clear : TBrushStyle::Solid);
    canvas.SetPenStyle(TPenStyle::Solid);
    canvas.SetPenMode(TPenMode::Copy);
    canvas.SetPenColour(Colour(ClrRingOutline));
    canvas.SetPenWidth(1);

    if (!both) {
        canvas.SetBrushColour(Colour(ClrWhiteDisc));
        DrawCircle(0, 0, RingRadius(lowest));
        canvas.SetBrushColour(Colour(ClrBlackArea));
        DrawCircle(0, 0, ring.DiameterBlackArea() * 0.5 * unit);
        canvas.SetBrushColour(Colour(ClrWhiteDisc));
        DrawCircle(0, 0, ring.DiameterInnerWhite() * 0.5 * unit);
    }

    canvas.SetBrushStyle(TBrushStyle::Clear);
    for (int k = lowest; k <= top; ++k) {
        const double r = RingRadius(k);
        if (r <= 0)
            continue;
        if (both) {
            // A dark shadow keeps the outline readable over the zone colours.
            canvas.SetPenColour(clBlack);
            canvas.Ellipse(MapX(-r) + 1, MapY(-r) + 1, MapX(r) + 1, MapY(r) + 1);
            canvas.SetPenColour(Colour(ClrRingOutline));
        }
        DrawCircle(0, 0, r);
    }

    canvas.SetPenColour(Colour(ClrXRing));
    canvas.SetPenStyle(TPenStyle::Dash);
    DrawCircle(0, 0, ring.DiameterX() * 0.5 * unit);
    canvas.SetPenStyle(TPenStyle::Solid);
}

void TTargetRenderer::DrawSilhouette()
{
    if (!Target.hasSilhouette)
        return;
    TPaintScope scope(*this);
    TCanvas& canvas = StaticCanvas();
    canvas.SetBrushStyle(TBrushStyle::Solid);
    const double s = SilhouetteCell;
    const SilhouetteMatrix& matrix = Target.silhouetteMatrix;
    const uint8_t* cells = matrix.data() + 8;

    // Zones outside 0 .. 3 have no colour: they show as a miss.
    auto zoneOf = [&](int c, int r) {
        const int z = cells[64 * c + r];
        return z <= 3 ? z : 0;
    };

    // Cell edges are computed from the cell index alone, so a cell's bottom
    // edge is the next cell's top edge: a run of equal cells down a column
    // fills exactly the pixels of its single cells.
    for (int c = 0; c < SilhouetteMatrix::Columns; ++c) {
        const int left = MapX((c - 32) * s);
        const int right = MapX((c - 31) * s);
        int r = 0;
        while (r < SilhouetteMatrix::Rows) {
            const int zone = zoneOf(c, r);
            int end = r + 1;
            while (end < SilhouetteMatrix::Rows && zoneOf(c, end) == zone)
                ++end;
            canvas.SetBrushColour(Colour(ClrSilhouetteMiss + zone));
            canvas.FillRect(left, MapY((32 - r) * s), right, MapY((32 - end) * s));
            r = end;
        }
    }
}

void TTargetRenderer::DrawNetworkIcon()
{
    TPaintScope scope(*this);
    DrawNetworkIcon(StaticCanvas());
}

void TTargetRenderer::DrawNetworkIcon(TCanvas& canvas)
{
    if (!ShowNetworkIcon)
        return;
    const INetworkStatusProvider* provider = NetworkStatusProvider();
    if (provider == nullptr)
        return;
    const TNetworkIcon icon = provider->IconFor(Shooter != nullptr ? Shooter->SerialNumber() : QString());
    if (icon == TNetworkIcon::None)
        return;
    const TUiBitmap& bitmap = UiBitmap(icon == TNetworkIcon::Connected ? BitmapFiles::Network_Connected
                                                                        : BitmapFiles::Network_NotConnected);
    if (!bitmap.Loaded())
        return;
    DrawBitmap(canvas, 2, LayerHeight() - 2 - bitmap.Height(), bitmap);
}

void TTargetRenderer::DrawBluetoothIcon()
{
    TPaintScope scope(*this);
    DrawBluetoothIcon(StaticCanvas());
}

void TTargetRenderer::DrawBluetoothIcon(TCanvas& canvas)
{
    if (Device == nullptr || !Device->Bluetooth())
        return;
    const TUiBitmap& ok = UiBitmap(BitmapFiles::Bluetooth_OK);
    int y = LayerHeight() - 2 - ok.Height();
    // Without the network link there is no network icon to sit above.
    const INetworkStatusProvider* provider = NetworkStatusProvider();
    if (provider != nullptr && !provider->NetworkDisabled())
        y -= UiBitmap(BitmapFiles::Network_NotConnected).Height() + 2;
    const TUiBitmap& bitmap = Device->SampleStream() ? ok : UiBitmap(BitmapFiles::Bluetooth_Disabled);
    if (!bitmap.Loaded())
        return;
    DrawBitmap(canvas, 2, y, bitmap);
}

void TTargetRenderer::DrawGradingOverlay()
{
    if (!PrepareGradingOverlay())
        return;
    TPaintScope scope(*this);
    const QImage panel = GradingPanel->OverlayImage();
    PlaceGradingOverlay(DisplayCanvas(), panel);
    PlaceGradingOverlay(StaticCanvas(), panel);
}

bool TTargetRenderer::PrepareGradingOverlay()
{
    if (!GradingOverlay || GradedShot == nullptr || !GradingPanel)
        return false;
    if (GradedShot->raw.RingTargetIndex() >= 16)
        return false;
    AnalyseShotTrace(*GradedShot);
    DrawGradingPanel(*GradingPanel, *GradedShot);
    return GradingPanel->lastGrade.overall >= 1.0;
}

void TTargetRenderer::PlaceGradingOverlay(TCanvas& canvas, const QImage& panel)
{
    const int w = LayerWidth();
    if (DisplayLayer.height() > 300) {
        canvas.Draw(w - panel.width(), 0, panel);
    } else {
        const int left = w - panel.width() * 5 / 7;
        const int bottom = panel.height() * 5 / 7;
        canvas.StretchDraw(left, 0, w - 1, bottom, panel);
    }
}

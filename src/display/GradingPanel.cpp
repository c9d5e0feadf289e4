#include "GradingPanel.h"

#include "Clock.h"
#include "GradingParameters.h"
#include "Shotdata.h"

#include <memory>

namespace {

std::unique_ptr<TGradingBitmapHandler>& HandlerSlot()
{
    static std::unique_ptr<TGradingBitmapHandler> handler;
    return handler;
}

} // namespace

void TGradingBitmapHandler::LoadBitmaps()
{
    using namespace BitmapFiles;
    TBitmapCache& cache = UiBitmaps();
    head = cache.Get(GradingHead);
    headDisabled = cache.Get(GradingHeadDisabled);
    sportHead = cache.Get(GradingHeadSport);
    sportHeadDisabled = cache.Get(GradingHeadSportDisabled);
    lights = { cache.Get(Grading3_0), cache.Get(Grading3_1), cache.Get(Grading3_2), cache.Get(Grading3_3) };
    blinking = cache.Get(Grading3_Blinking);
    components = { cache.Get(GradeComponentHit), cache.Get(GradeComponentHold), cache.Get(GradeComponentAim),
                   cache.Get(GradeComponentTrig) };
    stances = { cache.Get(StanceStand), cache.Get(StanceKneel), cache.Get(StanceProne) };
    difficulties = { cache.Get(GradingDifficulty1), cache.Get(GradingDifficulty2), cache.Get(GradingDifficulty3) };
    loaded = true;
}

const TUiBitmap& TGradingBitmapHandler::Light(int level) const
{
    if (level < 0 || level >= int(lights.size()))
        return lights[0];
    return lights[size_t(level)];
}

const TUiBitmap& TGradingBitmapHandler::StanceGlyph(int stance) const
{
    if (stance < 1 || stance > 3)
        return empty_;
    return stances[size_t(stance - 1)];
}

const TUiBitmap& TGradingBitmapHandler::DifficultyGlyph(int difficulty) const
{
    if (difficulty < 0 || difficulty > 2)
        return empty_;
    return difficulties[size_t(difficulty)];
}

void TGradingBitmapHandler::DrawGrading(const ShotGradeLevels& levels, TCanvas& canvas, int mode,
                                        TColor background, const QRect& rect) const
{
    const bool blinkPhase = ((TickCountMs() / 1000u) & 1u) != 0;
    canvas.SetBrushStyle(TBrushStyle::Solid);
    canvas.SetBrushColour(background);
    canvas.FillRect(rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height());
    if (mode != 0)
        return;
    const int x0 = rect.left();
    const int y0 = rect.top();
    const bool disabled = levels.level3 == 0;
    const TUiBitmap& headPicture = GradingParameters.militaryGun ? (disabled ? headDisabled : head)
                                                                 : (disabled ? sportHeadDisabled : sportHead);
    DrawBitmap(canvas, x0 + HeadX, y0 + HeadY, headPicture);
    const struct {
        int x;
        int level;
        GradeBlink blink;
    } columns[3] = {
        { HoldLightX, levels.levels[GradeHold].level, BlinkHold },
        { AimLightX, levels.levels[GradeAim].level, BlinkAim },
        { TrigLightX, levels.trigLevel, BlinkTrig },
    };
    for (const auto& column : columns) {
        const bool blink = levels.blink[size_t(column.blink)] && blinkPhase;
        DrawBitmap(canvas, x0 + column.x, y0 + LightsY, blink ? blinking : Light(column.level));
    }
}

TGradingBitmapHandler* GradingBitmaps()
{
    return HandlerSlot().get();
}

TGradingBitmapHandler& EnsureGradingBitmaps()
{
    auto& handler = HandlerSlot();
    if (!handler) {
        handler = std::make_unique<TGradingBitmapHandler>();
        handler->LoadBitmaps();
    }
    return *handler;
}

void FreeGradingBitmaps()
{
    HandlerSlot().reset();
}

// ---- TFrameTrafficLights -------------------------------------------------------

TFrameTrafficLights::TFrameTrafficLights()
    : bitmap(NewLayer(Width, Height))
{
    EnsureGradingBitmaps();
    if (GradingTables.gradeCount <= 0)
        GradingTables.gradeCount = 0;
    bitmap.fill(QColor(ToQColor(PanelBackground)));
}

int TFrameTrafficLights::DrawingMode() const
{
    return (fiveStep || GradingParameters.use5StepBitmaps) ? 2 : 0;
}

void TFrameTrafficLights::Redraw(bool transparent)
{
    TCanvas canvas(bitmap);
    EnsureGradingBitmaps().DrawGrading(levels, canvas, DrawingMode(),
                                       transparent ? OverlayBackground : PanelBackground,
                                       QRect(0, 0, Width, Height));
}

ShotGradeRecord DrawGradingPanel(TFrameTrafficLights& panel, TShot& shot, bool transparent)
{
    panel.lastGrade = ComputeShotGrade(panel.selection, shot);
    if (!panel.lastGrade.valid) {
        panel.levels = ShotGradeLevels {};
        panel.Redraw(transparent);
        return panel.lastGrade;
    }
    panel.levels = ComputeShotGradeLevels(panel.lastGrade);
    // A trace shorter than the aim blink time (15 ms a sample, rounded as the
    // device counts) flags the aim light.
    if (int64_t(shot.CurveCount()) * 15 < int64_t(GradingParameters.aimBlinkTime))
        panel.levels.blink[BlinkAim] = true;
    panel.Redraw(transparent);
    return panel.lastGrade;
}

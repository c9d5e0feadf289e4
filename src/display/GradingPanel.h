// The grading panel: the traffic lights of the last graded shot, painted
// into a 200 x 136 picture that the target view lays over a graded ring
// shot, and the one set of grading pictures shared by all panels.
#pragma once

#include "DrawKit.h"
#include "ShotGrading.h"
#include "UiBitmaps.h"

#include <QImage>
#include <QRect>

#include <array>

class TShot;

// Indices of ShotGradeLevels::blink.
enum GradeBlink { BlinkScore, BlinkHold, BlinkAim, BlinkTrig, BlinkOverall };

class TGradingBitmapHandler {
public:
    static constexpr int HeadX = 40;
    static constexpr int HeadY = 0;
    static constexpr int LightsY = 36;
    static constexpr int HoldLightX = 80;
    static constexpr int AimLightX = 120;
    static constexpr int TrigLightX = 160;

    bool loaded = false;
    TUiBitmap head;
    TUiBitmap headDisabled;
    TUiBitmap sportHead;
    TUiBitmap sportHeadDisabled;
    std::array<TUiBitmap, 4> lights;     // level 0 .. 3
    TUiBitmap blinking;
    std::array<TUiBitmap, 4> components; // hit, hold, aim, trigger
    std::array<TUiBitmap, 3> stances;    // stand, kneel, prone
    std::array<TUiBitmap, 3> difficulties;

    // Reads every grading picture through the bitmap cache; a missing one
    // stays empty and draws nothing.
    void LoadBitmaps();

    // The light of a level; a level outside 0 .. 3 (a grading file may
    // name any trigger level) gets the level-0 light.
    const TUiBitmap& Light(int level) const;
    // Stance 1..3, difficulty 0..2; anything else an empty picture.
    const TUiBitmap& StanceGlyph(int stance) const;
    const TUiBitmap& DifficultyGlyph(int difficulty) const;

    // Paints levels into rect of the canvas: background, then in mode 0 the
    // head and the hold, aim and trigger lights. A light whose blink flag is
    // set shows the blinking picture during odd seconds of the clock.
    void DrawGrading(const ShotGradeLevels& levels, TCanvas& canvas, int mode, TColor background,
                     const QRect& rect) const;

private:
    TUiBitmap empty_;
};

// The program's one handler: made and loaded by the first panel, freed at
// shutdown. Null before that.
TGradingBitmapHandler* GradingBitmaps();
TGradingBitmapHandler& EnsureGradingBitmaps();
void FreeGradingBitmaps();

class TFrameTrafficLights {
public:
    static constexpr int Width = 200;
    static constexpr int Height = 136;
    static constexpr TColor PanelBackground { 0xFFFFFF };
    // The overlay's background, which the target view draws transparent.
    static constexpr TColor OverlayBackground { 0xC0C0C0 };

    TFrameTrafficLights();

    // Paints the current levels into the bitmap, on the overlay background
    // when transparent, else on white.
    void Redraw(bool transparent);
    // 2 (the 5-step set) when the grading file or the panel asks for five
    // steps, else 0.
    int DrawingMode() const;

    const QImage& Bitmap() const { return bitmap; }
    // The bitmap with its overlay background made transparent.
    QImage OverlayImage() const { return KeyToAlpha(bitmap, OverlayBackground); }

    bool fiveStep = false;
    QImage bitmap;
    ShotGradeLevels levels {};
    ShotGradeRecord lastGrade {};
    GradingSelection selection {};   // stance and difficulty
};

// Grades the shot for the panel's selection, keeps the record and repaints
// the panel (as an overlay unless transparent is false). An ungraded shot
// clears the levels. The aim light blinks when the trace is shorter than the
// grading file's aim blink time. Returns the record.
ShotGradeRecord DrawGradingPanel(TFrameTrafficLights& panel, TShot& shot, bool transparent = true);

#include "AppPaths.h"
#include "BitmapArt.h"
#include "DisplayTestSupport.h"
#include "GradingPanel.h"
#include "GradingParameters.h"
#include "Shotdata.h"
#include "UiBitmaps.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using H = TGradingBitmapHandler;

class GradingPanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_GT(GeneratedArt().written, 0);
        FreeGradingBitmaps();
        ResetGradingParameters();
        panel.emplace();
    }
    void TearDown() override
    {
        panel.reset();
        FreeGradingBitmaps();
        ResetGradingParameters();
    }

    static ShotGradeLevels Levels(int hold, int aim, int trig, int level3)
    {
        ShotGradeLevels levels;
        levels.valid = true;
        levels.levels[GradeHold].level = hold;
        levels.levels[GradeAim].level = aim;
        levels.trigLevel = trig;
        levels.level3 = level3;
        return levels;
    }
    // The panel's column at x, as wide and high as a light.
    QImage Column(int x) const { return panel->Bitmap().copy(x, H::LightsY, LightArt::Width, LightArt::Height); }
    TColor Lamp(int x, int lamp) const
    {
        return PixelToColour(TPixelWord(panel->Bitmap().pixel(x + LightArt::LampX, H::LightsY + LightArt::LampY[lamp])));
    }
    QImage Head() const { return panel->Bitmap().copy(40, 0, 160, 36); }
    static QImage Blank()
    {
        QImage blank = NewLayer(200, 136);
        blank.fill(QColor(0xC0, 0xC0, 0xC0));
        return blank;
    }

    TArtFolderScope art;
    std::optional<TFrameTrafficLights> panel;
};

TEST_F(GradingPanel, LightsShowTheLevelsAtTheirColumns)
{
    ASSERT_NE(GradingBitmaps(), nullptr);
    EXPECT_EQ(panel->Bitmap().size(), QSize(200, 136));
    panel->levels = Levels(1, 2, 3, 2);
    panel->Redraw(true);

    EXPECT_EQ(Lamp(H::HoldLightX, 0), LightArt::LampColour(0, true)); // hold: red
    EXPECT_EQ(Lamp(H::AimLightX, 1), LightArt::LampColour(1, true)); // aim: yellow
    EXPECT_EQ(Lamp(H::TrigLightX, 2), LightArt::LampColour(2, true)); // trigger: green
    // No light for the score: the left columns keep the background.
    EXPECT_EQ(PixelToColour(TPixelWord(panel->Bitmap().pixel(20, 80))), TFrameTrafficLights::OverlayBackground);

    // The overlay background becomes transparent; the lights stay opaque.
    const QImage overlay = panel->OverlayImage();
    EXPECT_EQ(qAlpha(overlay.pixel(5, 130)), 0);
    EXPECT_EQ(qAlpha(overlay.pixel(H::AimLightX + LightArt::LampX, H::LightsY + LightArt::LampY[1])), 255);

    panel->Redraw(false);
    EXPECT_EQ(PixelToColour(TPixelWord(panel->Bitmap().pixel(5, 130))), TColor(0xFFFFFF));
}

TEST_F(GradingPanel, HeadFollowsGunTypeAndOverallLevel)
{
    const H& pictures = *GradingBitmaps();
    panel->levels = Levels(3, 3, 3, 3);
    panel->Redraw(true);
    EXPECT_EQ(Head(), pictures.sportHead.image);
    GradingParameters.militaryGun = true;
    panel->Redraw(true);
    EXPECT_EQ(Head(), pictures.head.image);
    panel->levels.level3 = 0;
    panel->Redraw(true);
    EXPECT_EQ(Head(), pictures.headDisabled.image);

    // The 5-step set has no pictures: only the background is painted.
    GradingParameters.use5StepBitmaps = true;
    EXPECT_EQ(panel->DrawingMode(), 2);
    panel->Redraw(true);
    EXPECT_EQ(panel->Bitmap(), Blank());
}

TEST_F(GradingPanel, TriggerLevelOutsideTheLightsDrawsLevelZero)
{
    const H& pictures = *GradingBitmaps();
    for (int level : { -1, 4, 1000 }) {
        panel->levels = Levels(2, 2, level, 2);
        panel->Redraw(true);
        EXPECT_EQ(Column(H::TrigLightX), pictures.lights[0].image) << level;
    }
    panel->levels = Levels(2, 2, 3, 2);
    panel->Redraw(true);
    EXPECT_EQ(Column(H::TrigLightX), pictures.lights[3].image);
    EXPECT_FALSE(pictures.StanceGlyph(0).Loaded() || pictures.DifficultyGlyph(3).Loaded()); // no such glyphs
}

TEST_F(GradingPanel, BlinkingLightFollowsTheClock)
{
    TClockOverride fake;
    const H& pictures = *GradingBitmaps();
    panel->levels = Levels(3, 2, 3, 3);
    panel->levels.blink[BlinkAim] = true;

    fake.clock.tick = 1500; // odd second: blinking picture
    panel->Redraw(true);
    EXPECT_EQ(Column(H::AimLightX), pictures.blinking.image);
    EXPECT_EQ(Column(H::HoldLightX), pictures.lights[3].image);

    fake.clock.Advance(1000); // even second: the level's light
    panel->Redraw(true);
    EXPECT_EQ(Column(H::AimLightX), pictures.lights[2].image);
}

TEST_F(GradingPanel, UngradedShotClearsTheLevels)
{
    panel->levels = Levels(3, 3, 3, 3);
    panel->levels.blink[BlinkAim] = true;
    TShot shot;
    const ShotGradeRecord record = DrawGradingPanel(*panel, shot);
    EXPECT_EQ(std::tuple(bool(record.valid), bool(panel->levels.valid), panel->levels.level3), std::tuple(false, false, 0));
    EXPECT_EQ(std::tuple(bool(panel->levels.blink[BlinkAim]), Column(H::HoldLightX), Head()),
              std::tuple(false, GradingBitmaps()->lights[0].image, GradingBitmaps()->sportHeadDisabled.image));
}

TEST_F(GradingPanel, MissingPicturesLeaveOnlyTheBackground)
{
    TLogRecorder log;
    SetAppFolder(GeneratedArt().root + QStringLiteral("/nowhere"));
    FreeGradingBitmaps();
    UiBitmaps().Clear();
    panel.emplace();
    panel->levels = Levels(1, 2, 3, 3);
    panel->Redraw(true);
    EXPECT_EQ(panel->Bitmap(), Blank());
    EXPECT_EQ(log.lines.size(), 19); // each grading picture reported once
    panel->Redraw(true);
    EXPECT_EQ(log.lines.size(), 19);
}

} // namespace

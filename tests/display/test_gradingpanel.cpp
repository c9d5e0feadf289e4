#include "AppPaths.h"
#include "BitmapArt.h"
#include "DisplayTestSupport.h"
#include "GradingPanel.h"
#include "GradingParameters.h"
#include "Shotdata.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

class GradingPanel : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        EnsureGuiApp();
        dir = new QTemporaryDir;
        ASSERT_TRUE(dir->isValid());
        ASSERT_GT(GenerateUiBitmaps(dir->path() + QStringLiteral("/Bitmaps")), 0);
    }
    static void TearDownTestSuite()
    {
        delete dir;
        dir = nullptr;
    }
    void SetUp() override
    {
        savedFolder = AppFolder();
        SetAppFolder(dir->path());
        UiBitmaps().Clear();
        FreeGradingBitmaps();
        ResetGradingParameters();
    }
    void TearDown() override
    {
        FreeGradingBitmaps();
        UiBitmaps().Clear();
        ResetGradingParameters();
        SetAppFolder(savedFolder);
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
    static QImage Column(const TFrameTrafficLights& panel, int x)
    {
        return panel.Bitmap().copy(x, TGradingBitmapHandler::LightsY, LightArt::Width, LightArt::Height);
    }
    static TColor Lamp(const TFrameTrafficLights& panel, int x, int lamp)
    {
        const QRgb p = panel.Bitmap().pixel(x + LightArt::LampX, TGradingBitmapHandler::LightsY + LightArt::LampY[lamp]);
        return PixelToColour(TPixelWord(p));
    }

    static QTemporaryDir* dir;
    QString savedFolder;
};

QTemporaryDir* GradingPanel::dir = nullptr;

TEST_F(GradingPanel, LightsShowTheLevelsAtTheirColumns)
{
    TClockOverride clock;
    TFrameTrafficLights panel;
    ASSERT_NE(GradingBitmaps(), nullptr);
    EXPECT_EQ(panel.Bitmap().size(), QSize(200, 136));
    panel.levels = Levels(1, 2, 3, 2);
    panel.Redraw(true);

    using H = TGradingBitmapHandler;
    EXPECT_EQ(Lamp(panel, H::HoldLightX, 0), LightArt::LampColour(0, true));   // hold: red
    EXPECT_EQ(Lamp(panel, H::HoldLightX, 1), LightArt::LampColour(1, false));
    EXPECT_EQ(Lamp(panel, H::HoldLightX, 2), LightArt::LampColour(2, false));
    EXPECT_EQ(Lamp(panel, H::AimLightX, 1), LightArt::LampColour(1, true));    // aim: yellow
    EXPECT_EQ(Lamp(panel, H::AimLightX, 0), LightArt::LampColour(0, false));
    EXPECT_EQ(Lamp(panel, H::TrigLightX, 2), LightArt::LampColour(2, true));   // trigger: green
    EXPECT_EQ(Lamp(panel, H::TrigLightX, 0), LightArt::LampColour(0, false));
    // No light for the score: the left columns keep the background.
    EXPECT_EQ(PixelToColour(TPixelWord(panel.Bitmap().pixel(20, 80))), TFrameTrafficLights::OverlayBackground);
    EXPECT_EQ(PixelToColour(TPixelWord(panel.Bitmap().pixel(60, 80))), TFrameTrafficLights::OverlayBackground);

    // The overlay background becomes transparent; the lights stay opaque.
    const QImage overlay = panel.OverlayImage();
    EXPECT_EQ(qAlpha(overlay.pixel(5, 130)), 0);
    EXPECT_EQ(qAlpha(overlay.pixel(H::AimLightX + LightArt::LampX, H::LightsY + LightArt::LampY[1])), 255);

    panel.Redraw(false);
    EXPECT_EQ(PixelToColour(TPixelWord(panel.Bitmap().pixel(5, 130))), TColor(0xFFFFFF));
}

TEST_F(GradingPanel, HeadFollowsGunTypeAndOverallLevel)
{
    TFrameTrafficLights panel;
    const TGradingBitmapHandler& art = *GradingBitmaps();
    const auto head = [&] { return panel.Bitmap().copy(40, 0, 160, 36); };

    panel.levels = Levels(3, 3, 3, 3);
    panel.Redraw(true);
    EXPECT_EQ(head(), art.sportHead.image);
    GradingParameters.militaryGun = true;
    panel.Redraw(true);
    EXPECT_EQ(head(), art.head.image);
    panel.levels.level3 = 0;
    panel.Redraw(true);
    EXPECT_EQ(head(), art.headDisabled.image);
    GradingParameters.militaryGun = false;
    panel.Redraw(true);
    EXPECT_EQ(head(), art.sportHeadDisabled.image);

    // The 5-step set has no pictures: only the background is painted.
    GradingParameters.use5StepBitmaps = true;
    EXPECT_EQ(panel.DrawingMode(), 2);
    panel.Redraw(true);
    QImage blank = NewLayer(200, 136);
    blank.fill(QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(panel.Bitmap(), blank);
}

TEST_F(GradingPanel, TriggerLevelOutsideTheLightsDrawsLevelZero)
{
    TFrameTrafficLights panel;
    const TGradingBitmapHandler& art = *GradingBitmaps();
    for (int level : { -1, 4, 7, 1000 }) {
        panel.levels = Levels(2, 2, level, 2);
        panel.Redraw(true);
        EXPECT_EQ(Column(panel, TGradingBitmapHandler::TrigLightX), art.lights[0].image) << level;
        EXPECT_EQ(&art.Light(level), &art.lights[0]);
    }
    panel.levels = Levels(2, 2, 3, 2);
    panel.Redraw(true);
    EXPECT_EQ(Column(panel, TGradingBitmapHandler::TrigLightX), art.lights[3].image);
    EXPECT_FALSE(art.StanceGlyph(0).Loaded());
    EXPECT_TRUE(art.StanceGlyph(3).Loaded());
    EXPECT_FALSE(art.DifficultyGlyph(3).Loaded());
    EXPECT_TRUE(art.DifficultyGlyph(0).Loaded());
}

TEST_F(GradingPanel, BlinkingLightFollowsTheClock)
{
    TClockOverride fake;
    TFrameTrafficLights panel;
    const TGradingBitmapHandler& art = *GradingBitmaps();
    panel.levels = Levels(3, 2, 3, 3);
    panel.levels.blink[BlinkAim] = true;

    fake.clock.tick = 1500; // odd second: blinking picture
    panel.Redraw(true);
    EXPECT_EQ(Column(panel, TGradingBitmapHandler::AimLightX), art.blinking.image);
    EXPECT_EQ(Lamp(panel, TGradingBitmapHandler::AimLightX, 0), LightArt::Blinking);
    EXPECT_EQ(Column(panel, TGradingBitmapHandler::HoldLightX), art.lights[3].image);

    fake.clock.Advance(1000); // even second: the level's light
    panel.Redraw(true);
    EXPECT_EQ(Column(panel, TGradingBitmapHandler::AimLightX), art.lights[2].image);
}

TEST_F(GradingPanel, UngradedShotClearsTheLevels)
{
    TFrameTrafficLights panel;
    panel.levels = Levels(3, 3, 3, 3);
    panel.levels.blink[BlinkAim] = true;
    TShot shot;
    const ShotGradeRecord record = DrawGradingPanel(panel, shot);
    EXPECT_FALSE(record.valid);
    EXPECT_FALSE(panel.levels.valid);
    EXPECT_EQ(panel.levels.level3, 0);
    EXPECT_FALSE(panel.levels.blink[BlinkAim]);
    const TGradingBitmapHandler& art = *GradingBitmaps();
    EXPECT_EQ(Column(panel, TGradingBitmapHandler::HoldLightX), art.lights[0].image);
    EXPECT_EQ(panel.Bitmap().copy(40, 0, 160, 36), art.sportHeadDisabled.image);
}

TEST_F(GradingPanel, MissingPicturesLeaveOnlyTheBackground)
{
    TLogRecorder log;
    SetAppFolder(dir->path() + QStringLiteral("/nowhere"));
    TFrameTrafficLights panel;
    panel.levels = Levels(1, 2, 3, 3);
    panel.Redraw(true);
    QImage blank = NewLayer(200, 136);
    blank.fill(QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(panel.Bitmap(), blank);
    EXPECT_EQ(log.lines.size(), 19); // each grading picture reported once
    panel.Redraw(true);
    EXPECT_EQ(log.lines.size(), 19);
}

} // namespace

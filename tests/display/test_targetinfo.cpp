// The text column of the target view: shot details, distribution block and
// line placement. Texts are compared as strings, never as glyph pixels.
#include "DisplayTestSupport.h"

#include "Globals.h"
#include "Shotdata.h"
#include "Targetrenderer.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TargetDescription RingTarget(bool decimal)
{
    TargetDescription t;
    t.hasRing = 1;
    t.ringRecord = TestRing();
    t.ringRecord.SetNameText(QStringLiteral("Ring 10m"));
    t.ringRecord.SetDecimalScores(decimal);
    return t;
}

TargetDescription SilhouetteTarget()
{
    TargetDescription t;
    t.hasSilhouette = 1;
    t.silhouetteRecord.SetNameText(QStringLiteral("Figure"));
    t.silhouetteRecord.SetSize(500);
    t.silhouetteRecord.SetNominalDistance(100);
    return t;
}

class TargetInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureGuiApp();
        SetDecimalSeparator(QLatin1Char('.'));
    }

    void Use(const TargetDescription& t)
    {
        UseTarget(shooter, t);
        r.Target = t;
        r.Shooter = &shooter;
    }

    TShot* Ring(int tenths, int failures = 0) { return Add(NewRingShot(tenths, failures)); }
    TShot* Silhouette(int zone, int failures = 0, bool crh = false) { return Add(NewFieldShot(zone, crh, failures)); }
    TShot* Add(std::unique_ptr<TShot> shot)
    {
        shot->shotNumber = shooter.ShotCount() + 1;
        return shooter.AppendShot(std::move(shot));
    }

    QStringList Distribution()
    {
        r.InfoLines.clear();
        r.AddDistributionLines();
        return r.InfoLines;
    }

    QStringList Details(const TShot* shot)
    {
        r.InfoLines.clear();
        r.AddShotInfoLines(shot);
        return r.InfoLines;
    }

    TShooter shooter;
    TTargetRenderer r;
};

TEST_F(TargetInfo, ShotDetails)
{
    Use(RingTarget(true));
    TShot* ten = Ring(104);
    ten->raw.SetInnerTen(true);
    EXPECT_EQ(Details(ten), (QStringList { "Shot 1", "Score 10.4 X", "" }));

    TShot* flagged = Ring(95, 0x20);
    EXPECT_EQ(Details(flagged), (QStringList { "Shot 2", "N/A", "" }));
    // A score a damaged file left unknown is not shown as 25.5.
    EXPECT_EQ(Details(Ring(RawShotRecord::NoScore)), (QStringList { "Shot 3", "N/A", "" }));

    Use(RingTarget(false));
    TShot* nine = Ring(97);
    nine->raw.SetClockSector(3);
    nine->raw.SetRotation(-7);
    EXPECT_EQ(Details(nine), (QStringList { "Shot 4", "Score 9 @ 3", QString::fromUtf8("Rotation -7\u00B0"), "" }));
    EXPECT_TRUE(Details(nullptr).isEmpty());

    Use(SilhouetteTarget());
    EXPECT_EQ(Details(Silhouette(2)), (QStringList { "Shot 5", "Fatal hit", "" }));
    EXPECT_EQ(Details(Silhouette(3)).value(1), QStringLiteral("Near hit"));
    // A CRH hit wins over failure flags.
    EXPECT_EQ(Details(Silhouette(0, 0x01, true)).value(1), QStringLiteral("Hit CRH"));
    EXPECT_EQ(Details(Silhouette(1, 0x10)).value(1), QStringLiteral("N/A"));
    // An unknown zone has no word of its own.
    EXPECT_EQ(Details(Silhouette(7)), (QStringList { "Shot 9", "" }));
}

TEST_F(TargetInfo, RingDistributionRoundsAndSkipsSingleShots)
{
    Use(RingTarget(false));
    Ring(100);
    EXPECT_TRUE(Distribution().isEmpty());
    // Shots on another target are not part of it.
    Ring(100)->raw.SetRingTargetIndex(3);
    for (int tenths : { 105, 92, 95, 99 })
        Ring(tenths);
    Ring(80, 0x01);   // flagged, not the first
    for (int tenths : { 84, 71, 66, 50 })
        Ring(tenths);
    EXPECT_EQ(Distribution(), (QStringList { "", "Distribution", "10 - 2  (20%)", " 9 - 3  (30%)", " 8 - 1  (10%)",
                                             " 7 - 1  (10%)", "<6 - 2  (20%)", "N/A- 1  (10%)" }));

    // 18 shots: 1/18 is 5.6 % and rounds up; ten or more of a kind lose the
    // blank before the share.
    for (int i = 0; i < 8; ++i)
        Ring(93);
    EXPECT_EQ(Distribution().mid(3, 2), (QStringList { " 9 - 11 (61%)", " 8 - 1  (6%)" }));
}

TEST_F(TargetInfo, FlaggedFirstShotIsCountedOnlyOnItsOwnLine)
{
    Use(RingTarget(false));
    Ring(0, 0x02);
    Ring(25);
    Ring(14);
    Ring(RawShotRecord::NoScore);
    const QStringList lines = Distribution();
    EXPECT_EQ(lines, (QStringList { "", "Distribution", " 2 - 1  (25%)", " 1 - 1  (25%)", "N/A- 2  (50%)" }));

    // Nothing but flagged shots: the N/A line alone, at 100 %.
    TShooter onlyFlagged;
    onlyFlagged.targets = shooter.targets;
    onlyFlagged.AppendShot(NewRingShot(90, 0x10));
    onlyFlagged.AppendShot(NewRingShot(100, 0x10));
    r.Shooter = &onlyFlagged;
    EXPECT_EQ(Distribution(), (QStringList { "", "Distribution", "N/A- 2  (100%)" }));
    r.Shooter = &shooter;
}

TEST_F(TargetInfo, SilhouetteDistribution)
{
    Use(SilhouetteTarget());
    Silhouette(1);
    Silhouette(0);
    Silhouette(2);
    Silhouette(0, 0x01, true);   // CRH counts as a hit
    Silhouette(3, 0x40);
    EXPECT_EQ(Distribution(), (QStringList { "", "Distribution", "Hit   - 2  (40%)", "Miss  - 1  (20%)",
                                             "Fatal - 1  (20%)", "N/A   - 1  (20%)" }));
}

TEST_F(TargetInfo, PassPutsCountAndTotalOnTop)
{
    Use(RingTarget(false));
    r.SetSize(400, 300);
    Ring(97);
    Ring(104);
    Ring(88, 0x01);
    r.Render(TTargetRenderer::ViewAllShots);
    EXPECT_EQ(r.InfoLines.mid(0, 6), (QStringList { "Ring 10m", "Shots 3", "Total score 27", "", "", "Distribution" }));

    r.SelectedShot = shooter.GetShot(1);
    r.Render(TTargetRenderer::ViewSingleShot);
    EXPECT_EQ(r.InfoLines, (QStringList { "Ring 10m", "Shot 2", "Score 10 @ 0", "" }));

    r.SelectedShot = nullptr;
    Use(RingTarget(true));
    r.Render(TTargetRenderer::ViewAllShots);
    EXPECT_EQ(r.InfoLines.value(2), QStringLiteral("Total score 28.9"));
}

// Rows of the layer that hold any pixel of the text colour.
std::pair<int, int> TextRows(const QImage& image, TColor colour)
{
    int first = -1;
    int last = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (PixelToColour(TPixelWord(image.pixel(x, y))) == colour) {
                if (first < 0)
                    first = y;
                last = y;
                break;
            }
    return { first, last };
}

TEST_F(TargetInfo, LinesAreSpacedByTheLayerSize)
{
    for (auto [w, h, line] : { std::tuple { 250, 200, 16 }, { 800, 600, 30 } }) {
        TTargetRenderer view;
        view.SetSize(w, h);
        view.InfoLines = QStringList { "", "", "MHW" };
        {
            TTargetRenderer::TPaintScope scope(view);
            view.ClearStaticLayer();
            view.CopyStaticLayer();
            view.DrawInfoLines();
        }
        for (const QImage* layer : { &view.StaticLayer, &view.DisplayLayer }) {
            const auto [first, last] = TextRows(*layer, view.Colour(TTargetRenderer::ClrText));
            EXPECT_GE(first, 2 * line) << w;
            EXPECT_LT(last, 3 * line) << w;
        }
    }
}

} // namespace

#include "Shotstring.h"

#include "BitmapArt.h"
#include "DisplayTestSupport.h"
#include "Globals.h"
#include "UiBitmaps.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class ShotStringTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_GT(GeneratedArt().written, 0);
        UiBitmaps().Clear();
        UiBitmaps().SetFolder(GeneratedArt().root);
        LoadShotStringBitmaps();
    }

    void TearDown() override { SetDecimalSeparator(QLatin1Char('.')); }

    TShot* Ring(uint32_t time, int score, int group = 0, int failures = 0)
    {
        return Keep(NewRingShot(score, failures), time, group);
    }
    TShot* Field(uint32_t time, int zone, bool centreHit = false, int failures = 0)
    {
        return Keep(NewFieldShot(zone, centreHit, failures), time, 0);
    }
    TShot* Keep(std::unique_ptr<TShot> shot, uint32_t time, int group)
    {
        shot->raw.SetTime(time);
        shot->raw.SetStartupCounter(group);
        owned_.push_back(std::move(shot));
        list_.push_back(owned_.back().get());
        return list_.back();
    }

    void Build(TShotString& strip)
    {
        strip.SetShots(list_);
        strip.Draw();
    }

    // Each entry as "x|time text|burst start", '*' after a new group's.
    static QStringList Layout(const TShotString& strip)
    {
        QStringList entries;
        for (int i = 0; i < strip.EntryCount(); ++i) {
            const TShotOnString* e = strip.Entry(i);
            entries << QStringLiteral("%1|%2|%3%4").arg(e->x).arg(e->timeText).arg(e->burstStart).arg(e->newGroup ? "*" : "");
        }
        return entries;
    }

    static TColor At(const TShotString& strip, int x, int y)
    {
        return PixelToColour(TPixelWord(strip.Bitmap().pixel(x, y)));
    }

    std::vector<std::unique_ptr<TShot>> owned_;
    std::vector<TShot*> list_;
};

TEST_F(ShotStringTest, ClockAndBurstTexts)
{
    // 66 ticks a second; bursts in tenths of a second, rounded up.
    const std::pair<uint32_t, const char*> clocks[] = {
        { 0, " 0:00 " }, { 83 * 66, " 1:23 " }, { 237599, " 59:59 " },
        { 2 * 237600 + 3 * 3960 + 7 * 66, " 2:03:07 " }, { 0xFFFFFF, " 70:36:40 " },
    };
    for (const auto& [ticks, text] : clocks)
        EXPECT_EQ(TShotString::ClockText(ticks), QString::fromLatin1(text)) << ticks;
    const std::pair<int, const char*> bursts[] = { { 66, "+1.0" }, { 4, "+0.1" }, { 100, "+1.5" } };
    for (const auto& [ticks, text] : bursts)
        EXPECT_EQ(TShotString::BurstText(ticks), QString::fromLatin1(text)) << ticks;
    SetDecimalSeparator(QLatin1Char(','));
    EXPECT_EQ(TShotString::BurstText(66), QStringLiteral("+1,0"));
}

TEST_F(ShotStringTest, TimeScaledLayoutAndBursts)
{
    Ring(66, 100);
    Ring(132, 100);  // 66 ticks: 10 px, "+1.0"
    Ring(1132, 100); // 1000 ticks: 100 px, clock
    Ring(1264, 100); // 132 ticks: burst "+2.0", 20 px
    Ring(1397, 100); // 133 ticks: clock, 20 px
    TShotString strip;
    Build(strip);
    EXPECT_EQ(Layout(strip), (QStringList { "50| 0:01 |0*", "150|+1.0|0", "340| 0:17 |2", "450|+2.0|2", "560| 0:21 |-1" }));
    EXPECT_EQ(strip.Width(), 560 + 90 + 80);

    // Compact: every gap 10 px, texts unchanged.
    strip.compact = true;
    strip.Draw();
    EXPECT_EQ(strip.Entry(4)->x, 50 + 4 * 100);
}

TEST_F(ShotStringTest, NewGroupAndBackwardTimeEndBursts)
{
    Ring(600, 90, 1);
    Ring(660, 90, 2); // unit restarted: clock text and a full gap
    Ring(700, 90, 2); // 40 ticks: burst opened at shot 1
    Ring(700, 90, 2); // same tick: not a burst, no advance
    Ring(500, 90, 2); // earlier: not a burst, gap clamped to 0
    TShotString strip;
    Build(strip);
    // Icons 90 px apart; the restart adds a full gap, the burst 6 px.
    EXPECT_EQ(Layout(strip), (QStringList { "50| 0:09 |-1*", "240| 0:10 |1*", "336|+0.6|1", "426| 0:10 |-1", "516| 0:07 |-1" }));
}

TEST_F(ShotStringTest, LabelsAndIcons)
{
    Ring(10, 87);
    Ring(1000, 0);
    Ring(2000, 104, 0, 0x20);
    Field(3000, 0);
    Field(3500, 1);
    Field(4000, 2);
    Field(5000, 3);
    Field(6000, 1, true, 0x20); // centre hit wins over the failure
    Field(7000, 2, false, 0x01);
    Field(8000, 9);             // not a zone: a miss
    Ring(9000, RawShotRecord::NoScore); // unknown score from a damaged file
    TShotString strip;
    Build(strip);

    const std::pair<const char*, TStripIcon> expected[] = {
        { " 8 ", TStripIcon::HitRange },    { " 0 ", TStripIcon::MissRange },
        { " N/A ", TStripIcon::MissRange }, { " MISS ", TStripIcon::MissField },
        { " HIT ", TStripIcon::HitField },   { " FATAL ", TStripIcon::HitField }, { " NEAR ", TStripIcon::HitField },
        { " HIT CRH", TStripIcon::HitField }, { " N/A ", TStripIcon::MissField },
        { " MISS ", TStripIcon::MissField }, { " N/A ", TStripIcon::MissRange },
    };
    ASSERT_EQ(strip.EntryCount(), 11);
    for (int i = 0; i < 11; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(strip.Entry(i)->label, QString::fromLatin1(expected[i].first));
        EXPECT_EQ(strip.Entry(i)->icon, expected[i].second);
    }

    strip.decimals = true;
    strip.Draw();
    EXPECT_EQ(strip.Entry(0)->label, QStringLiteral(" 8.7 "));
    EXPECT_EQ(strip.Entry(2)->label, QStringLiteral(" N/A "));
    SetDecimalSeparator(QLatin1Char(','));
    strip.Draw();
    EXPECT_EQ(strip.Entry(0)->label, QStringLiteral(" 8,7 "));
}

TEST_F(ShotStringTest, EmptyStripAndFindShotAt)
{
    TShotString strip;
    EXPECT_EQ(strip.FindShotAt(0), nullptr);
    strip.Draw();
    EXPECT_EQ(strip.Width(), 130);
    strip.minWidth = 1000;
    strip.SetShots(static_cast<const TShooter*>(nullptr));
    strip.Draw();
    EXPECT_EQ(std::tuple(strip.Width(), strip.FindShotAt(100)), std::tuple(1000, nullptr));

    // A click on an entry selects it in the viewer's own tests; past the
    // ends the nearest entry is found.
    for (int i = 0; i < 5; ++i)
        Ring(uint32_t(1000 * (i + 1)), 90);
    Build(strip);
    ASSERT_EQ(strip.EntryCount(), 5);
    EXPECT_EQ(std::tuple(strip.FindShotAt(-500)->index, strip.FindShotAt(100000)->index), std::tuple(0, 4));

    // The list shrinks: a click where the old last shot was lands on a
    // shot of the new list, never on a stale entry.
    const int farRight = strip.Entry(4)->xCentre + 10;
    strip.SetShots(std::vector<TShot*>(list_.begin(), list_.begin() + 2));
    EXPECT_EQ(strip.FindShotAt(farRight), nullptr); // no layout yet
    strip.Draw();
    ASSERT_EQ(strip.EntryCount(), 2);
    const TShotOnString* hit = strip.FindShotAt(farRight);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(std::tuple(hit->shot, strip.Entry(2)), std::tuple(list_[1], nullptr));

    strip.Clear();
    EXPECT_EQ(strip.FindShotAt(farRight), nullptr);
}

TEST_F(ShotStringTest, BurstSelectionRules)
{
    for (uint32_t t : { 100, 150, 200, 2000, 4000, 6000, 6100, 6150 })
        Ring(t, 90); // bursts 0..2 and 5..7, lone shots 3 and 4
    TShotString strip;
    strip.selectBurst = true;
    strip.selected = 7;
    Build(strip);
    EXPECT_EQ(std::tuple(strip.rangeFirst, strip.rangeLast), std::tuple(5, 7));

    // A lone shot selects no range, not the other lone shots.
    strip.selected = 3;
    strip.Draw();
    EXPECT_EQ(std::tuple(strip.rangeFirst, strip.rangeLast), std::tuple(-1, -1));

    // Without burst selection a range set by a drag stays as given.
    strip.selectBurst = false;
    strip.showRange = true;
    strip.rangeFirst = 2;
    strip.rangeLast = 4;
    strip.Draw();
    EXPECT_EQ(std::tuple(strip.rangeFirst, strip.rangeLast), std::tuple(2, 4));
}

TEST_F(ShotStringTest, PaintedBarsMarkersAndHighlights)
{
    Ring(100, 90, 0);
    Ring(150, 90, 0);
    Ring(5000, 90, 1);
    TShotString strip;
    strip.showRange = true;
    strip.rangeFirst = 0;
    strip.rangeLast = 1;
    Build(strip);
    const TShotOnString* a = strip.Entry(0);
    const TShotOnString* b = strip.Entry(1);
    const TShotOnString* c = strip.Entry(2);

    // The bar between the icons; the pause marker centred in the gap before
    // the new group, with its key colour dropped.
    EXPECT_EQ(std::tuple(At(strip, b->x - 1, 33), At(strip, a->x + 30, 34)), std::tuple(clWhite, TShotString::StripColour));
    const int markerX = (c->x + b->x + 30 - 12) / 2;
    EXPECT_EQ(At(strip, markerX + 2, TShotString::IconY + 10), clWhite);
    EXPECT_EQ(At(strip, markerX + 6, TShotString::IconY + 10), TShotString::StripColour);

    // A text cell in the range shows the highlight in its leading blank.
    QImage probe = NewLayer(1, 1);
    TCanvas measure(probe);
    measure.SetFont(QStringLiteral("Tahoma"), 14, false);
    const int left = b->x + 15 - measure.TextWidth(b->label) / 2;
    EXPECT_EQ(At(strip, left + 1, TShotString::LabelY + 1), TShotString::HighlightColour);
}

// A long session as the viewer shows it: one shot after another, the view
// following the newest, then scrolled through the whole strip.
class LongStripTest : public ShotStringTest {
protected:
    static constexpr int View = 700;

    void MakeSession(int shots)
    {
        uint32_t time = 66;
        for (int i = 0; i < shots; ++i) {
            // Lone shots, bursts of three, and a restart every 40 shots.
            time += i % 4 == 0 ? 1500 + 66 * (i % 7) : 50;
            Ring(time, 50 + i % 60, i / 40);
        }
    }

    // The strip as drawn with a view as wide as itself: every pixel painted.
    QImage Whole(TShotString& strip)
    {
        strip.Reveal(0, 1 << 20);
        strip.Draw();
        EXPECT_EQ(std::tuple(strip.BitmapLeft(), strip.Bitmap().width()), std::tuple(0, strip.Width()));
        return strip.Bitmap().copy();
    }

    // What a view of width View at position shows.
    static QImage Shown(TShotString& strip, int position)
    {
        strip.Reveal(position, View);
        return strip.Bitmap().copy(position - strip.BitmapLeft(), 0, View, TShotString::StripHeight);
    }
};

TEST_F(LongStripTest, EveryScrollPositionShowsTheWholeStripsPixels)
{
    MakeSession(300);
    TShotString strip;
    strip.selectBurst = true;
    strip.selected = 150;
    strip.SetShots(list_);
    const QImage whole = Whole(strip);
    ASSERT_GT(strip.Width(), 30 * View);

    // Painted again around the view; scrolled in steps that are not whole
    // entries, far jumps, both ends.
    strip.Reveal(strip.Width() - View, View);
    strip.Draw();
    EXPECT_LE(strip.Bitmap().width(), TShotString::PaintedViews * View);
    std::vector<int> positions {strip.Width() - View, 0, 1, 333, 5000, 4999, strip.Width() / 2, 211, strip.Width() - View - 1};
    for (int p = 0; p < strip.Width() - View; p += 257)
        positions.push_back(p);
    for (int position : positions) {
        SCOPED_TRACE(position);
        ASSERT_EQ(Shown(strip, position), whole.copy(position, 0, View, TShotString::StripHeight));
    }

    // Clicks find entries far outside the painted part.
    strip.Reveal(strip.Width() - View, View);
    for (int i : {0, 1, 150, 298}) {
        const TShotOnString* entry = strip.Entry(i);
        EXPECT_EQ(strip.FindShotAt(entry->xCentre), entry) << i;
    }
}

TEST_F(LongStripTest, GrowingSessionKeepsOnePictureAndFewTextCells)
{
    MakeSession(600);
    TShotString strip;
    strip.minWidth = View - 2;
    const uchar* picture = nullptr;
    for (int n = 1; n <= int(list_.size()); ++n) {
        strip.SetShots(std::vector<TShot*>(list_.begin(), list_.begin() + n));
        strip.selected = n - 1;
        strip.Reveal(std::max(0, strip.Width() - View), View);
        strip.Draw();
        strip.Reveal(std::max(0, strip.Width() - View), View);
        // Once the strip is three views wide its picture is never made again.
        if (strip.Width() >= TShotString::PaintedViews * View) {
            if (!picture)
                picture = strip.Bitmap().constBits();
            ASSERT_EQ(strip.Bitmap().constBits(), picture) << n;
        }
    }
    EXPECT_EQ(strip.Bitmap().width(), TShotString::PaintedViews * View);
    // Every shot has a clock text of its own; scrolling all the way back
    // keeps the cache bounded.
    for (int p = strip.Width(); p >= 0; p -= View)
        strip.Reveal(p, View);
    EXPECT_LE(strip.TextCellCount(), int(TShotString::MaxTextCells));

    // The newest shot, highlighted, as the user sees it at the end.
    const QImage end = Shown(strip, strip.Width() - View);
    const QImage whole = Whole(strip);
    EXPECT_EQ(end, whole.copy(strip.Width() - View, 0, View, TShotString::StripHeight));
}

} // namespace

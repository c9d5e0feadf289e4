// The render pass: view modes, ring bands and outlines, silhouette cells and
// the status icons, probed at pixels computed through MapX / MapY.
#include "Device.h"
#include "Shotdata.h"
#include "DisplayTestSupport.h"
#include "NetworkStatusProvider.h"
#include "Targetrenderer.h"
#include "UiBitmaps.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

#include <gtest/gtest.h>

namespace {

constexpr uint32_t Background = 0x808080;
constexpr uint32_t Disc = 0xC0C0C0;
constexpr uint32_t Black = 0x404040;

// Ring k has radius 4 + (10 - k) x 4 mm; black area radius 20 mm, inner white
// disc 3 mm, X ring 1 mm.
RingTargetRecord MakeRing()
{
    RingTargetRecord ring;
    ring.SetHighestRing(10);
    ring.SetMinimumRing(1);
    ring.SetDiameterHighestRing(80);
    ring.SetHitRingGap(40);
    ring.SetDiameterBlackArea(400);
    ring.SetDiameterInnerWhite(60);
    ring.SetDiameterX(20);
    ring.SetNominalDistance(100);
    ring.SetCaliber(450);
    return ring;
}

// 128 mm square (2 mm cells), all "hit", with a few marked cells.
void MakeSilhouette(TargetDescription& t)
{
    t.hasSilhouette = 1;
    t.silhouetteRecord.SetSize(128);
    t.silhouetteRecord.SetNominalDistance(100);
    for (int c = 0; c < 64; ++c)
        for (int r = 0; r < 64; ++r)
            t.silhouetteMatrix.SetCell(c, r, 1);
    t.silhouetteMatrix.SetCell(10, 20, 2);
    t.silhouetteMatrix.SetCell(50, 5, 3);
    t.silhouetteMatrix.SetCell(3, 60, 0);
    // A damaged zone byte (the cell setter masks, the raw record need not).
    t.silhouetteMatrix.data()[8 + 64 * 40 + 40] = 7;
}

uint32_t ColourAt(const QImage& image, int x, int y)
{
    return PixelToColour(TPixelWord(image.pixel(x, y))).bgr;
}

class TargetDrawTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureGuiApp();
        r.SetSize(400, 400); // 4 px/mm, centre (200, 200)
    }

    uint32_t At(double xmm, double ymm) const { return ColourAt(r.StaticLayer, r.MapX(xmm), r.MapY(ymm)); }
    // Centre of silhouette cell (c, r).
    uint32_t Cell(int c, int row) const
    {
        const double s = r.SilhouetteCell;
        return At((c - 31.5) * s, (31.5 - row) * s);
    }

    TTargetRenderer r;
};

} // namespace

TEST_F(TargetDrawTest, RingBandsByRadius)
{
    r.Target.hasRing = 1;
    r.Target.ringRecord = MakeRing();
    r.Render(-1);
    EXPECT_EQ(r.ViewMode, 6);

    EXPECT_EQ(At(45, 0), Background);     // outside ring 1 (40 mm)
    EXPECT_EQ(At(0, -34), Disc);          // between rings 2 and 1, outside the black area
    EXPECT_EQ(At(-26, 0), Disc);
    EXPECT_EQ(At(18, 0), Black);          // inside the black area (20 mm)
    EXPECT_EQ(At(0, 10), Black);
    EXPECT_EQ(At(0, 2), Disc);            // inner white disc (3 mm)
    EXPECT_EQ(At(0, -1.6), Disc);

    // Ring outlines in slot 3 cut across the black area at every 4 mm.
    for (int k = 7; k <= 9; ++k) {
        const int x = r.MapX(r.RingRadius(k));
        bool outline = false;
        for (int dx = -1; dx <= 0; ++dx)
            outline = outline || ColourAt(r.StaticLayer, x + dx, r.CentreY) == 0x808080;
        EXPECT_TRUE(outline) << "ring " << k;
        EXPECT_EQ(ColourAt(r.StaticLayer, x + 3, r.CentreY), Black) << "ring " << k;
    }
    // The dashed X ring in slot 4 (yellow) near 1 mm.
    bool xring = false;
    for (int dx = -2; dx <= 1; ++dx)
        for (int dy = -6; dy <= 6; ++dy)
            xring = xring || ColourAt(r.StaticLayer, r.MapX(1.0) + dx, r.CentreY + dy) == 0x00FFFF;
    EXPECT_TRUE(xring);

    // Without a shooter the pass ends after the picture: both layers equal.
    EXPECT_EQ(r.DisplayLayer, r.StaticLayer);
    EXPECT_TRUE(r.InfoLines.isEmpty());

    // Colour slots are read at draw time.
    r.Colours[1] = TColor(0x00FF00);
    r.Render(-1);
    EXPECT_EQ(At(18, 0), 0x00FF00u);
}

TEST_F(TargetDrawTest, SilhouetteCellsAndDamagedZones)
{
    MakeSilhouette(r.Target);
    r.SetZoomField(200); // 2 px/mm, 4 px cells
    ASSERT_DOUBLE_EQ(r.SilhouetteCell, 2.0);
    r.Render(6);

    EXPECT_EQ(Cell(0, 0), Black);        // hit (slot 7)
    EXPECT_EQ(Cell(63, 63), Black);
    EXPECT_EQ(Cell(10, 20), 0x0000E0u);  // fatal (slot 8)
    EXPECT_EQ(Cell(50, 5), 0x808080u);   // near (slot 9)
    EXPECT_EQ(Cell(3, 60), Disc);        // miss (slot 6)
    EXPECT_EQ(Cell(40, 40), Disc);       // zone byte 7: drawn as a miss
    EXPECT_EQ(Cell(40, 39), Black);
    EXPECT_EQ(Cell(40, 41), Black);
    // Outside the square: background.
    EXPECT_EQ(At(70, 0), Background);
    EXPECT_EQ(At(0, -70), Background);

    // Cell edges follow MapX / MapY exactly: the fatal cell covers from its
    // left/top edge up to, not including, its right/bottom edge.
    const double s = r.SilhouetteCell;
    const int left = r.MapX((10 - 32) * s);
    const int right = r.MapX((10 - 31) * s);
    const int top = r.MapY((32 - 20) * s);
    const int bottom = r.MapY((31 - 20) * s);
    EXPECT_EQ(ColourAt(r.StaticLayer, left, top), 0x0000E0u);
    EXPECT_EQ(ColourAt(r.StaticLayer, right - 1, bottom - 1), 0x0000E0u);
    EXPECT_EQ(ColourAt(r.StaticLayer, right, top), Black);
    EXPECT_EQ(ColourAt(r.StaticLayer, left, bottom), Black);
    EXPECT_EQ(ColourAt(r.StaticLayer, left - 1, top), Black);
}

TEST_F(TargetDrawTest, CombinedTargetHasOutlinesWithShadowAndNoDiscs)
{
    MakeSilhouette(r.Target);
    r.Target.hasRing = 1;
    r.Target.ringRecord = MakeRing();
    r.SetZoomField(200);
    r.Render(6);

    // Between the rings the silhouette shows through (no discs).
    EXPECT_EQ(Cell(29, 29), Black); // 7.1 mm out, between rings 10 and 9
    const double s = r.SilhouetteCell;
    EXPECT_EQ(At((10 - 31.5) * s, (31.5 - 20) * s), 0x0000E0u);
    EXPECT_NE(At(0, 2), Disc) << "no inner white disc over a silhouette";

    // Each outline has a black copy 1 pixel right and down.
    const int x = r.MapX(r.RingRadius(3));
    bool shadow = false;
    for (int dx = -2; dx <= 2; ++dx)
        shadow = shadow || ColourAt(r.StaticLayer, x + dx, r.CentreY + 1) == 0x000000;
    EXPECT_TRUE(shadow);
}

TEST_F(TargetDrawTest, ViewModesChooseWhatIsDrawn)
{
    MakeSilhouette(r.Target);
    r.SetZoomField(200);

    // Graph modes on a silhouette-only target: the normal pass without cells.
    for (int mode : {4, 5}) {
        r.Render(mode);
        EXPECT_EQ(r.ViewMode, mode);
        EXPECT_EQ(Cell(10, 20), Background) << mode;
        EXPECT_EQ(Cell(0, 0), Background) << mode;
    }

    // Text page: no target picture at all.
    r.Target.hasRing = 1;
    r.Target.ringRecord = MakeRing();
    r.Render(0);
    EXPECT_EQ(r.ViewMode, 0);
    EXPECT_EQ(Cell(10, 20), Background);
    EXPECT_EQ(At(18, 0), Background);

    // -1 keeps the mode.
    r.Render(-1);
    EXPECT_EQ(r.ViewMode, 0);
    r.Render(3);
    EXPECT_EQ(At(18, 0), Black);
    EXPECT_EQ(r.DisplayLayer, r.StaticLayer);
}

TEST_F(TargetDrawTest, RingPictureNeedsARing)
{
    TTargetRenderer::TPaintScope scope(r);
    try {
        r.DrawRingTargetBackground();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("DrawRingTargetBackground without using ring"));
    }
}

TEST_F(TargetDrawTest, ZeroingWithoutDeviceSkipsTheOverlay)
{
    r.Target.hasRing = 1;
    r.Target.ringRecord = MakeRing();
    r.Zeroing = 1;
    r.Render(6);
    EXPECT_EQ(At(18, 0), Black);
    EXPECT_EQ(At(-26, 0), Disc);
    EXPECT_EQ(r.DisplayLayer, r.StaticLayer);
    // The target name line is still drawn in zeroing mode.
    ASSERT_FALSE(r.InfoLines.isEmpty());
    EXPECT_EQ(r.InfoLines.first(), GetTargetName(r.Target));
}

namespace {

class TFakeNetwork : public INetworkStatusProvider {
public:
    TNetworkIcon IconFor(const QString&) const override { return icon; }
    bool NetworkDisabled() const override { return disabled; }
    TNetworkIcon icon = TNetworkIcon::None;
    bool disabled = true;
};

void WriteBitmap(const QString& folder, const QString& name, int w, int h, uint32_t rgb)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(0xFF000000u | rgb);
    ASSERT_TRUE(image.save(folder + QStringLiteral("/Bitmaps/") + name, "BMP"));
}

} // namespace

TEST_F(TargetDrawTest, StatusIconsAtTheBottomLeft)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Bitmaps")));
    WriteBitmap(dir.path(), QStringLiteral("Bluetooth_OK.bmp"), 20, 10, 0x0000FF);
    WriteBitmap(dir.path(), QStringLiteral("Bluetooth_Disabled.bmp"), 20, 10, 0xFF0000);
    WriteBitmap(dir.path(), QStringLiteral("Network_Connected.bmp"), 16, 12, 0x00FF00);
    WriteBitmap(dir.path(), QStringLiteral("Network_NotConnected.bmp"), 16, 12, 0xFFFF00);
    UiBitmaps().SetFolder(dir.path());
    UiBitmaps().Clear();

    TDevice device;
    r.Device = &device;
    const int h = r.LayerHeight();

    // Not on a Bluetooth port: no icon.
    r.Render(6);
    EXPECT_EQ(ColourAt(r.StaticLayer, 5, h - 5), Background);

    // Bluetooth, no network: the Bluetooth icon alone at the corner, by the
    // sample-stream state. Pixel words are 0x00RRGGBB; colours 0x00BBGGRR.
    device.bluetooth = true;
    device.sampleStream = true;
    r.Render(6);
    EXPECT_EQ(ColourAt(r.StaticLayer, 2, h - 3), 0xFF0000u);       // blue, Bluetooth_OK
    EXPECT_EQ(ColourAt(r.StaticLayer, 21, h - 12), 0xFF0000u);
    EXPECT_EQ(ColourAt(r.StaticLayer, 22, h - 3), Background);
    EXPECT_EQ(ColourAt(r.StaticLayer, 2, h - 13), Background);
    EXPECT_EQ(ColourAt(r.DisplayLayer, 2, h - 3), 0xFF0000u);
    device.sampleStream = false;
    r.Render(6);
    EXPECT_EQ(ColourAt(r.StaticLayer, 2, h - 3), 0x0000FFu);       // red, Bluetooth_Disabled

    // With the network in use the Bluetooth icon moves above the network
    // icon, which needs the view's own flag.
    TFakeNetwork network;
    network.disabled = false;
    network.icon = TNetworkIcon::Connected;
    SetNetworkStatusProvider(&network);
    r.Render(6);
    EXPECT_EQ(ColourAt(r.StaticLayer, 2, h - 3), Background);
    EXPECT_EQ(ColourAt(r.StaticLayer, 2, h - 2 - 10 - 14), 0x0000FFu);
    r.ShowNetworkIcon = true;
    r.Render(6);
    EXPECT_EQ(ColourAt(r.StaticLayer, 2, h - 3), 0x00FF00u);       // green, connected
    EXPECT_EQ(ColourAt(r.StaticLayer, 17, h - 14), 0x00FF00u);
    network.icon = TNetworkIcon::NotConnected;
    r.Render(6);
    EXPECT_EQ(ColourAt(r.StaticLayer, 2, h - 3), 0x00FFFFu);       // cyan word 0xFFFF00 -> colour 0x00FFFF
    network.icon = TNetworkIcon::None;
    r.Render(6);
    EXPECT_EQ(ColourAt(r.StaticLayer, 2, h - 3), Background);
    SetNetworkStatusProvider(nullptr);

    r.Device = nullptr;
    UiBitmaps().Clear();
    UiBitmaps().SetFolder(QString());
}

TEST_F(TargetDrawTest, PassLinesCountAndTotal)
{
    SetDecimalSeparator(QLatin1Char('.'));
    r.Target.hasRing = 1;
    r.Target.ringRecord = MakeRing();
    r.Target.ringRecord.SetNameText(QStringLiteral("Ring 10m"));
    TShooter shooter;
    shooter.targets.ringTargets[0] = r.Target.ringRecord;
    shooter.targets.ringDefined[0] = 1;
    shooter.currentTarget = r.Target;
    r.Shooter = &shooter;

    // A shooter without shots: the pass ends after the picture, no lines.
    r.Render(6);
    EXPECT_TRUE(r.InfoLines.isEmpty());

    const int scores[] = { 95, 87, 100 };
    for (int i = 0; i < 3; ++i) {
        auto shot = std::make_unique<TShot>();
        shot->raw.SetShotNumber(i + 1);
        shot->raw.SetRingTargetIndex(0);
        shot->raw.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
        shot->raw.SetScore(scores[i]);
        shot->raw.SetX(10 * i);
        shot->shotNumber = i + 1;
        shooter.AppendShot(std::move(shot));
    }
    r.Render(6);
    ASSERT_GE(r.InfoLines.size(), 4);
    EXPECT_EQ(r.InfoLines[0], QStringLiteral("Ring 10m"));
    EXPECT_EQ(r.InfoLines[1], QStringLiteral("Shots 3"));
    EXPECT_EQ(r.InfoLines[2], QStringLiteral("Total score 27"));
    EXPECT_EQ(r.InfoLines[3], QString());
    EXPECT_EQ(r.ScoreTotal, 27);

    shooter.currentTarget.ringRecord.SetDecimalScores(true);
    r.Render(6);
    ASSERT_GE(r.InfoLines.size(), 3);
    EXPECT_EQ(r.InfoLines[2], QStringLiteral("Total score 28.2"));
    EXPECT_EQ(r.ScoreTotal, 282);

    // A flagged selected shot shows its lines only: no mark, crosshair or
    // trace.
    TShot* flagged = shooter.GetShot(1);
    flagged->raw.SetFailures(RawShotRecord::FailFOV);
    r.SelectedShot = flagged;
    r.Render(3);
    EXPECT_EQ(r.InfoLines[0], QStringLiteral("Ring 10m"));
    EXPECT_EQ(r.GroupCount, 0);
    EXPECT_EQ(r.DisplayLayer, r.StaticLayer);
    r.Shooter = nullptr;
    r.SelectedShot = nullptr;
}

// The render pass: view modes, ring bands and outlines, silhouette cells and
// the status icons, probed at pixels computed through MapX / MapY.
#include "Device.h"
#include "DisplayTestSupport.h"
#include "NetworkStatusProvider.h"
#include "Shotdata.h"
#include "Targetrenderer.h"
#include "UiBitmaps.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr uint32_t Background = 0x808080;
constexpr uint32_t Disc = 0xC0C0C0;
constexpr uint32_t Black = 0x404040;
constexpr uint32_t Fatal = 0x0000E0;

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

    void UseRing()
    {
        r.Target.hasRing = 1;
        r.Target.ringRecord = TestRing();
    }
    // 128 mm square (2 mm cells), all "hit", with a few marked cells; drawn
    // at 2 px/mm.
    void UseSilhouette()
    {
        TargetDescription& t = r.Target;
        t.hasSilhouette = 1;
        t.silhouetteRecord.SetSize(128);
        t.silhouetteRecord.SetNominalDistance(100);
        for (int c = 0; c < 64; ++c)
            for (int row = 0; row < 64; ++row)
                t.silhouetteMatrix.SetCell(c, row, 1);
        t.silhouetteMatrix.SetCell(10, 20, 2);
        t.silhouetteMatrix.SetCell(50, 5, 3);
        t.silhouetteMatrix.SetCell(3, 60, 0);
        // A damaged zone byte (the cell setter masks, the raw record need not).
        t.silhouetteMatrix.data()[8 + 64 * 40 + 40] = 7;
        r.SetZoomField(200);
    }

    uint32_t At(double xmm, double ymm) const { return ColourAt(r.StaticLayer, r.MapX(xmm), r.MapY(ymm)); }
    // Centre of silhouette cell (c, row).
    uint32_t Cell(int c, int row) const
    {
        const double s = r.SilhouetteCell;
        return At((c - 31.5) * s, (31.5 - row) * s);
    }
    // Whether any pixel of the box around (x, y) has the colour.
    bool Near(int x, int y, int dx0, int dx1, int dy, uint32_t colour) const
    {
        for (int i = dx0; i <= dx1; ++i)
            for (int j = -dy; j <= dy; ++j)
                if (ColourAt(r.StaticLayer, x + i, y + j) == colour)
                    return true;
        return false;
    }

    TTargetRenderer r;
};

TEST_F(TargetDrawTest, RingBandsByRadius)
{
    UseRing();
    r.Render(-1);
    EXPECT_EQ(At(45, 0), Background); // outside ring 1 (40 mm)
    EXPECT_EQ(At(0, -34), Disc);      // outside the black area
    EXPECT_EQ(At(18, 0), Black);      // inside the black area (20 mm)
    EXPECT_EQ(At(0, 2), Disc);        // inner white disc (3 mm)

    // Ring outlines in slot 3 cut across the black area at every 4 mm.
    for (int k = 7; k <= 9; ++k) {
        const int x = r.MapX(r.RingRadius(k));
        EXPECT_TRUE(Near(x, r.CentreY, -1, 0, 0, 0x808080)) << "ring " << k;
        EXPECT_EQ(ColourAt(r.StaticLayer, x + 3, r.CentreY), Black) << "ring " << k;
    }
    // The dashed X ring in slot 4 (yellow) near 1 mm.
    EXPECT_TRUE(Near(r.MapX(1.0), r.CentreY, -2, 1, 6, 0x00FFFF));

    // Without a shooter the pass ends after the picture: both layers equal.
    EXPECT_EQ(std::tuple(r.DisplayLayer, r.InfoLines.isEmpty()), std::tuple(r.StaticLayer, true));

    // Colour slots are read at draw time.
    r.Colours[1] = TColor(0x00FF00);
    r.Render(-1);
    EXPECT_EQ(At(18, 0), 0x00FF00u);
}

TEST_F(TargetDrawTest, SilhouetteCellsAndDamagedZones)
{
    UseSilhouette();
    ASSERT_DOUBLE_EQ(r.SilhouetteCell, 2.0);
    r.Render(6);

    EXPECT_EQ(Cell(63, 63), Black);     // hit (slot 7)
    EXPECT_EQ(Cell(10, 20), Fatal);     // fatal (slot 8)
    EXPECT_EQ(Cell(50, 5), 0x808080u);  // near (slot 9)
    EXPECT_EQ(Cell(3, 60), Disc);       // miss (slot 6)
    EXPECT_EQ(Cell(40, 40), Disc);      // zone byte 7: drawn as a miss
    EXPECT_EQ(Cell(40, 41), Black);
    EXPECT_EQ(At(70, 0), Background);   // outside the square

    // Cell edges follow MapX / MapY exactly: the fatal cell covers from its
    // left/top edge up to, not including, its right/bottom edge.
    const double s = r.SilhouetteCell;
    const int left = r.MapX((10 - 32) * s);
    const int right = r.MapX((10 - 31) * s);
    const int top = r.MapY((32 - 20) * s);
    const int bottom = r.MapY((31 - 20) * s);
    EXPECT_EQ(std::tuple(ColourAt(r.StaticLayer, left, top), ColourAt(r.StaticLayer, right - 1, bottom - 1)),
              std::tuple(Fatal, Fatal));
    EXPECT_EQ(std::tuple(ColourAt(r.StaticLayer, right, top), ColourAt(r.StaticLayer, left, bottom)), std::tuple(Black, Black));
    EXPECT_EQ(ColourAt(r.StaticLayer, left - 1, top), Black);
}

TEST_F(TargetDrawTest, CombinedTargetHasOutlinesWithShadowAndNoDiscs)
{
    UseSilhouette();
    UseRing();
    r.Render(6);

    // Between the rings the silhouette shows through (no discs).
    EXPECT_EQ(Cell(29, 29), Black); // 7.1 mm out, between rings 10 and 9
    EXPECT_EQ(Cell(10, 20), Fatal);
    EXPECT_NE(At(0, 2), Disc) << "no inner white disc over a silhouette";
    // Each outline has a black copy 1 pixel right and down.
    EXPECT_TRUE(Near(r.MapX(r.RingRadius(3)), r.CentreY + 1, -2, 2, 0, 0x000000));
}

TEST_F(TargetDrawTest, ViewModesChooseWhatIsDrawn)
{
    UseSilhouette();
    // Graph modes on a silhouette-only target: the normal pass without cells.
    for (int mode : { 4, 5 }) {
        r.Render(mode);
        EXPECT_EQ(Cell(10, 20), Background) << mode;
    }

    // Text page: no target picture at all; -1 keeps the mode.
    UseRing();
    r.Render(0);
    r.Render(-1);
    EXPECT_EQ(std::tuple(r.ViewMode, Cell(10, 20), At(18, 0)), std::tuple(0, Background, Background));
    r.Render(3);
    EXPECT_EQ(At(18, 0), Black);
}

TEST_F(TargetDrawTest, RingPictureNeedsARing)
{
    TTargetRenderer::TPaintScope scope(r);
    EXPECT_EQ(ThrownMessage([&] { r.DrawRingTargetBackground(); }),
              QStringLiteral("DrawRingTargetBackground without using ring"));
}

TEST_F(TargetDrawTest, ZeroingWithoutDeviceSkipsTheOverlay)
{
    UseRing();
    r.Zeroing = 1;
    r.Render(6);
    EXPECT_EQ(std::tuple(At(18, 0), r.DisplayLayer), std::tuple(Black, r.StaticLayer));
    // The target name line is still drawn in zeroing mode.
    ASSERT_FALSE(r.InfoLines.isEmpty());
    EXPECT_EQ(r.InfoLines.first(), GetTargetName(r.Target));
}

class TFakeNetwork : public INetworkStatusProvider {
public:
    TNetworkIcon IconFor(const QString&) const override { return icon; }
    bool NetworkDisabled() const override { return false; }
    TNetworkIcon icon = TNetworkIcon::Connected;
};

TEST_F(TargetDrawTest, StatusIconsAtTheBottomLeft)
{
    // Plain pictures: pixel words are 0x00RRGGBB, colours 0x00BBGGRR.
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Bitmaps")));
    const auto write = [&](const char* name, int w, int h, uint32_t rgb) {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(0xFF000000u | rgb);
        ASSERT_TRUE(image.save(dir.path() + QStringLiteral("/Bitmaps/") + QLatin1String(name), "BMP"));
    };
    write("Bluetooth_OK.bmp", 20, 10, 0x0000FF);
    write("Network_Connected.bmp", 16, 12, 0x00FF00);
    write("Network_NotConnected.bmp", 16, 12, 0xFFFF00);
    UiBitmaps().SetFolder(dir.path());
    UiBitmaps().Clear();

    TDevice device;
    r.Device = &device;
    const int h = r.LayerHeight();
    const auto corner = [&](int x = 2, int y = 3) { return ColourAt(r.StaticLayer, x, h - y); };

    // Bluetooth with a sample stream, no network: the icon alone at the corner.
    device.SetBluetooth(true);
    device.SetSampleStream(true);
    r.Render(6);
    EXPECT_EQ(std::tuple(corner(), corner(21, 12), corner(22, 3), corner(2, 13)),
              std::tuple(0xFF0000u, 0xFF0000u, Background, Background));

    // With the network shown, its icon takes the corner and Bluetooth moves up.
    TFakeNetwork network;
    SetNetworkStatusProvider(&network);
    r.ShowNetworkIcon = true;
    r.Render(6);
    EXPECT_EQ(std::tuple(corner(), corner(17, 14), corner(2, 2 + 10 + 14)), std::tuple(0x00FF00u, 0x00FF00u, 0xFF0000u));
    SetNetworkStatusProvider(nullptr);

    r.Device = nullptr;
    UiBitmaps().Clear();
    UiBitmaps().SetFolder(QString());
}

TEST_F(TargetDrawTest, PassWithAShooter)
{
    UseRing();
    TShooter shooter;
    UseTarget(shooter, r.Target);
    r.Shooter = &shooter;

    // A shooter without shots: the pass ends after the picture, no lines.
    r.Render(6);
    EXPECT_TRUE(r.InfoLines.isEmpty());

    // A flagged selected shot shows its lines only: no mark, crosshair or
    // trace.
    for (int i = 0; i < 2; ++i)
        shooter.AppendShot(NewRingShot(95))->shotNumber = i + 1;
    TShot* flagged = shooter.GetShot(1);
    flagged->raw.SetFailures(RawShotRecord::FailFOV);
    r.SelectedShot = flagged;
    r.Render(3);
    EXPECT_EQ(std::tuple(r.InfoLines.value(1), r.GroupCount, r.DisplayLayer),
              std::tuple(QStringLiteral("Shot 2"), 0, r.StaticLayer));
    r.Shooter = nullptr;
    r.SelectedShot = nullptr;
}

} // namespace

// The session's window layout and the control panel: one to nine viewers
// tiled left of the panel on two work areas (one at the screen's origin, one
// moved by bars at the left and top), the window frame taken off, the panel's
// squares, the buttons it holds in each session mode, and the windows it lays
// out (panel, tiled viewers, one viewer alone).
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "SessionLayout.h"
#include "UiRig.h"

#include <QTest>
#include <QWindow>
#include <QToolButton>

#include <algorithm>
#include <initializer_list>
#include <ostream>

inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << "(" << r.x() << "," << r.y() << " " << r.width() << "x" << r.height() << ")";
}

namespace {

const QRect FullHd(0, 0, 1920, 1040);    // panel 160 wide, viewers 1760
const QRect Shifted(100, 30, 1280, 994); // panel 128 (the least), viewers 1152

struct TTileCase {
    QRect area;
    int count;
    int columns;
    QRect last; // the last viewer's frame
};

const TTileCase TileCases[] = {
    {FullHd, 1, 1, {0, 0, 1760, 1040}},       {FullHd, 2, 2, {880, 0, 880, 1040}},
    {FullHd, 3, 3, {1172, 0, 586, 1040}},     {FullHd, 4, 2, {880, 520, 880, 520}},
    {FullHd, 5, 3, {586, 520, 586, 520}},     {FullHd, 6, 3, {1172, 520, 586, 520}},
    {FullHd, 7, 4, {880, 520, 440, 520}},     {FullHd, 8, 4, {1320, 520, 440, 520}},
    {FullHd, 9, 3, {1172, 692, 586, 346}},    {Shifted, 1, 1, {100, 30, 1152, 994}},
    {Shifted, 2, 2, {676, 30, 576, 994}},     {Shifted, 3, 3, {868, 30, 384, 994}},
    {Shifted, 4, 2, {676, 527, 576, 497}},    {Shifted, 5, 3, {484, 527, 384, 497}},
    {Shifted, 6, 3, {868, 527, 384, 497}},    {Shifted, 7, 4, {676, 527, 288, 497}},
    {Shifted, 8, 4, {964, 527, 288, 497}},    {Shifted, 9, 3, {868, 692, 384, 331}},
};

void PrintTo(const TTileCase& c, std::ostream* os) { *os << c.area.x() << " " << c.count; }

class TilingTest : public ::testing::TestWithParam<TTileCase> {};

TEST_P(TilingTest, ViewersFillTheAreaBesideThePanelRowByRow)
{
    const TTileCase& c = GetParam();
    const QRect panel = ControlPanelFrame(c.area);
    const std::vector<QRect> frames = ViewerTileFrames(c.area, panel.width(), c.count);
    ASSERT_EQ(int(frames.size()), c.count);
    EXPECT_EQ(TileGrid(c.count).columns, c.columns);
    EXPECT_EQ(frames.back(), c.last);
    for (int k = 0; k < c.count; ++k) {
        const QRect& f = frames[std::size_t(k)];
        EXPECT_EQ(f.size(), c.last.size()) << k;
        EXPECT_EQ(f.topLeft(), c.area.topLeft() + QPoint(k % c.columns * f.width(), k / c.columns * f.height())) << k;
        EXPECT_TRUE(c.area.contains(f) && !f.intersects(panel)) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Areas, TilingTest, ::testing::ValuesIn(TileCases), [](const auto& info) {
    return std::string(info.param.area.x() ? "Shifted_" : "FullHd_") + std::to_string(info.param.count);
});

TEST(TilingTest, PanelSingleViewerAndFramesStayInsideTheWorkArea)
{
    EXPECT_EQ(ControlPanelFrame(FullHd), QRect(1760, 0, 160, 1040));
    EXPECT_EQ(ControlPanelFrame(Shifted), QRect(1252, 30, 128, 994));
    EXPECT_EQ(ControlPanelFrame(QRect(-1280, 0, 1280, 1024)), QRect(-128, 0, 128, 1024)); // left of the primary
    EXPECT_EQ(SingleViewerFrame(Shifted, 128), QRect(100, 30, 1152, 994));
    EXPECT_TRUE(ViewerTileFrames(FullHd, 160, 0).empty());
    // The window frame comes off the cell; a frame larger than the cell leaves a window.
    EXPECT_EQ(ClientRectInFrame(QRect(676, 527, 576, 497), QMargins(4, 24, 4, 4)), QRect(680, 551, 568, 469));
    EXPECT_EQ(ClientRectInFrame(QRect(0, 0, 10, 10), QMargins(8, 8, 8, 8)).size(), QSize(1, 1));
}

TEST(TilingTest, PanelButtonsAreCentredSquaresOneRowEach)
{
    struct {
        QSize client;
        QRect first; // slot 0; the others follow one row height apart
        int row;
    } const cases[] = {
        {{128, 480}, {26, 10, 76, 76}, 96},     // 0.8 x the row height
        {{100, 1000}, {10, 60, 80, 80}, 200},   // 0.8 x the width
        {{160, 1037}, {16, 39, 128, 128}, 207}, // 39.5 + 207 k, truncated
    };
    for (const auto& c : cases) {
        const auto rects = PanelSlotRects(c.client);
        for (int k = 0; k < PanelSlotCount; ++k)
            EXPECT_EQ(rects[std::size_t(k)], c.first.translated(0, k * c.row)) << c.client.height() << " " << k;
    }
}

using B = TPanelButton;

struct TSlotCase {
    const char* name;
    int mode;
    bool ring;
    int viewers;
    std::array<B, 5> slots;
    std::initializer_list<B> visible;
};

constexpr std::array<B, 5> Live {B::ShootingZeroing, B::OneManyShooters, B::ReplayMode, B::ShooterList, B::CloseSession};
constexpr std::array<B, 5> Plain {B::OneManyShooters, B::ReplayMode, B::None, B::ShooterList, B::CloseSession};

const TSlotCase SlotCases[] = {
    {"ClassicRingOne", SessionClassic, true, 1, Live, {B::ShooterList, B::CloseSession}},
    {"ClassicRingThree", SessionClassic, true, 3, Live,
     {B::ShootingZeroing, B::OneManyShooters, B::ReplayMode, B::ShooterList, B::CloseSession}},
    {"ClassicSilhouetteTwo", SessionClassic, false, 2, Plain, {B::OneManyShooters, B::ShooterList, B::CloseSession}},
    {"DynamicRingTwo", SessionDynamic, true, 2, Plain,
     {B::OneManyShooters, B::ReplayMode, B::ShooterList, B::CloseSession}},
    {"DownloadOne", SessionDownload, true, 1, Plain, {B::ShooterList, B::CloseSession}},
    {"OpenFileRingTwo", SessionOpenFile, true, 2,
     {B::OneManyShooters, B::ReplayMode, B::None, B::OpenSession, B::CloseSession},
     {B::OneManyShooters, B::ReplayMode, B::OpenSession, B::CloseSession}},
    {"MonitorOne", SessionMonitor, false, 1,
     {B::SendMessageAll, B::OneManyShooters, B::ReplayMode, B::ShooterList, B::CloseSession},
     {B::SendMessageAll, B::ShooterList, B::CloseSession}},
    {"NoSession", SessionNone, true, 3, {B::None, B::None, B::None, B::None, B::CloseSession}, {B::CloseSession}},
};

void PrintTo(const TSlotCase& c, std::ostream* os) { *os << c.name; }

class PanelSlotsTest : public ::testing::TestWithParam<TSlotCase> {};

TEST_P(PanelSlotsTest, SlotsAndVisibility)
{
    const TSlotCase& c = GetParam();
    const TPanelArrangement a = ArrangePanel(c.mode, c.ring, c.viewers);
    EXPECT_EQ(a.slots, c.slots);
    for (int kind = 0; kind < PanelButtonKinds; ++kind)
        EXPECT_EQ(a.Visible(B(kind)), std::count(c.visible.begin(), c.visible.end(), B(kind)) == 1) << kind;
}

INSTANTIATE_TEST_SUITE_P(Modes, PanelSlotsTest, ::testing::ValuesIn(SlotCases),
                         [](const auto& info) { return std::string(info.param.name); });

class ShooterPanelTest : public UiRigTest {};

// Counts the times a window was hidden.
class THideCounter final : public QObject {
public:
    int hides = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Hide)
            ++hides;
        return QObject::eventFilter(watched, event);
    }
};

// Tiling again (One/Many, a viewer added) moves the viewers that are up into
// their tiles without taking them down first: a window manager can lose the
// map of a window shown again right after it was hidden. A viewer the
// operator minimised or maximised comes back into its tile.
TEST_F(ShooterPanelTest, TilingAgainNeverHidesAViewerAndBringsEveryOneBack)
{
    ASSERT_TRUE(StartProgram());
    SessionMode = SessionDownload;
    for (int i = 0; i < 4; ++i)
        ShooterViewers.push_back(new TFormShooter);
    ShowSessionViewers();
    THideCounter counter;
    for (TFormShooter* viewer : ShooterViewers)
        viewer->installEventFilter(&counter);
    ShooterViewers[1]->showMinimized();
    ShooterViewers[2]->showMaximized();
    counter.hides = 0;

    ActiveViewer = ShooterViewers[0];
    auto* oneMany = Control(FormShooterPanel, "BitBtnOneManyShooters");
    Click(oneMany);
    Click(oneMany);
    ShooterViewers.push_back(new TFormShooter);
    ShowSessionViewers();
    EXPECT_EQ(counter.hides, 0);
    const QRect area = TFormShooterPanel::WorkArea();
    const std::vector<QRect> tiles = ViewerTileFrames(area, ControlPanelWidth(area), 5);
    for (std::size_t k = 0; k < tiles.size(); ++k) {
        EXPECT_TRUE(ShooterViewers[k]->isVisible()) << k;
        EXPECT_EQ(ShooterViewers[k]->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized), 0) << k;
        EXPECT_EQ(ShooterViewers[k]->frameGeometry(), tiles[k]) << k;
    }
    for (TFormShooter* viewer : ShooterViewers)
        viewer->removeEventFilter(&counter);
}

// A viewer the operator moved or resized stays where it was put: the
// placement's look at the decoration (at the move and resize, and once more
// a moment after showing) does not take it back to its tile.
TEST_F(ShooterPanelTest, AViewerTheOperatorMovedOrResizedStaysWhereItWasPut)
{
    ASSERT_TRUE(StartProgram());
    SessionMode = SessionDownload;
    for (int i = 0; i < 3; ++i)
        ShooterViewers.push_back(new TFormShooter);
    ShowSessionViewers();
    for (TFormShooter* viewer : ShooterViewers)
        ASSERT_TRUE(WaitFor([viewer] { return viewer->windowHandle() && viewer->windowHandle()->isExposed(); }));
    const QRect area = TFormShooterPanel::WorkArea();
    const std::vector<QRect> tiles = ViewerTileFrames(area, ControlPanelWidth(area), 3);

    ShooterViewers[0]->move(tiles[0].topLeft() + QPoint(37, 23));
    ShooterViewers[1]->resize(tiles[1].size() - QSize(60, 45));
    const QRect put[] = {ShooterViewers[0]->frameGeometry(), ShooterViewers[1]->frameGeometry(), tiles[2]};
    ASSERT_NE(put[0], tiles[0]);
    ASSERT_NE(put[1], tiles[1]);
    // Past the placement's second look, which comes 500 ms after showing.
    QTest::qWait(1500);
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(ShooterViewers[k]->frameGeometry(), put[k]) << k;
}

TEST_F(ShooterPanelTest, ViewersAreTiledBesideThePanelAndOneCanBeShownAlone)
{
    ASSERT_TRUE(StartProgram());
    SessionMode = SessionDownload;
    for (int i = 0; i < 5; ++i)
        ShooterViewers.push_back(new TFormShooter);
    FormStartMenu->show();
    ShowSessionViewers();

    const QRect area = TFormShooterPanel::WorkArea();
    EXPECT_FALSE(FormStartMenu->isVisible());
    EXPECT_EQ(FormShooterPanel->frameGeometry(), ControlPanelFrame(area));
    const std::vector<QRect> tiles = ViewerTileFrames(area, ControlPanelWidth(area), 5);
    for (std::size_t k = 0; k < tiles.size(); ++k) {
        EXPECT_TRUE(ShooterViewers[k]->isVisible()) << k;
        EXPECT_EQ(ShooterViewers[k]->frameGeometry(), tiles[k]) << k;
    }
    // Download mode: one/many in slot 0, the list in slot 3, close in slot 4.
    auto* oneMany = FormShooterPanel->findChild<QPushButton*>(QStringLiteral("BitBtnOneManyShooters"));
    const auto squares = PanelSlotRects(FormShooterPanel->size());
    EXPECT_EQ(oneMany->geometry(), squares[0]);
    EXPECT_EQ(FormShooterPanel->findChild<QPushButton*>(QStringLiteral("BitBtnShooterList"))->geometry(), squares[3]);
    EXPECT_FALSE(FormShooterPanel->findChild<QToolButton*>(QStringLiteral("SpeedButtonShootingZeroing"))->isVisible());
    SaveScreen(*FormShooterPanel, QStringLiteral("shooter_panel"));

    ActiveViewer = ShooterViewers[3];
    QTest::mouseClick(oneMany, Qt::LeftButton);
    EXPECT_FALSE(FormShooterPanel->AllViewersShown());
    EXPECT_EQ(ShooterViewers[3]->frameGeometry(), SingleViewerFrame(area, ControlPanelWidth(area)));
    QTest::mouseClick(oneMany, Qt::LeftButton);
    EXPECT_EQ(ShooterViewers[3]->frameGeometry(), tiles[3]);
    // Without an active viewer the button keeps all of them.
    ActiveViewer = nullptr;
    QTest::mouseClick(oneMany, Qt::LeftButton);
    EXPECT_TRUE(FormShooterPanel->AllViewersShown());
}

} // namespace

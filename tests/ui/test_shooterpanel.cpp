// The control panel: which buttons it holds in each session mode, and the
// windows it lays out (panel, tiled viewers, one viewer alone) inside the
// screen's work area.
#include "FormShooter.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "Screens.h"
#include "SessionLayout.h"
#include "UiGlobals.h"
#include "UiRig.h"

#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <initializer_list>

namespace {

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

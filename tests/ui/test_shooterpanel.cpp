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

#include <initializer_list>
#include <ostream>

inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << "(" << r.x() << "," << r.y() << " " << r.width() << "x" << r.height() << ")";
}

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

const TSlotCase SlotCases[] = {
    {"ClassicRingOne", SessionClassic, true, 1, {B::ShootingZeroing, B::OneManyShooters, B::ReplayMode, B::ShooterList, B::CloseSession},
     {B::ShooterList, B::CloseSession}},
    {"ClassicRingThree", SessionClassic, true, 3, {B::ShootingZeroing, B::OneManyShooters, B::ReplayMode, B::ShooterList, B::CloseSession},
     {B::ShootingZeroing, B::OneManyShooters, B::ReplayMode, B::ShooterList, B::CloseSession}},
    {"ClassicSilhouetteTwo", SessionClassic, false, 2, {B::OneManyShooters, B::ReplayMode, B::None, B::ShooterList, B::CloseSession},
     {B::OneManyShooters, B::ShooterList, B::CloseSession}},
    {"DynamicRingTwo", SessionDynamic, true, 2, {B::OneManyShooters, B::ReplayMode, B::None, B::ShooterList, B::CloseSession},
     {B::OneManyShooters, B::ReplayMode, B::ShooterList, B::CloseSession}},
    {"DownloadOne", SessionDownload, true, 1, {B::OneManyShooters, B::ReplayMode, B::None, B::ShooterList, B::CloseSession},
     {B::ShooterList, B::CloseSession}},
    {"OpenFileRingTwo", SessionOpenFile, true, 2, {B::OneManyShooters, B::ReplayMode, B::None, B::OpenSession, B::CloseSession},
     {B::OneManyShooters, B::ReplayMode, B::OpenSession, B::CloseSession}},
    {"MonitorOne", SessionMonitor, false, 1, {B::SendMessageAll, B::OneManyShooters, B::ReplayMode, B::ShooterList, B::CloseSession},
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
    for (int kind = 0; kind < PanelButtonKinds; ++kind) {
        const bool expected = std::find(c.visible.begin(), c.visible.end(), B(kind)) != c.visible.end();
        EXPECT_EQ(a.Visible(B(kind)), expected) << "button " << kind;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, PanelSlotsTest, ::testing::ValuesIn(SlotCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The windows ---------------------------------------------------------------------

class ShooterPanelTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        ASSERT_TRUE(StartProgram());
    }

    void AddViewers(int n)
    {
        for (int i = 0; i < n; ++i)
            ShooterViewers.push_back(new TFormShooter);
    }

    template <class T = QPushButton>
    T* Control(const char* name)
    {
        T* control = FormShooterPanel->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
};

TEST_F(ShooterPanelTest, ViewersAreTiledBesideThePanelInsideTheWorkArea)
{
    SessionMode = SessionDownload;
    AddViewers(5);
    FormStartMenu->show();
    ShowSessionViewers();

    const QRect area = TFormShooterPanel::WorkArea();
    EXPECT_TRUE(FormShooterPanel->isVisible());
    EXPECT_FALSE(FormStartMenu->isVisible());
    EXPECT_EQ(FormShooterPanel->frameGeometry(), ControlPanelFrame(area));
    const std::vector<QRect> tiles = ViewerTileFrames(area, ControlPanelWidth(area), 5);
    for (std::size_t k = 0; k < tiles.size(); ++k) {
        EXPECT_TRUE(ShooterViewers[k]->isVisible()) << k;
        EXPECT_EQ(ShooterViewers[k]->frameGeometry(), tiles[k]) << k;
    }
    // Download mode: one/many in slot 0, the list in slot 3, close in slot 4.
    const auto squares = PanelSlotRects(FormShooterPanel->size());
    EXPECT_EQ(Control("BitBtnOneManyShooters")->geometry(), squares[0]);
    EXPECT_EQ(Control("BitBtnShooterList")->geometry(), squares[3]);
    EXPECT_EQ(Control("BitBtnCloseSession")->geometry(), squares[4]);
    EXPECT_FALSE(Control<QToolButton>("SpeedButtonShootingZeroing")->isVisible());
    EXPECT_FALSE(Control("BitBtnOpenSession")->isVisible());
    SaveScreen(*FormShooterPanel, QStringLiteral("shooter_panel"));

    // One viewer alone over the viewers' area, and back to all of them.
    ActiveViewer = ShooterViewers[3];
    QTest::mouseClick(Control("BitBtnOneManyShooters"), Qt::LeftButton);
    EXPECT_FALSE(FormShooterPanel->AllViewersShown());
    EXPECT_EQ(ShooterViewers[3]->frameGeometry(), SingleViewerFrame(area, ControlPanelWidth(area)));
    QTest::mouseClick(Control("BitBtnOneManyShooters"), Qt::LeftButton);
    EXPECT_TRUE(FormShooterPanel->AllViewersShown());
    EXPECT_EQ(ShooterViewers[3]->frameGeometry(), tiles[3]);

    // Without an active viewer the button keeps all of them.
    ActiveViewer = nullptr;
    QTest::mouseClick(Control("BitBtnOneManyShooters"), Qt::LeftButton);
    EXPECT_TRUE(FormShooterPanel->AllViewersShown());
}

TEST_F(ShooterPanelTest, OpenFileModeOffersTheOpenButtonInsteadOfTheList)
{
    SessionMode = SessionOpenFile;
    AddViewers(1);
    ShowSessionViewers();
    EXPECT_TRUE(Control("BitBtnOpenSession")->isVisible());
    EXPECT_FALSE(Control("BitBtnShooterList")->isVisible());
    EXPECT_FALSE(Control("BitBtnOneManyShooters")->isVisible());
    EXPECT_EQ(Control("BitBtnOpenSession")->geometry(), PanelSlotRects(FormShooterPanel->size())[3]);
}

} // namespace

// The setup editor's device administration against simulated units (one
// target slot read, written or disabled; refusals with two units or a bad
// slot number), and the road of a setup made in the editor, saved as a
// list, opened again and programmed into a unit byte for byte.
#include "AppSettings.h"
#include "Device.h"
#include "DeviceManager.h"
#include "FormEditSetup.h"
#include "FormSelectSetup.h"
#include "Globals.h"
#include "SetupListModel.h"
#include "SetupProgramming.h"
#include "UiRig.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

using namespace std::chrono_literals;

namespace {

std::array<uint8_t, 64> RingBytes(const char* name, int highest)
{
    RingTargetRecord r;
    r.SetNameText(QString::fromLatin1(name));
    r.SetHighestRing(highest);
    r.SetMinimumRing(1);
    r.SetNominalDistance(500);
    r.SetCaliber(560);
    r.SetDiameterHighestRing(100);
    r.SetHitRingGap(80);
    r.SetHIBMinScore(50);
    return r.b;
}

unitsim::SilhouetteSlot SilhouetteBytes(const char* name)
{
    SilhouetteTargetRecord s;
    s.SetNameText(QString::fromLatin1(name));
    s.SetNominalDistance(250);
    s.SetSize(480);
    unitsim::SilhouetteSlot slot;
    std::copy_n(s.data(), 32, slot.record.begin());
    for (std::size_t i = 0; i < slot.cells.size(); ++i)
        slot.cells[i] = uint8_t((i / 64 + i % 7) % 4);
    return slot;
}

class EditSetupDeviceTest : public UiRigTest {
protected:
    void TearDown() override
    {
        SetAdvancedModeOn(false);
        UiRigTest::TearDown();
    }

    // n units, the program started and the editor open on the shipped list's
    // setup with that title, its Misc tab in front with the slot tools shown.
    void OpenWithUnits(int n, const QString& title = QStringLiteral("25 m Pistol"))
    {
        for (int i = 0; i < n; ++i)
            AddUnit(31 + i, unitsim::UnitName("KBR", 300 + i));
        ASSERT_TRUE(StartProgram());
        ASSERT_TRUE(ScanUnits(n));
        SetAdvancedModeOn(true);
        SessionMode = SessionClassic;
        const TSetupHandler& list = FormSelectSetup->Setups();
        for (int i = 0; i < list.Count(); ++i)
            if (list.Get(i)->descriptions && list.Get(i)->descriptions->value(0) == title)
                entry = *list.Get(i);
        FormEditSetup->BeginEdit(entry);
        FormEditSetup->show();
        Edit("FrameEditModeSettings1", "EditSleepTimeout2")->setText(QStringLiteral("5"));
        ShowTab("Misc");
        Click(Misc<QToolButton>("ImageToggleSettingsOnDevice"));
        ASSERT_TRUE(WaitFor([] { return Misc<QWidget>("GroupBoxOptions")->isVisible(); }));
        ClearReceived();
        prompts.shown.clear();
    }

    template <class T = QPushButton>
    static T* Misc(const char* name)
    {
        return ::Control<T>(FormEditSetup->findChild<QWidget*>(QStringLiteral("FrameEditAdvancedSettings1")), name);
    }
    static QLineEdit* Edit(const char* frame, const char* name)
    {
        return ::Control<QLineEdit>(FormEditSetup->findChild<QWidget*>(QString::fromLatin1(frame)), name);
    }
    // Clicks the tab with that caption, as the operator does.
    static void ShowTab(const char* caption)
    {
        auto* bar = ::Control<QTabBar>(FormEditSetup, "TabControlPage");
        const int index = FormEditSetup->TabIndex(QString::fromLatin1(caption));
        ASSERT_GE(index, 0) << caption;
        Click(bar, bar->tabRect(index).center());
        EXPECT_EQ(FormEditSetup->CurrentTabCaption(), QString::fromLatin1(caption));
    }
    static void Slot(bool ring, int number)
    {
        Click(Misc<QRadioButton>(ring ? "RadioButtonRing" : "RadioButtonSilhouette"));
        Misc<QLineEdit>("EditTargetNumber")->setText(QString::number(number));
    }

    TTargetSetup entry;
};

TEST_F(EditSetupDeviceTest, ReadWriteAndDisableOneSlot)
{
    OpenWithUnits(1);
    units[0]->SetRingTarget(3, RingBytes("Slot three", 10));
    units[0]->SetSilhouette(5, SilhouetteBytes("Man 25"));
    SaveScreen(*FormEditSetup, QStringLiteral("edit_setup_misc_device"));

    // Read ring slot 3 into the editor.
    Slot(true, 3);
    ASSERT_TRUE(ClickWhenReady(Misc("ButtonDownloadOne")));
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
    const TargetDescription& t = FormEditSetup->WorkingSetup.target;
    EXPECT_EQ(t.ringRecord.b, units[0]->RingTarget(3));
    EXPECT_EQ(std::tuple(t.targetNumber, t.hasRing, t.hasSilhouette), std::tuple(3, 1, 0));
    EXPECT_EQ(FormEditSetup->CurrentTabCaption(), QStringLiteral("Ring Target"));
    EXPECT_EQ(Edit("FrameEditRingSettings1", "EditTargetName")->text(), QStringLiteral("Slot three"));

    // Write it, renamed, into slot 2.
    Edit("FrameEditRingSettings1", "EditTargetName")->setText(QStringLiteral("Slot two"));
    ShowTab("Misc");
    Slot(true, 2);
    ASSERT_TRUE(ClickWhenReady(Misc("ButtonUploadOne")));
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Update completed")});
    EXPECT_EQ(units[0]->RingTarget(2), t.ringRecord.b);
    EXPECT_EQ(t.ringRecord.NameText(), QStringLiteral("Slot two"));

    // Read silhouette slot 5: the editor becomes silhouette-only.
    Slot(false, 5);
    ASSERT_TRUE(ClickWhenReady(Misc("ButtonDownloadOne")));
    EXPECT_EQ(std::tuple(t.hasRing, t.hasSilhouette, t.silhouetteRecord.Size()), std::tuple(0, 1, 480));
    EXPECT_EQ(t.silhouetteMatrix.Cell(2, 9), units[0]->Silhouette(5).cells[64 * 2 + 9]);
    EXPECT_EQ(FormEditSetup->FrontFrame()->objectName(), QStringLiteral("FrameEditSilhouetteSettings1"));
    EXPECT_TRUE(Misc<QCheckBox>("CheckBoxSilhouette1")->isChecked());
    EXPECT_FALSE(Misc<QCheckBox>("CheckBoxRingTarget1")->isChecked());
    // It stays so through a store.
    FormEditSetup->StoreFrames(false);
    EXPECT_EQ(std::tuple(t.hasRing, t.hasSilhouette), std::tuple(0, 1));
    // The downloads left the operator's settings-on-device switch on.
    EXPECT_TRUE(FormEditSetup->WorkingSetup.blocks.ArrowsUnlocked());

    // Disable it: the first name byte becomes 255, the rest stays.
    ShowTab("Misc");
    prompts.shown.clear();
    const unitsim::SilhouetteSlot old = units[0]->Silhouette(5);
    ASSERT_TRUE(ClickWhenReady(Misc("ButtonDisableTarget")));
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Target disabled")});
    const unitsim::SilhouetteSlot now = units[0]->Silhouette(5);
    EXPECT_EQ(now.record[0], 255);
    EXPECT_TRUE(std::equal(now.record.begin() + 1, now.record.end(), old.record.begin() + 1));
    EXPECT_EQ(now.cells, old.cells);
}

TEST_F(EditSetupDeviceTest, AFailedReadWritesNothingBack)
{
    OpenWithUnits(1);
    units[0]->SetSilhouette(6, SilhouetteBytes("Keep me"));
    // The unit takes the request but its answer is lost.
    units[0]->AddFault({'g', 1, 1, unitsim::FaultKind::Drop, 0});
    Slot(false, 6);
    Click(Misc("ButtonDisableTarget"));
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Error updating")});
    EXPECT_EQ(CountFrames(*units[0], [](const unitsim::ReceivedFrame& f) { return f.Letter() == 'f'; }), 0);
    EXPECT_EQ(units[0]->Silhouette(6).record[0], uint8_t('K'));
}

// A unit may take up to two seconds to acknowledge a ring block: Upload and
// Disable wait for it.
TEST_F(EditSetupDeviceTest, SlowRingBlockAcknowledgementsStillSucceed)
{
    OpenWithUnits(1);
    units[0]->SetRingTarget(3, RingBytes("Slot three", 10));
    units[0]->AddFault({'l', 1, 0, unitsim::FaultKind::Delay, 800});
    Slot(true, 2);
    ASSERT_TRUE(ClickWhenReady(Misc("ButtonUploadOne")));
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Update completed")});
    EXPECT_EQ(units[0]->RingTarget(2), FormEditSetup->WorkingSetup.target.ringRecord.b);

    prompts.shown.clear();
    Slot(true, 3);
    ASSERT_TRUE(ClickWhenReady(Misc("ButtonDisableTarget")));
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Target disabled")});
    const std::array<uint8_t, 64> disabled = units[0]->RingTarget(3);
    std::array<uint8_t, 64> expected = RingBytes("Slot three", 10);
    expected[0] = 255;
    EXPECT_EQ(disabled, expected);
    EXPECT_EQ(CountFrames(*units[0], [](const unitsim::ReceivedFrame& f) { return f.Letter() == 'l'; }), 8);
}

TEST_F(EditSetupDeviceTest, RefusalsSendNothing)
{
    OpenWithUnits(1);
    // A value that does not validate stops the upload before the unit.
    Edit("FrameEditRingSettings1", "EditHighestRing")->setText(QStringLiteral("11"));
    Slot(true, 1);
    ASSERT_TRUE(ClickWhenReady(Misc("ButtonUploadOne")));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.shown[0].text.startsWith(QStringLiteral("An invalid value")));
    // The refusal shows the ring frame with the bad value; mended, the
    // operator goes back to the slot tools through the tabs.
    auto* highest = Edit("FrameEditRingSettings1", "EditHighestRing");
    ASSERT_TRUE(highest->isVisible());
    highest->setText(QStringLiteral("10"));
    ShowTab("Ring Target");
    ShowTab("Misc");

    for (const char* number : {"16", "-1", "abc"}) {
        for (const char* button : {"ButtonDownloadOne", "ButtonUploadOne", "ButtonDisableTarget"}) {
            prompts.shown.clear();
            Misc<QLineEdit>("EditTargetNumber")->setText(QString::fromLatin1(number));
            ASSERT_TRUE(ClickWhenReady(Misc(button))) << button;
            EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Invalid target number")}) << number << button;
        }
    }
    EXPECT_TRUE(units[0]->Received().empty());
}

TEST_F(EditSetupDeviceTest, TwoUnitsAreRefused)
{
    OpenWithUnits(2);
    Slot(true, 1);
    for (const char* button : {"ButtonDownloadOne", "ButtonUploadOne", "ButtonDisableTarget"}) {
        prompts.shown.clear();
        Click(Misc(button));
        ASSERT_EQ(prompts.Texts(), QStringList {QStringLiteral("Connect only one device")}) << button;
        EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Information"));
    }
    EXPECT_TRUE(units[0]->Received().empty());
    EXPECT_TRUE(units[1]->Received().empty());
}

// ---- The road ------------------------------------------------------------------------------------

TEST_F(EditSetupDeviceTest, ASetupMadeInTheEditorReachesTheUnitByteForByte)
{
    AddUnit(41, unitsim::UnitName("KBR", 410));
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(ScanUnits(1));
    SetAdvancedModeOn(true);
    SessionMode = SessionClassic;
    FormSelectSetup->show();
    auto* grid = ::Control<QTableView>(FormSelectSetup, "DrawGridSetups");
    auto* model = static_cast<TSetupListModel*>(grid->model());
    int row = -1;
    for (int r = 0; r < model->rowCount(); ++r)
        if (model->Setup(r)->descriptions->value(0) == QLatin1String("25 m Pistol"))
            row = r;
    ASSERT_GE(row, 0);
    Click(grid->viewport(), grid->visualRect(model->index(row, 1)).center());
    prompts.shown.clear();

    // The operator edits it in the modal editor and confirms.
    bool edited = false;
    QTimer::singleShot(0, FormEditSetup, [&] {
        auto* general = FormEditSetup->findChild<QWidget*>(QStringLiteral("FrameEditModeSettings1"));
        auto* ring = FormEditSetup->findChild<QWidget*>(QStringLiteral("FrameEditRingSettings1"));
        ::Control<QLineEdit>(general, "EditSleepTimeout2")->setText(QStringLiteral("4"));
        ::Control<QLineEdit>(general, "EditBullets2")->setText(QStringLiteral("17"));
        ::Control<QLineEdit>(ring, "EditTargetName")->setText(QStringLiteral("Edited 25m"));
        ::Control<QLineEdit>(ring, "EditDistance")->setText(QStringLiteral("27"));
        ::Control<QLineEdit>(ring, "EditHitRingGap")->setText(QStringLiteral("24.5"));
        edited = true;
        Click(::Control(FormEditSetup, "ButtonOK"));
        if (FormEditSetup->isVisible())
            FormEditSetup->reject();
    });
    Click(::Control(FormSelectSetup, "BitBtnEdit"));
    ASSERT_TRUE(edited);
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
    const TTargetSetup made = *FormSelectSetup->Setups().Get(FormSelectSetup->SelectedIndex());
    EXPECT_EQ(made.target.ringRecord.NameText(), QStringLiteral("Edited 25m"));
    EXPECT_EQ(std::tuple(made.target.ringRecord.NominalDistance(), made.target.ringRecord.HitRingGap()),
              std::tuple(270, 245));

    // Saved as a list and opened again.
    auto* save = ::Control(FormSelectSetup, "ButtonSaveSetupFile");
    EXPECT_TRUE(save->isEnabled());
    const QString path = ScratchRoot() + QStringLiteral("/edited.setup.xml");
    prompts.fileAnswers.push_back(path);
    FormSelectSetup->ButtonSaveSetupFileClick();
    FormSelectSetup->show();
    prompts.fileAnswers.push_back(path);
    FormSelectSetup->ButtonOpenSetupFileClick();
    int reloaded = -1;
    for (int r = 0; r < model->rowCount(); ++r)
        if (model->Setup(r)->descriptions->value(0) == QLatin1String("25 m Pistol"))
            reloaded = r;
    ASSERT_GE(reloaded, 0);
    const TTargetSetup read = *model->Setup(reloaded);
    EXPECT_EQ(read.target.ringRecord, made.target.ringRecord);
    EXPECT_EQ(read.blocks.GetModeBlock(SetupBlocks::ClassicBlock), made.blocks.GetModeBlock(SetupBlocks::ClassicBlock));
    Click(grid->viewport(), grid->visualRect(model->index(reloaded, 1)).center());

    // Programmed for stand-alone training: the unit holds the edited target
    // and mode block.
    std::array<unitsim::Block16, 4> unitBlocks;
    SetupBlocks before;
    for (int b = 0; b < 4; ++b) {
        unitBlocks[std::size_t(b)] = units[0]->ParameterBlock(b);
        std::copy_n(unitBlocks[std::size_t(b)].begin(), 16, before.Block(b));
    }
    prompts.shown.clear();
    Click(::Control(FormSelectSetup, "ButtonSetup"));
    ASSERT_TRUE(WaitFor([] { return !FormSelectSetup->Programming(); }));
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
    const TUploadWork work = ComposeUpload(before, read, FormSelectSetup->Mounting(), TProgrammingKind::Setup);
    ASSERT_GE(work.ringSlot, 0);
    EXPECT_EQ(units[0]->RingTarget(work.ringSlot), made.target.ringRecord.b);
    for (int b = 0; b < 4; ++b) {
        const auto stored = units[0]->ParameterBlock(b);
        EXPECT_TRUE(std::equal(stored.begin(), stored.end(), work.settings.Block(b))) << "block " << b;
    }
    const auto classic = units[0]->ParameterBlock(1);
    EXPECT_EQ(std::tuple(classic[5], classic[8]), std::tuple(17, 4));
}

} // namespace

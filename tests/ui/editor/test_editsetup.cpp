// The setup editor offscreen: each tab's load and store, the bounds and unit
// switches of the ring tabs, the silhouette tab with its picture import,
// the tabs that come and go with the target switches, and the editor's own
// buttons (OK, Cancel, load, save, print). Pictures of every tab go to
// build/screens/.
#include "AppSettings.h"
#include "EditSetupValues.h"
#include "FormEditSetup.h"
#include "FormPrintSetup.h"
#include "FormSelectSetup.h"
#include "FrameEditSilhouetteSettings.h"
#include "Globals.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiRig.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdlib>

namespace {

using EditSetupValues::RangeMessage;

class EditSetupTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        SetDecimalSeparator(QLatin1Char('.'));
    }
    void TearDown() override
    {
        SetAdvancedModeOn(false);
        UiRigTest::TearDown();
    }

    // The program started; the editor opened on a copy of the listed setup
    // with that title (entry stands for the list's entry) and shown.
    void Open(const QString& title, bool advanced, int sessionMode = SessionClassic)
    {
        if (!FormEditSetup) {
            ASSERT_TRUE(StartProgram());
        }
        SetAdvancedModeOn(advanced);
        const TSetupHandler& list = FormSelectSetup->Setups();
        for (int i = 0; i < list.Count(); ++i)
            if (list.Get(i)->descriptions && list.Get(i)->descriptions->value(0) == title)
                entry = *list.Get(i);
        ASSERT_TRUE(entry.descriptions && entry.descriptions->value(0) == title) << title.toStdString();
        OpenEntry(sessionMode);
    }
    void OpenEntry(int sessionMode = SessionClassic)
    {
        if (!FormEditSetup) {
            ASSERT_TRUE(StartProgram());
        }
        SessionMode = sessionMode;
        before = entry;
        FormEditSetup->BeginEdit(entry);
        FormEditSetup->show();
        prompts.shown.clear();
    }

    // A control of one frame (names repeat between frames).
    template <class T = QLineEdit>
    static T* In(const char* frame, const char* name)
    {
        QWidget* f = FormEditSetup->findChild<QWidget*>(QString::fromLatin1(frame));
        EXPECT_NE(f, nullptr) << frame;
        return ::Control<T>(f, name);
    }
    static QLineEdit* Ring(const char* name) { return In("FrameEditRingSettings1", name); }
    static QLineEdit* General(const char* name) { return In("FrameEditModeSettings1", name); }
    static QLineEdit* Silhouette(const char* name) { return In("FrameEditSilhouetteSettings1", name); }
    static QCheckBox* Misc(const char* name) { return In<QCheckBox>("FrameEditAdvancedSettings1", name); }
    static QToolButton* Switch(const char* frame, const char* name) { return In<QToolButton>(frame, name); }

    static QStringList Tabs()
    {
        QStringList tabs;
        auto* bar = ::Control<QTabBar>(FormEditSetup, "TabControlPage");
        for (int i = 0; i < bar->count(); ++i)
            tabs << bar->tabText(i);
        return tabs;
    }
    static void ShowTab(const char* caption) { FormEditSetup->SelectTab(FormEditSetup->TabIndex(QString::fromLatin1(caption))); }
    void ClickOK() { Click(::Control(FormEditSetup, "ButtonOK")); }
    bool Accepted() const { return !FormEditSetup->isVisible() && FormEditSetup->result() == QDialog::Accepted; }

    TTargetSetup entry;
    TTargetSetup before;
};

bool SameSetup(const TTargetSetup& a, const TTargetSetup& b)
{
    return a.descriptions == b.descriptions && a.blocks == b.blocks && a.target.hasRing == b.target.hasRing
           && a.target.hasSilhouette == b.target.hasSilhouette && a.target.ringRecord == b.target.ringRecord
           && a.target.silhouetteRecord == b.target.silhouetteRecord
           && a.target.silhouetteMatrix == b.target.silhouetteMatrix;
}

// ---- General ---------------------------------------------------------------------------------

// The shipped list is what a new user edits first: every setup in it passes
// the editor's checks as it stands (the air rifle's ten ring is 0.5 mm).
TEST_F(EditSetupTest, EveryShippedSetupIsAcceptedUnchanged)
{
    for (const char* title : {"10 m Air Rifle", "10 m Air Pistol", "25 m Pistol", "25 m Silhouette"}) {
        Open(QString::fromLatin1(title), true);
        ClickOK();
        EXPECT_TRUE(Accepted()) << title << ": " << prompts.Texts().join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(SameSetup(FormEditSetup->WorkingSetup, before)) << title;
        FormEditSetup->hide();
    }
}

TEST_F(EditSetupTest, GeneralTabStoresTheTrainedModeBlockOnOK)
{
    Open(QStringLiteral("10 m Air Pistol"), true);
    EXPECT_EQ(Tabs(), QStringList({"General", "Ring Target", "Misc"}));
    SaveScreen(*FormEditSetup, QStringLiteral("edit_setup_general"));
    General("EditCockingDelay2")->setText(QStringLiteral("0,25"));
    General("EditBullets2")->setText(QStringLiteral("12"));
    General("EditRingTarget2")->setText(QStringLiteral("255"));  // taken without a range check
    General("EditSleepAngle2")->setText(QStringLiteral("90"));   // bounds are inclusive
    const bool hib = entry.blocks.GetModeBlock(SetupBlocks::ClassicBlock).HIBEnable();
    Click(Switch("FrameEditModeSettings1", "ImageToggleHIB"));
    // The trigger arrows step by 20 and stop short of either end.
    auto* slider = In<QSlider>("FrameEditModeSettings1", "TrackBarTriggerSensitivity");
    auto* dec = In<QPushButton>("FrameEditModeSettings1", "BitBtnDecTriggerSensitivity");
    slider->setValue(30);
    Click(dec);
    EXPECT_EQ(slider->value(), 10);
    slider->setValue(29);
    Click(dec);
    EXPECT_EQ(std::pair(slider->value(), dec->isEnabled()), std::pair(29, false));
    ClickOK();

    ASSERT_TRUE(Accepted()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
    const ModeBlock classic = entry.blocks.GetModeBlock(SetupBlocks::ClassicBlock);
    EXPECT_EQ(std::tuple(classic.CockingDelay(), classic.NumberOfBullets(), classic.RingTargetNumber(),
                         classic.WakeupAngle(), classic.TriggerSensitivity(), classic.HIBEnable()),
              std::tuple(3, 12, 255, 90, 29, !hib));
    // The block of the other training kind is left as it was.
    EXPECT_EQ(entry.blocks.GetModeBlock(SetupBlocks::DynamicBlock), before.blocks.GetModeBlock(SetupBlocks::DynamicBlock));
}

TEST_F(EditSetupTest, DynamicTrainingEditsTheDynamicBlock)
{
    Open(QStringLiteral("25 m Silhouette"), false, SessionDynamic);
    EXPECT_EQ(Tabs(), QStringList({"General", "Silhouette"}));
    General("EditShotRejectionAngle2")->setText(QStringLiteral("33"));
    ClickOK();
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(entry.blocks.GetModeBlock(SetupBlocks::DynamicBlock).ShotRejectionAngle(), 33);
    EXPECT_EQ(entry.blocks.GetModeBlock(SetupBlocks::ClassicBlock), before.blocks.GetModeBlock(SetupBlocks::ClassicBlock));
}

TEST_F(EditSetupTest, AnInvalidValueKeepsTheDialogOpenAndTheEntryUnchanged)
{
    Open(QStringLiteral("10 m Air Pistol"), true);
    ShowTab("Ring Target");
    General("EditNumberOfPrisms2")->setText(QStringLiteral("0"));
    ClickOK();
    EXPECT_TRUE(FormEditSetup->isVisible());
    EXPECT_EQ(prompts.Texts(), QStringList {RangeMessage(1, 64)});
    EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Error"));
    // The offending edit's frame came to the front.
    EXPECT_EQ(FormEditSetup->FrontFrame()->objectName(), QStringLiteral("FrameEditModeSettings1"));
    EXPECT_TRUE(SameSetup(entry, before));

    // Text that is no number gets the same message, not an exception.
    General("EditNumberOfPrisms2")->setText(QStringLiteral("two"));
    prompts.shown.clear();
    ClickOK();
    EXPECT_EQ(prompts.Texts(), QStringList {RangeMessage(1, 64)});

    // Cancel throws the working copy away.
    General("EditNumberOfPrisms2")->setText(QStringLiteral("3"));
    Click(::Control(FormEditSetup, "ButtonCancel"));
    EXPECT_FALSE(FormEditSetup->isVisible());
    EXPECT_TRUE(SameSetup(entry, before));
}

// ---- Ring target ---------------------------------------------------------------------------------

TEST_F(EditSetupTest, RingBoundsFollowTheOtherRings)
{
    Open(QStringLiteral("10 m Air Pistol"), true);
    ShowTab("Ring Target");
    SaveScreen(*FormEditSetup, QStringLiteral("edit_setup_ring"));
    auto set = [](const char* name, const char* text) { Ring(name)->setText(QString::fromLatin1(text)); };
    set("EditHighestRing", "10");
    set("EditLowestRing", "5");
    set("EditHighestRingDiameter", "7");
    set("EditHitRingGap", "3");
    set("EditXDiameter", "0");
    set("EditInnerWhiteDiamater", "0");
    set("EditHIBScoreLimit", "5");
    const struct { const char* edit; const char* text; double min, max; } refusals[] = {
        {"EditBlackAreaDiameter", "37.1", 0, 37},   // 7 + 2 x 3 x (10 - 5)
        {"EditLowestRing", "11", 1, 10},
        {"EditDistance", "abc", 0, 3000},
        {"EditXDiameter", "7.5", 0, 7},
        {"EditHIBScoreLimit", "4.9", 5, 10},
    };
    set("EditBlackAreaDiameter", "37");
    // Custom rings are off: their diameters neither hold the store up nor change.
    In("FrameEditRingCustomSettings1", "EditHm5")->setText(QStringLiteral("abc"));
    for (const auto& r : refusals) {
        const QString good = Ring(r.edit)->text();
        set(r.edit, r.text);
        prompts.shown.clear();
        ClickOK();
        EXPECT_EQ(prompts.Texts(), QStringList {RangeMessage(r.min, r.max)}) << r.edit;
        EXPECT_TRUE(FormEditSetup->isVisible());
        Ring(r.edit)->setText(good);
    }
    ClickOK();
    ASSERT_TRUE(Accepted()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
    const RingTargetRecord& ring = entry.target.ringRecord;
    EXPECT_EQ(std::tuple(ring.HighestRing(), ring.MinimumRing(), ring.DiameterHighestRing(), ring.HitRingGap(),
                         ring.DiameterBlackArea(), ring.HIBMinScore()),
              std::tuple(10, 5, 70, 30, 370, 50));
    EXPECT_EQ(ring.DiameterVariableHminus(5), before.target.ringRecord.DiameterVariableHminus(5));
}

TEST_F(EditSetupTest, InchSizesAndCalibreStayInsideTheirFields)
{
    Open(QStringLiteral("10 m Air Pistol"), true);
    ShowTab("Ring Target");
    Click(Switch("FrameEditRingSettings1", "ImageToggleRingUnits"));
    Click(Switch("FrameEditRingSettings1", "ImageToggleCaliberUnit"));
    Ring("EditHighestRingDiameter")->setText(QStringLiteral("700"));
    ClickOK();
    EXPECT_EQ(prompts.Texts(), QStringList {RangeMessage(0.1, 655.3)});
    Ring("EditHighestRingDiameter")->setText(QStringLiteral("1.5"));
    Ring("EditCaliber")->setText(QStringLiteral("50"));
    prompts.shown.clear();
    ClickOK();
    EXPECT_EQ(prompts.Texts(), QStringList {RangeMessage(0.17, 32.7)});
    Ring("EditCaliber")->setText(QStringLiteral("0.177"));
    Ring("EditBlackAreaDiameter")->setText(QStringLiteral("0.29"));
    Ring("EditInnerWhiteDiamater")->setText(QStringLiteral("0"));
    Ring("EditXDiameter")->setText(QStringLiteral("0"));
    Ring("EditHitRingGap")->setText(QStringLiteral("0.29"));
    prompts.shown.clear();
    ClickOK();
    ASSERT_TRUE(Accepted()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
    const RingTargetRecord& ring = entry.target.ringRecord;
    EXPECT_EQ(std::tuple(ring.SizesInInch(), ring.CaliberInInch(), ring.DiameterHighestRing(), ring.Caliber(),
                         ring.DiameterBlackArea(), ring.HitRingGap()),
              std::tuple(true, true, 150, 177, 29, 29));
}

TEST_F(EditSetupTest, UnitSwitchesConvertTheEditsAndCustomRingsFollow)
{
    Open(QStringLiteral("25 m Pistol"), true);
    ShowTab("Ring Target");
    Ring("EditDistance")->setText(QStringLiteral("100"));
    Ring("EditCaliber")->setText(QStringLiteral("5.56"));
    Click(Switch("FrameEditRingSettings1", "ImageToggleDistanceUnit"));
    EXPECT_EQ(Ring("EditDistance")->text(), QStringLiteral("109.4"));
    Click(Switch("FrameEditRingSettings1", "ImageToggleDistanceUnit"));
    EXPECT_EQ(Ring("EditDistance")->text(), QStringLiteral("100.0"));
    Click(Switch("FrameEditRingSettings1", "ImageToggleCaliberUnit"));
    EXPECT_EQ(Ring("EditCaliber")->text(), QStringLiteral("0.219"));
    EXPECT_EQ(::Control<QLabel>(FormEditSetup, "LabelCaliberUnit")->text(), QStringLiteral("\""));

    // Custom rings on: the tab appears and is selected.
    Click(Switch("FrameEditRingSettings1", "ImageToggleCustomized"));
    EXPECT_EQ(Tabs(), QStringList({"General", "Ring Target", "Custom Rings", "Misc"}));
    EXPECT_EQ(FormEditSetup->CurrentTabCaption(), QStringLiteral("Custom Rings"));
    SaveScreen(*FormEditSetup, QStringLiteral("edit_setup_custom_rings"));
    for (int k = 1; k <= 9; ++k)
        In("FrameEditRingCustomSettings1", QStringLiteral("EditHm%1").arg(k).toLatin1().constData())
            ->setText(QString::number(50 + 50 * k));
    In("FrameEditRingCustomSettings1", "EditHm1")->setText(QStringLiteral("25.4"));
    ShowTab("Ring Target");
    Ring("EditHighestRingDiameter")->setText(QStringLiteral("25.4"));
    Click(Switch("FrameEditRingSettings1", "ImageToggleRingUnits"));
    EXPECT_EQ(Ring("EditHighestRingDiameter")->text(), QStringLiteral("1.00"));
    EXPECT_EQ(In("FrameEditRingCustomSettings1", "EditHm1")->text(), QStringLiteral("1.00"));
    EXPECT_EQ(::Control<QLabel>(FormEditSetup, "LabelCustomRingUnit")->text(), QStringLiteral("\""));
    ClickOK();
    ASSERT_TRUE(Accepted()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
    const RingTargetRecord& ring = entry.target.ringRecord;
    EXPECT_EQ(std::tuple(ring.DistanceInYards(), ring.NominalDistance(), ring.CaliberInInch(), ring.Caliber(),
                         ring.SizesInInch(), ring.VariableRingGaps(), ring.DiameterHighestRing(),
                         ring.DiameterVariableHminus(1), ring.DiameterVariableHminus(2)),
              std::tuple(false, 1000, true, 219, true, true, 100, 100, 591));  // 150 mm = 5.91 inch
}

TEST_F(EditSetupTest, CustomRowsFollowTheRingNumbersAndNeverPassTheRecord)
{
    ASSERT_TRUE(StartProgram());
    SetAdvancedModeOn(true);
    entry.descriptions = QStringList {QStringLiteral("Wide")};
    entry.target.hasRing = 1;
    RingTargetRecord& ring = entry.target.ringRecord;
    ring.SetHighestRing(10);
    ring.SetMinimumRing(8);
    ring.SetVariableRingGaps(true);
    ring.SetNominalDistance(100);
    ring.SetDiameterHighestRing(100);
    ModeBlock classic;
    classic.SetRingTargetEnabled(true);
    entry.blocks.SetModeBlock(SetupBlocks::ClassicBlock, classic);
    OpenEntry();
    ShowTab("Custom Rings");
    auto visibleRows = [] {
        QStringList labels;
        for (int k = 1; k <= 11; ++k) {
            auto* label = In<QLabel>("FrameEditRingCustomSettings1", QStringLiteral("LabelM%1").arg(k).toLatin1().constData());
            if (label->isVisible())
                labels << label->text();
        }
        return labels;
    };
    EXPECT_EQ(visibleRows(), QStringList({"9", "8"}));

    // A unit or a file may claim far more rings: eleven rows, no exception.
    FormEditSetup->reject();
    ring.SetHighestRing(200);
    ring.SetMinimumRing(0);
    OpenEntry();
    ShowTab("Custom Rings");
    EXPECT_EQ(visibleRows().size(), 11);
    EXPECT_EQ(visibleRows().first(), QStringLiteral("199"));
    FormEditSetup->RedrawPreview();
}

// ---- Silhouette ------------------------------------------------------------------------------------

TEST_F(EditSetupTest, SilhouetteSizeWithDecimalsIsKeptByTheTargetSwitches)
{
    Open(QStringLiteral("25 m Silhouette"), true, SessionDynamic);
    ShowTab("Silhouette");
    SaveScreen(*FormEditSetup, QStringLiteral("edit_setup_silhouette"));
    Silhouette("EditSilhouetteSize")->setText(QStringLiteral("620.0"));
    Q_EMIT Silhouette("EditSilhouetteSize")->editingFinished();
    EXPECT_EQ(FormEditSetup->WorkingSetup.target.silhouetteRecord.Size(), 620);
    // Switching a training kind fills defaults into an empty target only.
    ShowTab("Misc");
    Misc("CheckBoxSilhouette1")->click();
    Misc("CheckBoxSilhouette1")->click();
    EXPECT_EQ(Silhouette("EditSilhouetteSize")->text(), QStringLiteral("620.0"));
    const SilhouetteTargetRecord& s = FormEditSetup->WorkingSetup.target.silhouetteRecord;
    EXPECT_EQ(std::tuple(s.Size(), s.SizeInInch(), s.DistanceInYards()), std::tuple(620, false, false));

    // Advanced: the side converts with the unit switch and stays where it
    // still fits once switched back.
    ShowTab("Silhouette");
    Silhouette("EditSilhouetteSize")->setText(QStringLiteral("500"));
    Click(Switch("FrameEditSilhouetteSettings1", "ImageToggleUnits"));
    EXPECT_EQ(Silhouette("EditSilhouetteSize")->text(), QStringLiteral("19.7"));
    Click(Switch("FrameEditSilhouetteSettings1", "ImageToggleUnits"));
    EXPECT_EQ(Silhouette("EditSilhouetteSize")->text(), QStringLiteral("500"));
    Click(Switch("FrameEditSilhouetteSettings1", "ImageToggleUnits"));
    Silhouette("EditSilhouetteSize")->setText(QStringLiteral("2581"));
    prompts.shown.clear();
    ClickOK();
    EXPECT_EQ(prompts.Texts(), QStringList {RangeMessage(1, 2580)});
    Silhouette("EditSilhouetteSize")->setText(QStringLiteral("20.5"));
    ClickOK();
    ASSERT_TRUE(Accepted());
    EXPECT_EQ(std::tuple(entry.target.silhouetteRecord.Size(), entry.target.silhouetteRecord.SizeInInch()),
              std::tuple(205, true));
}

TEST_F(EditSetupTest, SimpleLayoutStoresWidthAndHeight)
{
    Open(QStringLiteral("25 m Silhouette"), false, SessionDynamic);
    ShowTab("Silhouette");
    SaveScreen(*FormEditSetup, QStringLiteral("edit_setup_silhouette_simple"));
    Silhouette("EditSilhouetteWidth")->setText(QStringLiteral("0"));
    ClickOK();
    EXPECT_EQ(prompts.Texts(), QStringList {RangeMessage(0.1, 6000)});
    Silhouette("EditSilhouetteWidth")->setText(QStringLiteral("40"));
    Silhouette("EditSilhouetteHeight")->setText(QStringLiteral("60"));
    ClickOK();
    ASSERT_TRUE(Accepted());
    const SilhouetteTargetRecord& s = entry.target.silhouetteRecord;
    EXPECT_EQ(std::tuple(s.Size(), s.Width(), s.Height()), std::tuple(600, 400.0, 600.0));
}

TEST_F(EditSetupTest, ImportedPictureBecomesASilhouetteOnlyTarget)
{
    Open(QStringLiteral("10 m Air Pistol"), true);
    QApplication::clipboard()->clear();
    auto* frame = FormEditSetup->findChild<TFrameEditSilhouetteSettings*>();
    frame->ButtonImportBitmapClick();
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("No bitmap on clipboard to import.")});
    EXPECT_TRUE(FormEditSetup->WorkingSetup.target.hasRing);

    QImage picture(64, 64, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int y = 10; y < 50; ++y)
        for (int x = 20; x < 44; ++x)
            picture.setPixel(x, y, y < 20 ? qRgb(255, 0, 0) : qRgb(0, 0, 0));
    QApplication::clipboard()->setImage(picture);
    frame->ButtonImportBitmapClick();
    const TargetDescription& t = FormEditSetup->WorkingSetup.target;
    const SilhouetteTargetRecord& s = t.silhouetteRecord;
    EXPECT_EQ(std::tuple(t.hasRing, t.hasSilhouette, s.NominalDistance(), s.Size(), s.Width(), s.Height(),
                         s.SizeInInch(), s.DistanceInYards()),
              std::tuple(0, 1, 100, 500, 500.0, 500.0, false, false));
    EXPECT_EQ(std::tuple(t.silhouetteMatrix.Cell(30, 15), t.silhouetteMatrix.Cell(30, 30), t.silhouetteMatrix.Cell(5, 5)),
              std::tuple(2, 1, 0));
    EXPECT_EQ(Tabs(), QStringList({"General", "Silhouette", "Misc"}));
    EXPECT_EQ(Silhouette("EditSilhouetteSize")->text(), QStringLiteral("500"));
    // It stays so through the next store.
    ClickOK();
    ASSERT_TRUE(Accepted()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(std::tuple(entry.target.hasRing, entry.target.hasSilhouette), std::tuple(0, 1));
}

// ---- Presets ------------------------------------------------------------------------------------------

TEST_F(EditSetupTest, ATargetSwitchedOnFirstGetsItsPreset)
{
    // A ring setup gains a silhouette: 20 inch at 200 yd.
    Open(QStringLiteral("10 m Air Pistol"), true);
    ShowTab("Misc");
    In<QRadioButton>("FrameEditAdvancedSettings1", "RadioButtonSilhouette")->click();
    Misc("CheckBoxSilhouette1")->click();
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(Tabs(), QStringList({"General", "Silhouette", "Ring Target", "Misc"}));
    const TargetDescription& t = FormEditSetup->WorkingSetup.target;
    EXPECT_EQ(std::tuple(t.hasRing, t.hasSilhouette, t.silhouetteRecord.Size(), t.silhouetteRecord.SizeInInch(),
                         t.silhouetteRecord.NominalDistance(), t.silhouetteRecord.DistanceInYards()),
              std::tuple(1, 1, 200, true, 2000, true));
    // The ring it had is no empty target: it keeps its values.
    EXPECT_EQ(t.ringRecord, before.target.ringRecord);

    // A silhouette setup gains a ring: the 200 yd rifle target.
    FormEditSetup->reject();
    Open(QStringLiteral("25 m Silhouette"), true, SessionDynamic);
    ShowTab("Misc");
    In<QRadioButton>("FrameEditAdvancedSettings1", "RadioButtonRing")->click();
    Misc("CheckBoxRingTarget2")->click();
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
    const RingTargetRecord& r = FormEditSetup->WorkingSetup.target.ringRecord;
    EXPECT_EQ(std::tuple(r.NameText(), r.NominalDistance(), r.DistanceInYards(), r.Caliber(), r.CaliberInInch(),
                         r.SizesInInch(), r.VariableRingGaps(), r.HighestRing(), r.MinimumRing()),
              std::tuple(QStringLiteral("M16 200 yd"), 2000, true, 556, false, true, false, 10, 5));
    EXPECT_EQ(std::tuple(r.DiameterHighestRing(), r.HitRingGap(), r.DiameterBlackArea(), r.DiameterInnerWhite(),
                         r.DiameterX(), r.HIBMinScore()),
              std::tuple(700, 300, 1300, 0, 0, 50));
    EXPECT_EQ(FormEditSetup->WorkingSetup.target.silhouetteRecord, before.target.silhouetteRecord);
}

// ---- Tabs, OK, files, print --------------------------------------------------------------------------

TEST_F(EditSetupTest, WithoutAnyTargetOKIsRefusedOnTheMiscTab)
{
    Open(QStringLiteral("10 m Air Pistol"), true);
    ShowTab("Misc");
    SaveScreen(*FormEditSetup, QStringLiteral("edit_setup_misc"));
    Misc("CheckBoxRingTarget1")->click();
    EXPECT_EQ(Tabs(), QStringList({"General", "Ring Target", "Misc"}));
    Misc("CheckBoxRingTarget2")->click();
    EXPECT_EQ(Tabs(), QStringList({"General", "Misc"}));
    EXPECT_EQ(FormEditSetup->CurrentTabCaption(), QStringLiteral("Misc"));
    ShowTab("General");
    prompts.shown.clear();
    ClickOK();
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Ring or silhouette not selected")});
    EXPECT_TRUE(FormEditSetup->isVisible());
    EXPECT_EQ(FormEditSetup->CurrentTabCaption(), QStringLiteral("Misc"));
    EXPECT_TRUE(SameSetup(entry, before));

    // Saving such a setup would give a file that cannot be read back.
    prompts.shown.clear();
    Click(::Control(FormEditSetup, "ButtonSaveOne"));
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Ring or silhouette not selected")});
    EXPECT_TRUE(prompts.fileRequests.empty());
}

TEST_F(EditSetupTest, SaveOneRefusesTheShippedNameAndInvalidValues)
{
    Open(QStringLiteral("10 m Air Pistol"), true);
    const QString folder = ScratchRoot() + QStringLiteral("/out");
    QDir().mkpath(folder);
    prompts.fileAnswers.push_back(folder + QStringLiteral("/Default.Setup.XML"));
    Click(::Control(FormEditSetup, "ButtonSaveOne"));
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Default setup cannot be overwritten")});
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/Default.Setup.XML")));

    General("EditSleepTimeout2")->setText(QStringLiteral("6"));
    prompts.shown.clear();
    prompts.fileRequests.clear();
    Click(::Control(FormEditSetup, "ButtonSaveOne"));
    EXPECT_EQ(prompts.Texts(), QStringList {RangeMessage(0, 5)});
    EXPECT_TRUE(prompts.fileRequests.empty());

    General("EditSleepTimeout2")->setText(QStringLiteral("4"));
    const QString path = folder + QStringLiteral("/pistol.setup.xml");
    prompts.fileAnswers.push_back(path);
    Click(::Control(FormEditSetup, "ButtonSaveOne"));
    TSetupHandler saved;
    ASSERT_TRUE(saved.LoadFromFile(path));
    ASSERT_EQ(saved.Count(), 1);
    EXPECT_EQ(saved.Get(0)->blocks.GetModeBlock(SetupBlocks::ClassicBlock).SleepTimeout(), 4);
    EXPECT_EQ(saved.Get(0)->target.ringRecord, FormEditSetup->WorkingSetup.target.ringRecord);
}

TEST_F(EditSetupTest, LoadOneRebuildsTheTabsFromTheFile)
{
    // A file whose first setup has custom rings.
    TSetupHandler file;
    TTargetSetup custom;
    custom.descriptions = QStringList {QStringLiteral("Custom")};
    custom.target.hasRing = 1;
    custom.target.ringRecord.SetVariableRingGaps(true);
    custom.target.ringRecord.SetHighestRing(10);
    custom.target.ringRecord.SetMinimumRing(7);
    custom.target.ringRecord.SetNominalDistance(500);
    custom.target.ringRecord.SetDiameterHighestRing(100);
    custom.target.ringRecord.SetCaliber(450);
    custom.target.ringRecord.SetHIBMinScore(70);
    ModeBlock classic;
    classic.SetRingTargetEnabled(true);
    classic.SetNumberOfPrisms(1);
    classic.SetWakeupAngle(45);
    classic.SetShotRejectionAngle(20);
    custom.blocks.SetModeBlock(SetupBlocks::ClassicBlock, classic);
    custom.blocks.SetModeBlock(SetupBlocks::DynamicBlock, classic);
    file.Add(custom);
    const QString path = ScratchRoot() + QStringLiteral("/custom.setup.xml");
    file.SaveToFile(path);

    Open(QStringLiteral("25 m Silhouette"), true, SessionDynamic);
    prompts.fileAnswers.push_back(path);
    Click(::Control(FormEditSetup, "ButtonLoadOne"));
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(Tabs(), QStringList({"General", "Ring Target", "Custom Rings", "Misc"}));
    EXPECT_EQ(FormEditSetup->CurrentTabCaption(), QStringLiteral("Ring Target"));
    EXPECT_EQ(Ring("EditDistance")->text(), QStringLiteral("50"));

    // A setup whose training kinds use no target: only "General" is left.
    QFile xml(path);
    ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
    QByteArray text = xml.readAll();
    xml.close();
    text.replace("<CTRL1>2</CTRL1>", "<CTRL1>0</CTRL1>");
    text.replace("<RingTargetEnabled>1</RingTargetEnabled>", "<RingTargetEnabled>0</RingTargetEnabled>");
    WriteFile(path, text);
    SetAdvancedModeOn(false);
    prompts.fileAnswers.push_back(path);
    Click(::Control(FormEditSetup, "ButtonLoadOne"));
    EXPECT_EQ(Tabs(), QStringList({"General"}));
    EXPECT_EQ(FormEditSetup->FrontFrame()->objectName(), QStringLiteral("FrameEditModeSettings1"));

    // A file that is no setup list.
    WriteFile(path, QByteArray("<nothing/>"));
    prompts.shown.clear();
    prompts.fileAnswers.push_back(path);
    Click(::Control(FormEditSetup, "ButtonLoadOne"));
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Error opening setup")});
}

TEST_F(EditSetupTest, PrintStoresFirstAndShowsThePrintSetup)
{
    Open(QStringLiteral("10 m Air Pistol"), true);
    auto* print = ::Control(FormEditSetup, "ButtonPrint");
    ASSERT_TRUE(print->isVisible());
    Ring("EditDistance")->setText(QStringLiteral("-1"));
    Click(print);
    EXPECT_EQ(prompts.Texts(), QStringList {RangeMessage(0, 3000)});
    EXPECT_FALSE(FormPrintSetup->isVisible());

    Ring("EditDistance")->setText(QStringLiteral("10"));
    bool shown = false;
    QTimer::singleShot(0, FormPrintSetup, [&] {
        shown = FormPrintSetup->isVisible();
        FormPrintSetup->reject();
    });
    Click(print);
    EXPECT_TRUE(shown);
    EXPECT_EQ(FormEditSetup->WorkingSetup.target.ringRecord.NominalDistance(), 100);
}

// ---- Translation ----------------------------------------------------------------------------------------

TEST_F(EditSetupTest, EveryTableFindsItsControlsAndTranslatesThem)
{
    Open(QStringLiteral("10 m Air Pistol"), true);
    QStringList log;
    SetDebugLogSink([&log](const QString& line) { log << line; });
    SetTranslationList({QStringLiteral("Load=Laden"), QStringLiteral("Description=Beschreibung"),
                        QStringLiteral("Highest Ring=Hoechster Ring"), QStringLiteral("Diameter=Durchmesser"),
                        QStringLiteral("Silhouette Size (Max)=Groesse"), QStringLiteral("Target Number=Zielnummer")});
    TranslateUI();
    SetDebugLogSink({});
    for (const QString& line : log)
        EXPECT_FALSE(line.contains(QStringLiteral("no control"))) << line.toStdString();
    const std::pair<const char*, const char*> translated[] = {
        {"FormEditSetup", "ButtonLoadOne"},          {"FrameEditModeSettings1", "Label1"},
        {"FrameEditRingSettings1", "Label3"},        {"FrameEditRingCustomSettings1", "Label12"},
        {"FrameEditSilhouetteSettings1", "Label3"},  {"FrameEditAdvancedSettings1", "Label4"}};
    const QStringList expected = {"Laden", "Beschreibung", "Hoechster Ring", "Durchmesser", "Groesse", "Zielnummer"};
    QStringList texts;
    for (auto [frame, name] : translated) {
        QWidget* root = QString::fromLatin1(frame) == QLatin1String("FormEditSetup")
                            ? static_cast<QWidget*>(FormEditSetup)
                            : FormEditSetup->findChild<QWidget*>(QString::fromLatin1(frame));
        texts << ::Control<QWidget>(root, name)->property("text").toString();
    }
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(Tabs().first(), QStringLiteral("General"));
    SetTranslationList({});
}

// ---- Rough edges an operator meets ---------------------------------------------------------------

// Both name fields take no more than the unit's 16 characters, and what they
// show is what is stored.
TEST_F(EditSetupTest, TargetNamesTakeSixteenCharacters)
{
    Open(QStringLiteral("25 m Silhouette"), true, SessionDynamic);
    for (const char* frame : {"FrameEditRingSettings1", "FrameEditSilhouetteSettings1"}) {
        QLineEdit* name = In(frame, "EditTargetName");
        name->clear();
        TypeText(name, QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVW"));
        EXPECT_EQ(name->text(), QStringLiteral("ABCDEFGHIJKLMNOP")) << frame;
        name->setText(QStringLiteral("Zielscheibe Nummer zwei"));
        EXPECT_EQ(name->text().size(), 16) << frame;
        // Text set through the accessibility interface, as desktop tools do.
        QAccessibleInterface* access = QAccessible::queryAccessibleInterface(name);
        ASSERT_NE(access, nullptr);
        access->setText(QAccessible::Value, QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVW"));
        EXPECT_EQ(name->text(), QStringLiteral("ABCDEFGHIJKLMNOP")) << frame;
    }
    FormEditSetup->StoreFrames(false);
    EXPECT_EQ(FormEditSetup->WorkingSetup.target.silhouetteRecord.NameText(), In("FrameEditSilhouetteSettings1", "EditTargetName")->text());
}

// A field inside a sentence stands between its words, on the same line, also
// when a language puts other words around it.
TEST_F(EditSetupTest, TheRoundsFieldStandsInsideItsSentence)
{
    Open(QStringLiteral("10 m Air Pistol"), true);
    QWidget* frame = FormEditSetup->findChild<QWidget*>(QStringLiteral("FrameEditModeSettings1"));
    auto* lead = ::Control<QLabel>(frame, "Label4");
    auto* end = ::Control<QLabel>(frame, "Label4End");
    QLineEdit* field = General("EditBullets2");
    const auto inSentence = [&] {
        const QRect l = lead->geometry(), f = field->geometry(), e = end->geometry();
        return l.right() < f.left() && f.right() < e.left() && f.top() < e.bottom() && e.top() < f.bottom()
               && f.top() < l.bottom() && l.top() < f.bottom();
    };
    ASSERT_TRUE(WaitFor([&] { return field->isVisible() && inSentence(); }));
    EXPECT_EQ(std::pair(lead->text(), end->text()),
              std::pair(QStringLiteral("Limit rounds to"), QStringLiteral("shots  (0 - not used)")));
    SaveScreen(*FormEditSetup, QStringLiteral("edit_setup_general_rounds"));

    SetTranslationList({QStringLiteral("Limit rounds to                  shots  (0 - not used)="
                                       "Höchstens ... Schuss (0 = unbegrenzt)")});
    TranslateUI();
    EXPECT_EQ(std::pair(lead->text(), end->text()),
              std::pair(QStringLiteral("Höchstens"), QStringLiteral("Schuss (0 = unbegrenzt)")));
    EXPECT_TRUE(WaitFor(inSentence));
    SetTranslationList({});
}

// Every hit-area caption can be read on its colour, the white Miss included.
TEST_F(EditSetupTest, HitAreaCaptionsStandOutFromTheirColours)
{
    Open(QStringLiteral("25 m Silhouette"), true, SessionDynamic);
    ShowTab("Silhouette");
    auto* frame = FormEditSetup->findChild<TFrameEditSilhouetteSettings*>();
    ASSERT_NE(frame, nullptr);
    frame->HitAreaColors[3] = 0x00FFFF;  // yellow (0x00BBGGRR)
    frame->ShowHitAreaColors();
    for (const char* name : {"PanelMiss", "PanelHit", "PanelFatal", "PanelNear"}) {
        auto* panel = ::Control<QPushButton>(frame, name);
        ASSERT_TRUE(WaitFor([&] { return panel->isVisible(); })) << name;
        const QImage shown = panel->grab().toImage();
        // The colour most of the panel shows, and how far the caption's
        // pixels are from it in brightness.
        const QColor ground = shown.pixelColor(shown.width() / 2, 3);
        int farthest = 0;
        for (int y = 3; y < shown.height() - 3; ++y)
            for (int x = 3; x < shown.width() - 3; ++x)
                farthest = std::max(farthest, std::abs(qGray(shown.pixel(x, y)) - qGray(ground.rgb())));
        EXPECT_GE(farthest, 100) << name << " on " << ground.name().toStdString();
    }
    SaveScreen(*FormEditSetup, QStringLiteral("edit_setup_silhouette_colours"));
}

} // namespace

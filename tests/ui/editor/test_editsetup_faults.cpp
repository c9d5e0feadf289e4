// The setup editor against bad input: every numeric edit refuses text that
// is no number or out of range with the range message, rings a target does
// not use never hold up OK, and a setup file that is damaged or holds no
// setup is refused with the working copy kept as it was.
#include "AppSettings.h"
#include "EditSetupValues.h"
#include "FormEditSetup.h"
#include "Globals.h"
#include "UiRig.h"

#include "FormSelectSetup.h"

#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>

namespace {

class EditSetupFaultsTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        SetDecimalSeparator(QLatin1Char('.'));
        ASSERT_TRUE(StartProgram());
        SetAdvancedModeOn(true);
    }
    void TearDown() override
    {
        SetAdvancedModeOn(false);
        UiRigTest::TearDown();
    }

    // A ring target with custom rings 9..7 and a silhouette, both trained.
    static TTargetSetup BothTargets()
    {
        TTargetSetup setup;
        setup.descriptions = QStringList {QStringLiteral("Both")};
        setup.target.hasRing = 1;
        setup.target.hasSilhouette = 1;
        RingTargetRecord& ring = setup.target.ringRecord;
        ring.SetVariableRingGaps(true);
        ring.SetHighestRing(10);
        ring.SetMinimumRing(7);
        ring.SetNominalDistance(500);
        ring.SetDiameterHighestRing(100);
        ring.SetCaliber(450);
        ring.SetHIBMinScore(70);
        for (int k = 1; k <= 3; ++k)
            ring.SetDiameterVariableHminus(k, 100 + 100 * k);
        SilhouetteTargetRecord& s = setup.target.silhouetteRecord;
        s.SetNominalDistance(250);
        s.SetSize(500);
        s.SetWidth(500);
        s.SetHeight(500);
        ModeBlock block;
        block.SetRingTargetEnabled(true);
        block.SetSilhouetteEnabled(true);
        block.SetNumberOfPrisms(1);
        block.SetWakeupAngle(45);
        block.SetShotRejectionAngle(20);
        setup.blocks.SetModeBlock(SetupBlocks::ClassicBlock, block);
        setup.blocks.SetModeBlock(SetupBlocks::DynamicBlock, block);
        return setup;
    }

    void OpenEntry()
    {
        SessionMode = SessionClassic;
        before = entry;
        FormEditSetup->BeginEdit(entry);
        FormEditSetup->show();
        prompts.shown.clear();
    }
    void ClickOK() { Click(::Control(FormEditSetup, "ButtonOK")); }
    bool Accepted() const { return !FormEditSetup->isVisible() && FormEditSetup->result() == QDialog::Accepted; }
    static QLineEdit* Edit(const char* frame, const char* name)
    {
        return ::Control<QLineEdit>(FormEditSetup->findChild<QWidget*>(QString::fromLatin1(frame)), name);
    }

    TTargetSetup entry;
    TTargetSetup before;
};

bool SameSetup(const TTargetSetup& a, const TTargetSetup& b)
{
    return a.descriptions == b.descriptions && a.blocks == b.blocks && a.target.hasRing == b.target.hasRing
           && a.target.hasSilhouette == b.target.hasSilhouette && a.target.ringRecord == b.target.ringRecord
           && a.target.silhouetteRecord == b.target.silhouetteRecord;
}

// Every numeric edit the operator can see, on every tab: letters, overflowing
// and empty text each get the range message once; the dialog stays open and
// the entry keeps what it had.
TEST_F(EditSetupFaultsTest, EveryNumericEditRefusesBadTextWithTheRangeMessage)
{
    entry = BothTargets();
    OpenEntry();
    const QString rangeStart = QStringLiteral("An invalid value has been entered");
    int checked = 0;
    for (const char* frameName : {"FrameEditModeSettings1", "FrameEditRingSettings1", "FrameEditRingCustomSettings1",
                                  "FrameEditSilhouetteSettings1"}) {
        QWidget* frame = FormEditSetup->findChild<QWidget*>(QString::fromLatin1(frameName));
        ASSERT_NE(frame, nullptr) << frameName;
        for (QLineEdit* edit : frame->findChildren<QLineEdit*>()) {
            // Names are free text; hidden edits are not the operator's.
            if (edit->objectName() == QLatin1String("EditTargetName") || !edit->isVisibleTo(frame))
                continue;
            const QString kept = edit->text();
            for (const char* bad : {"x1", "1e999", "-1e999", ""}) {
                edit->setText(QString::fromLatin1(bad));
                prompts.shown.clear();
                ClickOK();
                const std::string where = std::string(frameName) + "/" + edit->objectName().toStdString() + " '" + bad + "'";
                EXPECT_TRUE(FormEditSetup->isVisible()) << where;
                ASSERT_EQ(prompts.shown.size(), 1u) << where << prompts.Texts().join('|').toStdString();
                EXPECT_TRUE(prompts.shown[0].text.startsWith(rangeStart)) << where;
            }
            edit->setText(kept);
            ++checked;
        }
    }
    EXPECT_GE(checked, 15);
    EXPECT_TRUE(SameSetup(entry, before));
    prompts.shown.clear();
    ClickOK();
    EXPECT_TRUE(Accepted()) << prompts.Texts().join('|').toStdString();
}

// Diameters of rings beyond the target's lowest are not shown; what a unit
// or a file left there (an erased field reads 0xFFFF) must not refuse OK.
TEST_F(EditSetupFaultsTest, UnusedCustomRingsNeverHoldUpOK)
{
    entry = BothTargets();
    for (int k = 4; k <= RingTargetRecord::VariableRingCount; ++k)
        entry.target.ringRecord.SetDiameterVariableHminus(k, 0xFFFF);
    OpenEntry();
    ClickOK();
    EXPECT_TRUE(Accepted()) << prompts.Texts().join('|').toStdString();
    EXPECT_EQ(entry.target.ringRecord.DiameterVariableHminus(3), 400);
    EXPECT_EQ(entry.target.ringRecord.DiameterVariableHminus(11), 0xFFFF);

    // A visible row is still checked.
    OpenEntry();
    FormEditSetup->SelectTab(FormEditSetup->TabIndex(QStringLiteral("Custom Rings")));
    Edit("FrameEditRingCustomSettings1", "EditHm2")->setText(QStringLiteral("6000.1"));
    ClickOK();
    EXPECT_TRUE(FormEditSetup->isVisible());
    EXPECT_EQ(prompts.Texts(), QStringList {EditSetupValues::RangeMessage(0, 6000)});
}

// Load: a damaged file and a list without any setup are both refused with
// the message; the working copy and what the edits show stay as they were.
TEST_F(EditSetupFaultsTest, ABadSetupFileLeavesTheWorkingSetupAsItWas)
{
    entry = BothTargets();
    OpenEntry();
    Edit("FrameEditModeSettings1", "EditBullets2")->setText(QStringLiteral("12"));

    TSetupHandler list;
    list.Add(BothTargets());
    const QString path = ScratchRoot() + QStringLiteral("/bad.setup.xml");
    list.SaveToFile(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();

    TSetupHandler none;
    const QString emptyPath = ScratchRoot() + QStringLiteral("/empty.setup.xml");
    none.SaveToFile(emptyPath);

    QByteArray badNumber = whole;
    ASSERT_TRUE(badNumber.contains("<NumberOfPrisms>1</NumberOfPrisms>"));
    badNumber.replace("<NumberOfPrisms>1</NumberOfPrisms>", "<NumberOfPrisms>one</NumberOfPrisms>");
    for (const QByteArray& content :
         {whole.left(whole.size() / 2), badNumber, QByteArray("\x00\xff<<<", 6), QByteArray()}) {
        WriteFile(path, content);
        prompts.shown.clear();
        prompts.fileAnswers.push_back(path);
        Click(::Control(FormEditSetup, "ButtonLoadOne"));
        EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Error opening setup")}) << content.size();
    }
    prompts.shown.clear();
    prompts.fileAnswers.push_back(emptyPath);
    Click(::Control(FormEditSetup, "ButtonLoadOne"));
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Error opening setup")});

    EXPECT_EQ(Edit("FrameEditModeSettings1", "EditBullets2")->text(), QStringLiteral("12"));
    EXPECT_EQ(Edit("FrameEditRingSettings1", "EditDistance")->text(), QStringLiteral("50"));
    prompts.shown.clear();
    ClickOK();
    ASSERT_TRUE(Accepted()) << prompts.Texts().join('|').toStdString();
    EXPECT_EQ(entry.blocks.GetModeBlock(SetupBlocks::ClassicBlock).NumberOfBullets(), 12);
    EXPECT_TRUE(entry.target.hasRing && entry.target.hasSilhouette);
}

// A unit whose slots hold nothing but the one it came with.
class EditSetupEmptySlotTest : public UiRigTest {
protected:
    void TearDown() override
    {
        SetAdvancedModeOn(false);
        UiRigTest::TearDown();
    }
};

// Reading a slot the unit never held: the operator is told it is empty, no
// value is refused that nobody typed, and the editor keeps its target.
TEST_F(EditSetupEmptySlotTest, AnEmptySlotIsReportedAndTheFormKeepsItsTarget)
{
    AddUnit(31, unitsim::UnitName("KBR", 300));
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(ScanUnits(1));
    SetAdvancedModeOn(true);
    SessionMode = SessionClassic;
    TTargetSetup entry = *FormSelectSetup->Setups().Get(0);
    FormEditSetup->BeginEdit(entry);
    FormEditSetup->show();
    QWidget* misc = FormEditSetup->findChild<QWidget*>(QStringLiteral("FrameEditAdvancedSettings1"));
    FormEditSetup->SelectTab(FormEditSetup->TabIndex(QStringLiteral("Misc")));
    Click(::Control<QToolButton>(misc, "ImageToggleSettingsOnDevice"));
    const TargetDescription before = FormEditSetup->WorkingSetup.target;
    QWidget* ringFrame = FormEditSetup->findChild<QWidget*>(QStringLiteral("FrameEditRingSettings1"));
    const QString caliber = ::Control<QLineEdit>(ringFrame, "EditCaliber")->text();

    for (const char* kind : {"RadioButtonRing", "RadioButtonSilhouette"}) {
        prompts.shown.clear();
        Click(::Control<QRadioButton>(misc, kind));
        ::Control<QLineEdit>(misc, "EditTargetNumber")->setText(QStringLiteral("9"));
        ASSERT_TRUE(ClickWhenReady(::Control(misc, "ButtonDownloadOne")));
        EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Target slot 9 is empty")}) << kind;
        const TargetDescription& now = FormEditSetup->WorkingSetup.target;
        EXPECT_EQ(std::tuple(now.hasRing, now.hasSilhouette, now.targetNumber),
                  std::tuple(before.hasRing, before.hasSilhouette, before.targetNumber))
            << kind;
        EXPECT_TRUE(now.ringRecord == before.ringRecord) << kind;
        EXPECT_TRUE(now.silhouetteRecord == before.silhouetteRecord) << kind;
        EXPECT_EQ(::Control<QLineEdit>(ringFrame, "EditCaliber")->text(), caliber) << kind;
        EXPECT_EQ(FormEditSetup->CurrentTabCaption(), QStringLiteral("Misc")) << kind;
    }
    // OK still takes the target the form had.
    prompts.shown.clear();
    Click(::Control(FormEditSetup, "ButtonOK"));
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(entry.target.ringRecord == before.ringRecord);
}

} // namespace

#include "FrameEditModeSettings.h"

#include "AppSettings.h"
#include "EditSetupValues.h"
#include "EditSetupWidgets.h"
#include "FormEditSetup.h"
#include "FrameEditAdvancedSettings.h"
#include "Globals.h"
#include "Prompts.h"
#include "Setupdata.h"
#include "SentenceField.h"
#include "TranslateUI.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

using namespace EditSetupValues;

namespace {

QString IntText(int v) { return QString::number(v); }

// An edit's value as the low byte of its truncated number.
int ByteOf(const QLineEdit* edit) { return StoredValue(edit->text(), 0) & 0xFF; }

} // namespace

TFrameEditModeSettings::TFrameEditModeSettings(TFormEditSetup& editor, QWidget* parent)
    : QWidget(parent)
    , editor_(editor)
{
    setObjectName(QStringLiteral("FrameEditModeSettings1"));
    BuildControls();
    BuildLayout();
    RegisterTranslation();
}

TFrameEditModeSettings::~TFrameEditModeSettings() { UnregisterTranslateTables(this); }

void TFrameEditModeSettings::BuildControls()
{
    MemoDescription = NamedControl<QPlainTextEdit>(this, "MemoDescription");
    MemoDescription->setTabChangesFocus(true);
    MemoDescription->setFixedHeight(70);
    EditRingTarget2 = NamedControl<QLineEdit>(this, "EditRingTarget2");
    EditSilhouetteNumber2 = NamedControl<QLineEdit>(this, "EditSilhouetteNumber2");
    EditNumberOfPrisms2 = NamedControl<QLineEdit>(this, "EditNumberOfPrisms2", QStringLiteral("1"));
    EditBullets2 = NamedControl<QLineEdit>(this, "EditBullets2", QStringLiteral("30"));
    EditSleepAngle2 = NamedControl<QLineEdit>(this, "EditSleepAngle2", QStringLiteral("45"));
    EditShotRejectionAngle2 = NamedControl<QLineEdit>(this, "EditShotRejectionAngle2", QStringLiteral("20"));
    EditSleepTimeout2 = NamedControl<QLineEdit>(this, "EditSleepTimeout2", QStringLiteral("5"));
    EditCockingDelay2 = NamedControl<QLineEdit>(this, "EditCockingDelay2", QStringLiteral("0.3"));
    for (QLineEdit* edit : {EditRingTarget2, EditSilhouetteNumber2, EditNumberOfPrisms2, EditBullets2, EditSleepAngle2,
                            EditShotRejectionAngle2, EditSleepTimeout2, EditCockingDelay2})
        edit->setMaximumWidth(60);

    GroupBoxTriggerSensitivity = NamedControl<QGroupBox>(this, "GroupBoxTriggerSensitivity");
    GroupBoxTriggerSensitivity->setTitle(QStringLiteral("Trigger Sensitivity"));
    TrackBarTriggerSensitivity = NamedControl<QSlider>(GroupBoxTriggerSensitivity, "TrackBarTriggerSensitivity");
    TrackBarTriggerSensitivity->setOrientation(Qt::Horizontal);
    TrackBarTriggerSensitivity->setRange(10, 255);
    TrackBarTriggerSensitivity->setValue(10);
    BitBtnDecTriggerSensitivity = NamedControl<QPushButton>(GroupBoxTriggerSensitivity, "BitBtnDecTriggerSensitivity",
                                                            QStringLiteral("<"));
    BitBtnIncTriggerSensitivity = NamedControl<QPushButton>(GroupBoxTriggerSensitivity, "BitBtnIncTriggerSensitivity",
                                                            QStringLiteral(">"));

    CheckBoxHIB2 = HiddenCheckBox(this, "CheckBoxHIB2", QStringLiteral("Hit Indication Beam"));
    CheckBoxEnableSleep2 = HiddenCheckBox(this, "CheckBoxEnableSleep2", QStringLiteral("Automatic Sleep/Wakeup"));
    CheckBoxPlaySoundOnHit = HiddenCheckBox(this, "CheckBoxPlaySoundOnHit", QStringLiteral("Play Sound On Hit"));
    CheckBoxEnableGraphicDisplay = HiddenCheckBox(this, "CheckBoxEnableGraphicDisplay", QStringLiteral("Kallix's Display"));
    ImageToggleHIB = MakeSwitch(this, "ImageToggleHIB");
    GroupBoxAdvancedOptions = NamedControl<QGroupBox>(this, "GroupBoxAdvancedOptions");
    GroupBoxAdvancedOptions->setTitle(QStringLiteral("Advanced Options"));
    ImageToggleSleepWakeUp = MakeSwitch(GroupBoxAdvancedOptions, "ImageToggleSleepWakeUp");
    ImageTogglePlaySoundOnHit = MakeSwitch(GroupBoxAdvancedOptions, "ImageTogglePlaySoundOnHit");
    ImageToggleKallixsDisplay = MakeSwitch(GroupBoxAdvancedOptions, "ImageToggleKallixsDisplay");

    connect(ImageToggleHIB, &QToolButton::clicked, this, &TFrameEditModeSettings::ImageToggleHIBClick);
    connect(ImageToggleSleepWakeUp, &QToolButton::clicked, this, &TFrameEditModeSettings::ImageToggleSleepWakeUpClick);
    connect(ImageTogglePlaySoundOnHit, &QToolButton::clicked, this,
            &TFrameEditModeSettings::ImageTogglePlaySoundOnHitClick);
    connect(ImageToggleKallixsDisplay, &QToolButton::clicked, this,
            &TFrameEditModeSettings::ImageToggleKallixsDisplayClick);
    connect(BitBtnDecTriggerSensitivity, &QPushButton::clicked, this,
            &TFrameEditModeSettings::BitBtnDecTriggerSensitivityClick);
    connect(BitBtnIncTriggerSensitivity, &QPushButton::clicked, this,
            &TFrameEditModeSettings::BitBtnIncTriggerSensitivityClick);
    // Only re-enables the arrows: nothing is stored while loading moves it.
    connect(TrackBarTriggerSensitivity, &QSlider::valueChanged, this,
            &TFrameEditModeSettings::TrackBarTriggerSensitivityChange);
}

void TFrameEditModeSettings::BuildLayout()
{
    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](const char* labelName, const QString& caption, QWidget* field, const char* unitName,
                      const QString& unit) {
        auto* label = NamedControl<QLabel>(this, labelName, caption);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        if (unitName)
            grid->addWidget(NamedControl<QLabel>(this, unitName, unit), row, 2);
        ++row;
        return label;
    };
    LabelRing = addRow("LabelRing", QStringLiteral("Ring Target Number"), EditRingTarget2, nullptr, {});
    LabelSilhouette = addRow("LabelSilhouette", QStringLiteral("Silhouette Target Number"), EditSilhouetteNumber2,
                             nullptr, {});
    LabelPrisms = addRow("Label3", QStringLiteral("Number of Prisms"), EditNumberOfPrisms2, nullptr, {});
    // The rounds field stands inside its sentence: "Limit rounds to [30] shots (0 - not used)".
    QLabel* rounds = addRow("Label4", QString(), EditBullets2, nullptr, {});
    auto* roundsEnd = NamedControl<QLabel>(this, "Label4End");
    grid->addWidget(roundsEnd, row - 1, 2, 1, 2);
    SetSentence(rounds, roundsEnd, QStringLiteral("Limit rounds to                  shots  (0 - not used)"));
    addRow("Label9", QStringLiteral("Sleep Angle"), EditSleepAngle2, "Label14", QStringLiteral("°"));
    addRow("Label5", QStringLiteral("Shot Rejection Angle"), EditShotRejectionAngle2, "Label7", QStringLiteral("°"));
    addRow("Label12", QStringLiteral("Sleep Timeout"), EditSleepTimeout2, "Label13", QStringLiteral("s"));
    addRow("Label2", QStringLiteral("Cocking Delay"), EditCockingDelay2, "Label6", QStringLiteral("s"));
    LabelHIB = addRow("LabelHIB", QStringLiteral("Hit Indication Beam"), ImageToggleHIB, nullptr, {});
    grid->setColumnStretch(3, 1);

    auto* trigger = new QGridLayout(GroupBoxTriggerSensitivity);
    trigger->addWidget(BitBtnDecTriggerSensitivity, 0, 0);
    trigger->addWidget(TrackBarTriggerSensitivity, 0, 1, 1, 2);
    trigger->addWidget(BitBtnIncTriggerSensitivity, 0, 3);
    trigger->addWidget(NamedControl<QLabel>(GroupBoxTriggerSensitivity, "Label10", QStringLiteral("Light")), 1, 1);
    auto* heavy = NamedControl<QLabel>(GroupBoxTriggerSensitivity, "Label11", QStringLiteral("Heavy"));
    heavy->setAlignment(Qt::AlignRight);
    trigger->addWidget(heavy, 1, 2);

    auto* advanced = new QGridLayout(GroupBoxAdvancedOptions);
    int arow = 0;
    for (auto [name, caption, picture] :
         {std::tuple("LabelSleepWakeUp", "Automatic Sleep/Wakeup", ImageToggleSleepWakeUp),
          std::tuple("LabelPlaySoundOnHit", "Play Sound On Hit", ImageTogglePlaySoundOnHit),
          std::tuple("LabelKallixsDisplay", "Kallix's Display", ImageToggleKallixsDisplay)}) {
        advanced->addWidget(NamedControl<QLabel>(GroupBoxAdvancedOptions, name, QString::fromUtf8(caption)), arow, 0);
        advanced->addWidget(picture, arow, 1);
        ++arow;
    }
    advanced->setColumnStretch(2, 1);

    auto* main = new QVBoxLayout(this);
    main->addWidget(NamedControl<QLabel>(this, "Label1", QStringLiteral("Description")));
    main->addWidget(MemoDescription);
    main->addLayout(grid);
    main->addWidget(GroupBoxTriggerSensitivity);
    main->addWidget(GroupBoxAdvancedOptions);
    main->addStretch();
}

void TFrameEditModeSettings::RegisterTranslation()
{
    std::vector<TTranslateEntry> entries;
    for (const char* name : {"Label1", "LabelRing", "LabelSilhouette", "Label3", "Label4", "Label9", "Label14", "Label5",
                             "Label7", "Label12", "Label13", "Label2", "Label6", "GroupBoxTriggerSensitivity",
                             "GroupBoxAdvancedOptions", "Label10", "Label11", "LabelSleepWakeUp", "LabelPlaySoundOnHit",
                             "LabelKallixsDisplay", "LabelHIB"})
        entries.push_back({QString::fromLatin1(name), TTranslateKind::Caption});
    RegisterTranslateTable(TranslateOrderFrameModeSettings, this, std::move(entries));
    RegisterHints(TranslateOrderFrameModeSettings, this,
                  {{"BitBtnDecTriggerSensitivity", "Light"}, {"BitBtnIncTriggerSensitivity", "Heavy"}});
}

// ---- Load --------------------------------------------------------------------------

void TFrameEditModeSettings::ApplyLayout(int ctrl1)
{
    const bool silhouette = ctrl1 & 0x01;
    const bool ring = ctrl1 & 0x02;
    const bool advanced = IsAdvancedMode();
    EditSilhouetteNumber2->setVisible(silhouette);
    LabelSilhouette->setVisible(silhouette);
    EditRingTarget2->setVisible(ring);
    LabelRing->setVisible(ring);
    if (silhouette) {
        for (QWidget* w : {static_cast<QWidget*>(EditNumberOfPrisms2), static_cast<QWidget*>(LabelPrisms)}) {
            w->setVisible(true);
            w->setEnabled(true);
        }
        LabelHIB->show();
        ImageToggleHIB->show();
        editor_.ShowBeam(true, CheckBoxHIB2->isChecked());
    } else if (ring) {
        for (QWidget* w : {static_cast<QWidget*>(EditRingTarget2), static_cast<QWidget*>(LabelRing),
                           static_cast<QWidget*>(EditNumberOfPrisms2), static_cast<QWidget*>(LabelPrisms),
                           static_cast<QWidget*>(LabelHIB), static_cast<QWidget*>(ImageToggleHIB)})
            w->hide();
        editor_.ShowBeam(false, CheckBoxHIB2->isChecked());
        if (advanced) {
            for (QWidget* w : {static_cast<QWidget*>(EditRingTarget2), static_cast<QWidget*>(LabelRing),
                               static_cast<QWidget*>(LabelHIB), static_cast<QWidget*>(ImageToggleHIB)})
                w->show();
            LabelPrisms->show();
            LabelPrisms->setEnabled(false);
        }
    }
}

void TFrameEditModeSettings::LoadModeSettings(const TTargetSetup& setup)
{
    MemoDescription->setPlainText(setup.descriptions ? setup.descriptions->join(QLatin1Char('\n')) : QString());
    const int index = editor_.EditDynamicBlock ? SetupBlocks::DynamicBlock : SetupBlocks::ClassicBlock;
    const ModeBlock block = setup.blocks.GetModeBlock(index);

    CheckBoxHIB2->setChecked(block.HIBEnable());
    ShowSwitch(ImageToggleHIB, block.HIBEnable());
    ApplyLayout(block.CTRL1());

    GroupBoxAdvancedOptions->setVisible(IsAdvancedMode());
    CheckBoxEnableGraphicDisplay->setChecked(block.DisplayEnable());
    CheckBoxPlaySoundOnHit->setChecked(block.SoundEnable());
    CheckBoxEnableSleep2->setChecked(block.SleepEnable());
    ShowSwitch(ImageToggleKallixsDisplay, block.DisplayEnable());
    ShowSwitch(ImageTogglePlaySoundOnHit, block.SoundEnable());
    ShowSwitch(ImageToggleSleepWakeUp, block.SleepEnable());

    if (TFrameEditAdvancedSettings* misc = editor_.FrameEditAdvancedSettings1) {
        const ModeBlock classic = setup.blocks.GetModeBlock(SetupBlocks::ClassicBlock);
        const ModeBlock dynamic = setup.blocks.GetModeBlock(SetupBlocks::DynamicBlock);
        misc->LoadTargetSwitches(setup.blocks.ArrowsUnlocked(), classic.RingTargetEnabled(), dynamic.RingTargetEnabled(),
                                 classic.SilhouetteEnabled(), dynamic.SilhouetteEnabled());
    }

    EditRingTarget2->setText(IntText(block.RingTargetNumber()));
    EditSilhouetteNumber2->setText(IntText(block.SilhouetteTargetNumber()));
    EditNumberOfPrisms2->setText(IntText(block.NumberOfPrisms()));
    EditBullets2->setText(IntText(block.NumberOfBullets()));
    EditSleepAngle2->setText(IntText(block.WakeupAngle()));
    EditShotRejectionAngle2->setText(IntText(block.ShotRejectionAngle()));
    EditSleepTimeout2->setText(IntText(block.SleepTimeout()));
    TrackBarTriggerSensitivity->setValue(block.TriggerSensitivity());
    EditCockingDelay2->setText(CockingDelayText(block.CockingDelay()));
}

// ---- Validate and store ---------------------------------------------------------------

bool TFrameEditModeSettings::ValidateModeSettings()
{
    // A target number of 255 (none) is taken as it stands.
    if (EditRingTarget2->text() != QLatin1String("255") && !editor_.ValidateRange(EditRingTarget2, 0, 255))
        return false;
    if (EditSilhouetteNumber2->text() != QLatin1String("255") && !editor_.ValidateRange(EditSilhouetteNumber2, 0, 255))
        return false;
    return editor_.ValidateRange(EditNumberOfPrisms2, 1, 64) && editor_.ValidateRange(EditBullets2, 0, 255)
           && editor_.ValidateRange(EditCockingDelay2, 0, 25) && editor_.ValidateRange(EditSleepAngle2, 5, 90)
           && editor_.ValidateRange(EditSleepTimeout2, 0, 5) && editor_.ValidateRange(EditShotRejectionAngle2, 5, 90);
}

bool TFrameEditModeSettings::StoreModeSettings(TTargetSetup& setup)
{
    if (editor_.Loading)
        return true;
    if (!ValidateModeSettings())
        return false;
    const QString text = MemoDescription->toPlainText();
    setup.descriptions = text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));

    const int index = editor_.EditDynamicBlock ? SetupBlocks::DynamicBlock : SetupBlocks::ClassicBlock;
    ModeBlock classic = setup.blocks.GetModeBlock(SetupBlocks::ClassicBlock);
    ModeBlock dynamic = setup.blocks.GetModeBlock(SetupBlocks::DynamicBlock);
    if (const TFrameEditAdvancedSettings* misc = editor_.FrameEditAdvancedSettings1) {
        setup.blocks.SetArrowsUnlocked(misc->SettingsOnDevice());
        classic.SetRingTargetEnabled(misc->RingClassic());
        dynamic.SetRingTargetEnabled(misc->RingDynamic());
        classic.SetSilhouetteEnabled(misc->SilhouetteClassic());
        dynamic.SetSilhouetteEnabled(misc->SilhouetteDynamic());
        setup.target.hasRing = misc->RingClassic() || misc->RingDynamic();
        setup.target.hasSilhouette = misc->SilhouetteClassic() || misc->SilhouetteDynamic();
    }
    setup.blocks.SetModeBlock(SetupBlocks::ClassicBlock, classic);
    setup.blocks.SetModeBlock(SetupBlocks::DynamicBlock, dynamic);

    ModeBlock block = setup.blocks.GetModeBlock(index);
    block.SetRingTargetNumber(ByteOf(EditRingTarget2));
    block.SetSilhouetteTargetNumber(ByteOf(EditSilhouetteNumber2));
    block.SetNumberOfPrisms(ByteOf(EditNumberOfPrisms2));
    block.SetNumberOfBullets(ByteOf(EditBullets2));
    block.SetWakeupAngle(ByteOf(EditSleepAngle2));
    block.SetShotRejectionAngle(ByteOf(EditShotRejectionAngle2));
    block.SetSleepTimeout(ByteOf(EditSleepTimeout2));
    block.SetTriggerSensitivity(TrackBarTriggerSensitivity->value());
    block.SetCockingDelay(CockingDelayByte(NumberOr0(EditCockingDelay2->text())));
    block.SetHIBEnable(CheckBoxHIB2->isChecked());
    block.SetSleepEnable(CheckBoxEnableSleep2->isChecked());
    block.SetSoundEnable(CheckBoxPlaySoundOnHit->isChecked());
    block.SetDisplayEnable(CheckBoxEnableGraphicDisplay->isChecked());
    setup.blocks.SetModeBlock(index, block);
    return true;
}

// ---- Switches and trigger arrows --------------------------------------------------------

void TFrameEditModeSettings::Flip(QCheckBox* box, QToolButton* picture)
{
    picture->setEnabled(false);
    box->setChecked(!box->isChecked());
    ShowSwitch(picture, box->isChecked());
    picture->setEnabled(true);
}

void TFrameEditModeSettings::ImageToggleHIBClick()
{
    Flip(CheckBoxHIB2, ImageToggleHIB);
    editor_.ShowBeam(ImageToggleHIB->isVisible(), CheckBoxHIB2->isChecked());
}

void TFrameEditModeSettings::ImageToggleSleepWakeUpClick() { Flip(CheckBoxEnableSleep2, ImageToggleSleepWakeUp); }

void TFrameEditModeSettings::ImageToggleKallixsDisplayClick()
{
    Flip(CheckBoxEnableGraphicDisplay, ImageToggleKallixsDisplay);
}

void TFrameEditModeSettings::ImageTogglePlaySoundOnHitClick()
{
    Flip(CheckBoxPlaySoundOnHit, ImageTogglePlaySoundOnHit);
    if (CheckBoxPlaySoundOnHit->isChecked())
        Prompts().Beep();
}

void TFrameEditModeSettings::BitBtnDecTriggerSensitivityClick()
{
    const TTriggerStep step = TriggerStepDown(TrackBarTriggerSensitivity->value());
    if (!step.moved) {
        BitBtnDecTriggerSensitivity->setEnabled(false);
        return;
    }
    TrackBarTriggerSensitivity->setValue(step.position);
    BitBtnIncTriggerSensitivity->setEnabled(true);
}

void TFrameEditModeSettings::BitBtnIncTriggerSensitivityClick()
{
    const TTriggerStep step = TriggerStepUp(TrackBarTriggerSensitivity->value());
    if (!step.moved) {
        BitBtnIncTriggerSensitivity->setEnabled(false);
        return;
    }
    TrackBarTriggerSensitivity->setValue(step.position);
    BitBtnDecTriggerSensitivity->setEnabled(true);
}

void TFrameEditModeSettings::TrackBarTriggerSensitivityChange()
{
    BitBtnDecTriggerSensitivity->setEnabled(true);
    BitBtnIncTriggerSensitivity->setEnabled(true);
}

#include "FrameEditAdvancedSettings.h"

#include "Device.h"
#include "DeviceManager.h"
#include "EditSetupWidgets.h"
#include "FormEditSetup.h"
#include "FrameEditRingSettings.h"
#include "FrameEditSilhouetteSettings.h"
#include "Globals.h"
#include "Prompts.h"
#include "TranslateUI.h"
#include "Translation.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {

// All bytes 0, or all 0xFF as erased memory reads.
template <std::size_t N>
bool SlotIsEmpty(const std::array<uint8_t, N>& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; })
           || std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xFF; });
}

}  // namespace

TFrameEditAdvancedSettings::TFrameEditAdvancedSettings(TFormEditSetup& editor, QWidget* parent)
    : QWidget(parent)
    , editor_(editor)
{
    setObjectName(QStringLiteral("FrameEditAdvancedSettings1"));
    BuildControls();
    BuildLayout();
    RegisterTranslation();
    // Looked up once so that missing translations are recorded early.
    for (const char* text : {"Connect only one device", "Invalid target number", "Download failed", "Update completed",
                             "Error updating", "Target disabled", "Target slot %d is empty"})
        Translate(QString::fromLatin1(text));
}

TFrameEditAdvancedSettings::~TFrameEditAdvancedSettings() { UnregisterTranslateTables(this); }

void TFrameEditAdvancedSettings::BuildControls()
{
    CheckBoxSettingsOnDevice = HiddenCheckBox(this, "CheckBoxSettingsOnDevice", QStringLiteral("Enable Settings on Device"));
    ImageToggleSettingsOnDevice = MakeSwitch(this, "ImageToggleSettingsOnDevice");
    GroupBoxOptions = NamedControl<QGroupBox>(this, "GroupBoxOptions");
    GroupBoxOptions->setTitle(QStringLiteral("Targets"));
    GroupBoxOptions->hide();
    EditTargetNumber = NamedControl<QLineEdit>(GroupBoxOptions, "EditTargetNumber", QStringLiteral("1"));
    EditTargetNumber->setMaximumWidth(60);
    RadioButtonRing = NamedControl<QRadioButton>(GroupBoxOptions, "RadioButtonRing", QStringLiteral("Ring Target"));
    RadioButtonSilhouette =
        NamedControl<QRadioButton>(GroupBoxOptions, "RadioButtonSilhouette", QStringLiteral("Silhouette"));
    RadioButtonSilhouette->setChecked(true);
    ButtonDownloadOne = NamedControl<QPushButton>(GroupBoxOptions, "ButtonDownloadOne", QStringLiteral("Download"));
    ButtonUploadOne = NamedControl<QPushButton>(GroupBoxOptions, "ButtonUploadOne", QStringLiteral("Upload"));
    ButtonDisableTarget = NamedControl<QPushButton>(GroupBoxOptions, "ButtonDisableTarget", QStringLiteral("Disable"));

    Label6 = NamedControl<QLabel>(this, "Label6", QStringLiteral("Enable Ring Target in"));
    Label7 = NamedControl<QLabel>(this, "Label7", QStringLiteral("Enable Silhouette in"));
    CheckBoxRingTarget1 = NamedControl<QCheckBox>(this, "CheckBoxRingTarget1", QStringLiteral("Simulated Training"));
    CheckBoxRingTarget2 = NamedControl<QCheckBox>(this, "CheckBoxRingTarget2", QStringLiteral("Real Training"));
    CheckBoxSilhouette1 = NamedControl<QCheckBox>(this, "CheckBoxSilhouette1", QStringLiteral("Simulated Training"));
    CheckBoxSilhouette2 = NamedControl<QCheckBox>(this, "CheckBoxSilhouette2", QStringLiteral("Real Training"));

    // Nothing in the program offers a unit update; the controls stay hidden.
    ButtonUpdateDevice = NamedControl<QPushButton>(this, "ButtonUpdateDevice", QStringLiteral("Update"));
    ProgressBar1 = NamedControl<QProgressBar>(this, "ProgressBar1");
    LabelUpdateDeviceProgram = NamedControl<QLabel>(this, "LabelUpdateDeviceProgram", QStringLiteral("Firmware"));
    for (QWidget* w : {static_cast<QWidget*>(ButtonUpdateDevice), static_cast<QWidget*>(ProgressBar1),
                       static_cast<QWidget*>(LabelUpdateDeviceProgram)})
        w->hide();

    connect(ImageToggleSettingsOnDevice, &QToolButton::clicked, this,
            &TFrameEditAdvancedSettings::ImageToggleSettingsOnDeviceClick);
    connect(RadioButtonRing, &QRadioButton::clicked, this, &TFrameEditAdvancedSettings::RadioButtonRingClick);
    connect(RadioButtonSilhouette, &QRadioButton::clicked, this, &TFrameEditAdvancedSettings::RadioButtonSilhouetteClick);
    for (QCheckBox* box : {CheckBoxRingTarget1, CheckBoxRingTarget2, CheckBoxSilhouette1, CheckBoxSilhouette2})
        connect(box, &QCheckBox::clicked, this, &TFrameEditAdvancedSettings::CheckBoxRingTarget2Click);
    connect(ButtonDownloadOne, &QPushButton::clicked, this, &TFrameEditAdvancedSettings::ButtonDownloadOneClick);
    connect(ButtonUploadOne, &QPushButton::clicked, this, &TFrameEditAdvancedSettings::ButtonUploadOneClick);
    connect(ButtonDisableTarget, &QPushButton::clicked, this, &TFrameEditAdvancedSettings::ButtonDisableTargetClick);
}

void TFrameEditAdvancedSettings::BuildLayout()
{
    auto* options = new QGridLayout(GroupBoxOptions);
    options->addWidget(NamedControl<QLabel>(GroupBoxOptions, "Label4", QStringLiteral("Target Number")), 0, 0);
    options->addWidget(EditTargetNumber, 0, 1);
    options->addWidget(RadioButtonRing, 1, 0);
    options->addWidget(RadioButtonSilhouette, 1, 1);
    options->addWidget(ButtonDownloadOne, 2, 0);
    options->addWidget(ButtonUploadOne, 2, 1);
    options->addWidget(ButtonDisableTarget, 2, 2);

    auto* settings = new QHBoxLayout;
    settings->addWidget(NamedControl<QLabel>(this, "Label3", QStringLiteral("Enable Settings on Device")));
    settings->addWidget(ImageToggleSettingsOnDevice);
    settings->addStretch();

    auto* enables = new QGridLayout;
    enables->addWidget(Label6, 0, 0, 1, 2);
    enables->addWidget(CheckBoxRingTarget1, 1, 0);
    enables->addWidget(CheckBoxRingTarget2, 1, 1);
    enables->addWidget(Label7, 2, 0, 1, 2);
    enables->addWidget(CheckBoxSilhouette1, 3, 0);
    enables->addWidget(CheckBoxSilhouette2, 3, 1);

    auto* update = new QHBoxLayout;
    update->addWidget(NamedControl<QLabel>(this, "Label8", QString()));
    update->addWidget(LabelUpdateDeviceProgram);
    update->addWidget(ButtonUpdateDevice);
    update->addWidget(ProgressBar1);

    auto* main = new QVBoxLayout(this);
    main->addLayout(enables);
    main->addLayout(settings);
    main->addWidget(GroupBoxOptions);
    main->addLayout(update);
    main->addStretch();
}

void TFrameEditAdvancedSettings::RegisterTranslation()
{
    std::vector<TTranslateEntry> entries;
    for (const char* name : {"Label3", "ButtonDownloadOne", "ButtonUploadOne", "ButtonDisableTarget", "RadioButtonRing",
                             "RadioButtonSilhouette", "ButtonUpdateDevice", "Label4", "Label6", "Label7", "Label8",
                             "LabelUpdateDeviceProgram", "CheckBoxRingTarget1", "CheckBoxRingTarget2",
                             "CheckBoxSilhouette1", "CheckBoxSilhouette2", "GroupBoxOptions"})
        entries.push_back({QString::fromLatin1(name), TTranslateKind::Caption});
    RegisterTranslateTable(TranslateOrderFrameAdvancedSettings, this, std::move(entries));
}

// ---- Target switches ----------------------------------------------------------------------

void TFrameEditAdvancedSettings::LoadTargetSwitches(bool settingsOnDevice, bool ringClassic, bool ringDynamic,
                                                    bool silhouetteClassic, bool silhouetteDynamic)
{
    CheckBoxSettingsOnDevice->setChecked(settingsOnDevice);
    ShowSwitch(ImageToggleSettingsOnDevice, settingsOnDevice);
    GroupBoxOptions->setVisible(settingsOnDevice);
    CheckBoxRingTarget1->setChecked(ringClassic);
    CheckBoxRingTarget2->setChecked(ringDynamic);
    CheckBoxSilhouette1->setChecked(silhouetteClassic);
    CheckBoxSilhouette2->setChecked(silhouetteDynamic);
}

bool TFrameEditAdvancedSettings::SettingsOnDevice() const { return CheckBoxSettingsOnDevice->isChecked(); }
bool TFrameEditAdvancedSettings::RingClassic() const { return CheckBoxRingTarget1->isChecked(); }
bool TFrameEditAdvancedSettings::RingDynamic() const { return CheckBoxRingTarget2->isChecked(); }
bool TFrameEditAdvancedSettings::SilhouetteClassic() const { return CheckBoxSilhouette1->isChecked(); }
bool TFrameEditAdvancedSettings::SilhouetteDynamic() const { return CheckBoxSilhouette2->isChecked(); }

void TFrameEditAdvancedSettings::ChooseKind(bool ring)
{
    (ring ? RadioButtonRing : RadioButtonSilhouette)->setChecked(true);
    ShowKindBoxes(ring);
}

void TFrameEditAdvancedSettings::ShowKindBoxes(bool ring)
{
    for (QWidget* w : {static_cast<QWidget*>(Label6), static_cast<QWidget*>(CheckBoxRingTarget1),
                       static_cast<QWidget*>(CheckBoxRingTarget2)}) {
        w->setVisible(ring);
        w->setEnabled(ring);
    }
    for (QWidget* w : {static_cast<QWidget*>(Label7), static_cast<QWidget*>(CheckBoxSilhouette1),
                       static_cast<QWidget*>(CheckBoxSilhouette2)}) {
        w->setVisible(!ring);
        w->setEnabled(!ring);
    }
}

void TFrameEditAdvancedSettings::RadioButtonRingClick() { ShowKindBoxes(true); }

void TFrameEditAdvancedSettings::RadioButtonSilhouetteClick() { ShowKindBoxes(false); }

void TFrameEditAdvancedSettings::CheckBoxRingTarget2Click()
{
    if (editor_.Loading)
        return;
    // A target switched on for the first time gets a usable default.
    editor_.FrameEditRingSettings1->ApplyDefaultRingTarget();
    editor_.FrameEditSilhouetteSettings1->ApplyDefaultSilhouette();
    editor_.StoreFrames(false);
    editor_.BuildTabs();
    editor_.SelectTab(editor_.TabIndex(QStringLiteral("Misc")));
}

void TFrameEditAdvancedSettings::ImageToggleSettingsOnDeviceClick()
{
    ImageToggleSettingsOnDevice->setEnabled(false);
    CheckBoxSettingsOnDevice->setChecked(!CheckBoxSettingsOnDevice->isChecked());
    GroupBoxOptions->setVisible(CheckBoxSettingsOnDevice->isChecked());
    ShowSwitch(ImageToggleSettingsOnDevice, CheckBoxSettingsOnDevice->isChecked());
    ImageToggleSettingsOnDevice->setEnabled(true);
}

// ---- Slot operations ------------------------------------------------------------------------

void TFrameEditAdvancedSettings::Inform(const QString& text)
{
    Prompts().MessageBox(Translate(text), Translate(QStringLiteral("Information")), TMsgButtons::OK);
}

void TFrameEditAdvancedSettings::Fail(const QString& text)
{
    Prompts().MessageBox(Translate(text), Translate(QStringLiteral("Error")), TMsgButtons::OK);
}

TDevice* TFrameEditAdvancedSettings::SlotDevice(int& number)
{
    const std::vector<TDevice*> devices =
        DeviceManagerInstance ? DeviceManagerInstance->Connected() : std::vector<TDevice*> {};
    if (devices.size() != 1) {
        Inform(QStringLiteral("Connect only one device"));
        return nullptr;
    }
    if (!TryStrToIntStrict(EditTargetNumber->text(), number) || number < 0 || number > 15) {
        Fail(QStringLiteral("Invalid target number"));
        EditTargetNumber->setFocus();
        return nullptr;
    }
    return devices.front();
}

void TFrameEditAdvancedSettings::SetSlotButtonsEnabled(bool enabled)
{
    for (QPushButton* button : {ButtonDownloadOne, ButtonUploadOne, ButtonDisableTarget})
        button->setEnabled(enabled);
}

void TFrameEditAdvancedSettings::ButtonDownloadOneClick()
{
    int n = 0;
    TDevice* device = SlotDevice(n);
    if (!device)
        return;
    const bool ring = RadioButtonRing->isChecked();
    SetSlotButtonsEnabled(false);
    QPointer<TFrameEditAdvancedSettings> self(this);
    const bool read = ring ? device->ReadRingTarget(n) : device->ReadSilhouetteTarget(n);
    if (!self)
        return;
    SetSlotButtonsEnabled(true);
    if (!read) {
        Fail(QStringLiteral("Download failed"));
        return;
    }
    // The unit may have left during the read; its tables were copied by then.
    const DeviceSetup tables = device->TargetTables();
    const std::size_t slot = std::size_t(n);
    // A slot the unit never held reads as cleared memory: there is nothing
    // to edit, and the form keeps what it had.
    if (ring ? SlotIsEmpty(tables.ringTargets[slot].b) : SlotIsEmpty(tables.silhouetteTargets[slot].b)) {
        Prompts().MessageBox(FormatDisplayText(Translate(QStringLiteral("Target slot %d is empty")), {double(n)}),
                             Translate(QStringLiteral("Information")), TMsgButtons::OK);
        return;
    }

    TTargetSetup& working = editor_.WorkingSetup;
    working.target.targetNumber = uint8_t(n);
    working.target.hasRing = ring;
    working.target.hasSilhouette = !ring;
    // The switches follow the target read; store them at once, since the
    // frames are reloaded from the working copy below.
    CheckBoxRingTarget1->setChecked(ring);
    CheckBoxRingTarget2->setChecked(ring);
    CheckBoxSilhouette1->setChecked(!ring);
    CheckBoxSilhouette2->setChecked(!ring);
    // The frames are reloaded from the working copy below: a settings-on-device
    // switch flipped since the last store would fall back and hide the slot
    // tools the operator is using.
    working.blocks.SetArrowsUnlocked(CheckBoxSettingsOnDevice->isChecked());
    for (int index : {SetupBlocks::ClassicBlock, SetupBlocks::DynamicBlock}) {
        ModeBlock block = working.blocks.GetModeBlock(index);
        block.SetRingTargetEnabled(ring);
        block.SetSilhouetteEnabled(!ring);
        working.blocks.SetModeBlock(index, block);
    }
    if (ring) {
        working.target.ringRecord = tables.ringTargets[slot];
    } else {
        working.target.silhouetteRecord = tables.silhouetteTargets[slot];
        working.target.silhouetteMatrix = tables.silhouetteMatrices[slot];
    }
    editor_.RedrawPreview();
    editor_.LoadFrames();
    editor_.BringToFront(ring ? static_cast<QWidget*>(editor_.FrameEditRingSettings1)
                              : static_cast<QWidget*>(editor_.FrameEditSilhouetteSettings1));
    editor_.SelectTab(1);
}

void TFrameEditAdvancedSettings::ButtonUploadOneClick()
{
    // What is written is what the frames hold: a value that does not
    // validate stops the upload.
    if (!editor_.StoreFrames(false))
        return;
    int n = 0;
    TDevice* device = SlotDevice(n);
    if (!device)
        return;
    const TargetDescription& target = editor_.WorkingSetup.target;
    SetSlotButtonsEnabled(false);
    QPointer<TFrameEditAdvancedSettings> self(this);
    const bool written = RadioButtonRing->isChecked()
                             ? device->WriteRingTarget(n, target.ringRecord)
                             : device->WriteSilhouetteTarget(n, target.silhouetteRecord, target.silhouetteMatrix);
    if (!self)
        return;
    SetSlotButtonsEnabled(true);
    if (written)
        Inform(QStringLiteral("Update completed"));
    else
        Fail(QStringLiteral("Error updating"));
}

void TFrameEditAdvancedSettings::ButtonDisableTargetClick()
{
    int n = 0;
    TDevice* device = SlotDevice(n);
    if (!device)
        return;
    const bool ring = RadioButtonRing->isChecked();
    const std::size_t slot = std::size_t(n);
    SetSlotButtonsEnabled(false);
    QPointer<TFrameEditAdvancedSettings> self(this);
    // Only a slot read whole is written back: a failed read would otherwise
    // write an old or empty record over the unit's target.
    bool done = ring ? device->ReadRingTarget(n) : device->ReadSilhouetteTarget(n);
    if (done && self) {
        const DeviceSetup tables = device->TargetTables();
        if (ring) {
            RingTargetRecord record = tables.ringTargets[slot];
            record.b[0] = 255;
            device->SetRingTarget(n, record);
            done = device->WriteRingTarget(n, record);
        } else {
            SilhouetteTargetRecord record = tables.silhouetteTargets[slot];
            record.b[0] = 255;
            device->SetSilhouetteTarget(n, record, tables.silhouetteMatrices[slot]);
            done = device->WriteSilhouetteTarget(n, record, tables.silhouetteMatrices[slot]);
        }
    }
    if (!self)
        return;
    SetSlotButtonsEnabled(true);
    if (done)
        Inform(QStringLiteral("Target disabled"));
    else
        Fail(QStringLiteral("Error updating"));
}

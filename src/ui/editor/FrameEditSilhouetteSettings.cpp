#include "FrameEditSilhouetteSettings.h"

#include "AppSettings.h"
#include "EditSetupWidgets.h"
#include "FormEditSetup.h"
#include "Globals.h"
#include "Prompts.h"
#include "Setupdata.h"
#include "TranslateUI.h"
#include "Translation.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace EditSetupValues;

namespace {

const QString InchMark = QStringLiteral("\"");

// The largest side kept: in mm it fits the record's size field; in inch it
// still fits once switched to mm.
constexpr double MaxSizeMm = 60000;
constexpr double MaxSizeInch = 2580;
// Width and height (cm or inch) of the simple layout.
constexpr double MinSide = 0.1;
constexpr double MaxSideCm = MaxSizeMm / 10;

// What an imported picture becomes: 10.0 m and 500 mm.
constexpr int ImportDistance = 100;
constexpr int ImportSize = 500;

const char* const PanelNames[4] = {"PanelMiss", "PanelHit", "PanelFatal", "PanelNear"};
const char* const PanelCaptions[4] = {"Miss", "Hit", "Fatal", "Near"};
const char* const ZoneButtonNames[4] = {"ButtonMiss", "ButtonHit", "ButtonFatal", "ButtonNear"};

QColor ColorOf(uint32_t bgr) { return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)); }

} // namespace

TFrameEditSilhouetteSettings::TFrameEditSilhouetteSettings(TFormEditSetup& editor, QWidget* parent)
    : QWidget(parent)
    , editor_(editor)
{
    setObjectName(QStringLiteral("FrameEditSilhouetteSettings1"));
    BuildControls();
    BuildLayout();
    RegisterTranslation();
    Translate(QStringLiteral("No bitmap on clipboard to import."));
}

TFrameEditSilhouetteSettings::~TFrameEditSilhouetteSettings() { UnregisterTranslateTables(this); }

void TFrameEditSilhouetteSettings::BuildControls()
{
    EditTargetName = NamedControl<QLineEdit>(this, "EditTargetName");
    EditTargetName->setMaxLength(16);
    CheckBoxSizeImperial = HiddenCheckBox(this, "CheckBoxSizeImperial", QStringLiteral("inch"));
    CheckBoxWidthImperial = HiddenCheckBox(this, "CheckBoxWidthImperial", QStringLiteral("inch"));
    CheckBoxHeightImperial = HiddenCheckBox(this, "CheckBoxHeightImperial", QStringLiteral("inch"));
    CheckBoxDistanceImperial = HiddenCheckBox(this, "CheckBoxDistanceImperial", QStringLiteral("yd"));
    ImageToggleUnits = MakeSwitch(this, "ImageToggleUnits");

    GroupBoxAdvanced = NamedControl<QGroupBox>(this, "GroupBoxAdvanced");
    GroupBoxAdvanced->setTitle(QStringLiteral("Silhouette"));
    EditSilhouetteSize = NamedControl<QLineEdit>(GroupBoxAdvanced, "EditSilhouetteSize");
    EditDistance = NamedControl<QLineEdit>(GroupBoxAdvanced, "EditDistance");
    LabelSizeUnit = NamedControl<QLabel>(GroupBoxAdvanced, "LabelSizeUnit");
    LabelDistUnit = NamedControl<QLabel>(GroupBoxAdvanced, "LabelDistUnit");
    ButtonImportBitmap =
        NamedControl<QPushButton>(GroupBoxAdvanced, "ButtonImportBitmap", QStringLiteral("Copy from Clipboard"));
    ButtonExportBitmap =
        NamedControl<QPushButton>(GroupBoxAdvanced, "ButtonExportBitmap", QStringLiteral("Copy to Clipboard"));
    for (int zone = 0; zone < 4; ++zone) {
        auto* panel = NamedControl<QPushButton>(GroupBoxAdvanced, PanelNames[zone],
                                                QString::fromLatin1(PanelCaptions[zone]));
        panel->setMinimumWidth(70);
        connect(panel, &QPushButton::clicked, this, [this, zone] { PanelMissClick(zone); });
        Panels[std::size_t(zone)] = panel;
    }

    GroupBoxSilhouetteSize = NamedControl<QGroupBox>(this, "GroupBoxSilhouetteSize");
    GroupBoxSilhouetteSize->setTitle(QStringLiteral("Silhouette Size"));
    EditSilhouetteWidth = NamedControl<QLineEdit>(GroupBoxSilhouetteSize, "EditSilhouetteWidth");
    EditSilhouetteHeight = NamedControl<QLineEdit>(GroupBoxSilhouetteSize, "EditSilhouetteHeight");
    LabelWidthUnit = NamedControl<QLabel>(GroupBoxSilhouetteSize, "LabelWidthUnit");
    LabelHeightUnit = NamedControl<QLabel>(GroupBoxSilhouetteSize, "LabelHeightUnit");

    for (QLineEdit* edit : {EditDistance, EditSilhouetteSize, EditSilhouetteWidth, EditSilhouetteHeight})
        edit->setMaximumWidth(80);
    for (QLineEdit* edit : {EditSilhouetteSize, EditSilhouetteWidth, EditSilhouetteHeight})
        connect(edit, &QLineEdit::editingFinished, this, &TFrameEditSilhouetteSettings::OnFieldExit);
    connect(ImageToggleUnits, &QToolButton::clicked, this, &TFrameEditSilhouetteSettings::ImageToggleUnitsClick);
    connect(ButtonImportBitmap, &QPushButton::clicked, this, &TFrameEditSilhouetteSettings::ButtonImportBitmapClick);
    connect(ButtonExportBitmap, &QPushButton::clicked, this, &TFrameEditSilhouetteSettings::ButtonExportBitmapClick);
}

void TFrameEditSilhouetteSettings::BuildLayout()
{
    auto* top = new QGridLayout;
    top->addWidget(NamedControl<QLabel>(this, "Label10", QStringLiteral("Target Name")), 0, 0);
    top->addWidget(EditTargetName, 0, 1);
    top->addWidget(NamedControl<QLabel>(this, "Label13", QStringLiteral("Use Imperial Units")), 1, 0);
    top->addWidget(ImageToggleUnits, 1, 1);
    top->setColumnStretch(2, 1);

    auto* advanced = new QGridLayout(GroupBoxAdvanced);
    advanced->addWidget(NamedControl<QLabel>(GroupBoxAdvanced, "Label3", QStringLiteral("Silhouette Size (Max)")), 0, 0);
    advanced->addWidget(EditSilhouetteSize, 0, 1);
    advanced->addWidget(LabelSizeUnit, 0, 2);
    advanced->addWidget(NamedControl<QLabel>(GroupBoxAdvanced, "Label1", QStringLiteral("Nominal Distance")), 1, 0);
    advanced->addWidget(EditDistance, 1, 1);
    advanced->addWidget(LabelDistUnit, 1, 2);
    advanced->addWidget(NamedControl<QLabel>(GroupBoxAdvanced, "Label7", QStringLiteral("Hit Area Colors")), 2, 0);
    auto* colours = new QGridLayout;
    for (int zone = 0; zone < 4; ++zone) {
        auto* button = NamedControl<QPushButton>(GroupBoxAdvanced, ZoneButtonNames[zone],
                                                 QString::fromLatin1(PanelCaptions[zone]));
        connect(button, &QPushButton::clicked, this, [this, zone] { PanelMissClick(zone); });
        colours->addWidget(button, zone, 0);
        colours->addWidget(Panels[std::size_t(zone)], zone, 1);
    }
    advanced->addLayout(colours, 2, 1, 1, 2);
    advanced->addWidget(NamedControl<QLabel>(GroupBoxAdvanced, "Label2", QStringLiteral("Zone Picture")), 3, 0);
    auto* pictures = new QHBoxLayout;
    pictures->addWidget(ButtonImportBitmap);
    pictures->addWidget(ButtonExportBitmap);
    advanced->addLayout(pictures, 3, 1, 1, 2);
    advanced->setColumnStretch(3, 1);

    auto* size = new QGridLayout(GroupBoxSilhouetteSize);
    size->addWidget(NamedControl<QLabel>(GroupBoxSilhouetteSize, "Label5", QStringLiteral("Height")), 0, 0);
    size->addWidget(EditSilhouetteHeight, 0, 1);
    size->addWidget(LabelHeightUnit, 0, 2);
    size->addWidget(NamedControl<QLabel>(GroupBoxSilhouetteSize, "Label4", QStringLiteral("Width")), 1, 0);
    size->addWidget(EditSilhouetteWidth, 1, 1);
    size->addWidget(LabelWidthUnit, 1, 2);
    size->setColumnStretch(3, 1);

    auto* main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addWidget(GroupBoxAdvanced);
    main->addWidget(GroupBoxSilhouetteSize);
    main->addStretch();
}

void TFrameEditSilhouetteSettings::RegisterTranslation()
{
    std::vector<TTranslateEntry> entries;
    for (const char* name : {"Label10", "Label1", "Label3", "Label13", "Label4", "Label5", "Label7",
                             "CheckBoxDistanceImperial", "CheckBoxSizeImperial", "GroupBoxAdvanced",
                             "GroupBoxSilhouetteSize", "ButtonHit", "ButtonMiss", "ButtonFatal", "ButtonNear", "Label2",
                             "ButtonImportBitmap", "ButtonExportBitmap", "PanelHit", "PanelMiss", "PanelFatal",
                             "PanelNear"})
        entries.push_back({QString::fromLatin1(name), TTranslateKind::Caption});
    RegisterTranslateTable(TranslateOrderFrameSilhouetteSettings, this, std::move(entries));
}

bool TFrameEditSilhouetteSettings::Inch() const { return CheckBoxSizeImperial->isChecked(); }

void TFrameEditSilhouetteSettings::ApplyLayout()
{
    const bool advanced = IsAdvancedMode();
    GroupBoxAdvanced->setVisible(advanced);
    GroupBoxSilhouetteSize->setVisible(!advanced);
}

// ---- Load ------------------------------------------------------------------------------------

void TFrameEditSilhouetteSettings::LoadSilhouetteSettings(const TargetDescription& target)
{
    const SilhouetteTargetRecord& s = target.silhouetteRecord;
    EditTargetName->setText(s.NameText());
    EditDistance->setText(FormatFixed(s.NominalDistance() * 0.1, 1));
    for (QCheckBox* box : {CheckBoxSizeImperial, CheckBoxWidthImperial, CheckBoxHeightImperial})
        box->setChecked(s.SizeInInch());
    CheckBoxDistanceImperial->setChecked(s.DistanceInYards());
    ShowSwitch(ImageToggleUnits, s.SizeInInch());
    ApplyLayout();

    const bool inch = s.SizeInInch();
    const double scale = inch ? 1.0 : 0.1;  // the doubles: inch, or mm shown as cm
    double width = s.Width();
    double height = s.Height();
    // A target read from a unit carries no width and height: its size stands in.
    if (width <= 0 && height <= 0)
        width = height = s.Size() * (inch ? 0.1 : 1.0);
    if (IsAdvancedMode()) {
        const int decimals = inch ? 1 : 0;
        EditSilhouetteSize->setText(FormatFixed(std::max(width, height), decimals));
        EditSilhouetteWidth->setText(FormatFixed(width * scale, decimals));
        EditSilhouetteHeight->setText(FormatFixed(height * scale, decimals));
    } else {
        const int decimals = inch ? 2 : 1;
        EditSilhouetteSize->setText(FormatFixed(s.Size() * 0.1, decimals));
        EditSilhouetteWidth->setText(FormatFixed(width * scale, decimals));
        EditSilhouetteHeight->setText(FormatFixed(height * scale, decimals));
    }
    UpdateSilhouetteUnitLabels();
    ShowHitAreaColors();
}

void TFrameEditSilhouetteSettings::UpdateSilhouetteUnitLabels()
{
    LabelDistUnit->setText(CheckBoxDistanceImperial->isChecked() ? QStringLiteral("yd") : QStringLiteral("m"));
    LabelSizeUnit->setText(Inch() ? InchMark : IsAdvancedMode() ? QStringLiteral("mm") : QStringLiteral("cm"));
    LabelHeightUnit->setText(Inch() ? InchMark : QStringLiteral("cm"));
    LabelWidthUnit->setText(Inch() ? InchMark : QStringLiteral("cm"));
}

void TFrameEditSilhouetteSettings::ShowHitAreaColors()
{
    for (int zone = 0; zone < 4; ++zone) {
        QPushButton* panel = Panels[std::size_t(zone)];
        const QColor colour = ColorOf(HitAreaColors[std::size_t(zone)]);
        // The caption must stand out from any colour the operator picks.
        const QColor text = qGray(colour.rgb()) >= 128 ? Qt::black : Qt::white;
        panel->setStyleSheet(QStringLiteral("background-color: %1; color: %2; border: 1px solid #606060; padding: 3px;").arg(colour.name(), text.name()));
        editor_.Preview.Colours[std::size_t(TTargetRenderer::ClrSilhouetteMiss + zone)] =
            TColor(HitAreaColors[std::size_t(zone)]);
    }
    editor_.RedrawPreview();
}

// ---- Validate and store -------------------------------------------------------------------------

bool TFrameEditSilhouetteSettings::ValidateSilhouetteSettings()
{
    if (!editor_.ValidateRange(EditDistance, 5, 1000))
        return false;
    if (IsAdvancedMode())
        return editor_.ValidateRange(EditSilhouetteSize, 1, Inch() ? MaxSizeInch : MaxSizeMm);
    // The simple layout stores what it shows: width and height.
    const double max = Inch() ? MaxSizeInch : MaxSideCm;
    return editor_.ValidateRange(EditSilhouetteWidth, MinSide, max)
           && editor_.ValidateRange(EditSilhouetteHeight, MinSide, max);
}

bool TFrameEditSilhouetteSettings::StoreSilhouetteSettings(TargetDescription& target)
{
    if (editor_.Loading || !target.hasSilhouette)
        return true;
    if (!ValidateSilhouetteSettings())
        return false;
    SilhouetteTargetRecord& s = target.silhouetteRecord;
    s.SetDistanceInYards(CheckBoxDistanceImperial->isChecked());
    s.SetNominalDistance(StoredValue(EditDistance->text(), 1));
    s.SetSizeInInch(Inch());
    const double w = NumberOr0(EditSilhouetteWidth->text());
    const double h = NumberOr0(EditSilhouetteHeight->text());
    const double side = NumberOr0(EditSilhouetteSize->text());
    if (!IsAdvancedMode()) {
        const double scale = Inch() ? 1.0 : 10.0;  // cm to mm
        s.SetWidth(w * scale);
        s.SetHeight(h * scale);
        s.SetSize(int(ScaledTrunc(std::max(w, h) * scale, Inch() ? 1 : 0)));
    } else {
        s.SetWidth(side);
        s.SetHeight(side);
        s.SetSize(int(ScaledTrunc(side, Inch() ? 1 : 0)));
    }
    s.SetNameText(EditTargetName->text());
    return true;
}

void TFrameEditSilhouetteSettings::OnFieldExit()
{
    double size = 0;
    if (ReadNumber(EditSilhouetteSize->text(), size) && size != 0)
        editor_.StoreFrames(false);
}

void TFrameEditSilhouetteSettings::ApplyDefaultSilhouette()
{
    double size = 0;
    if (ReadNumber(EditSilhouetteSize->text(), size) && size != 0)
        return;
    for (QCheckBox* box : {CheckBoxSizeImperial, CheckBoxWidthImperial, CheckBoxHeightImperial, CheckBoxDistanceImperial})
        box->setChecked(true);
    EditSilhouetteSize->setText(QStringLiteral("20"));
    // The simple layout stores width and height: they get the same side.
    EditSilhouetteWidth->setText(QStringLiteral("20"));
    EditSilhouetteHeight->setText(QStringLiteral("20"));
    EditDistance->setText(QStringLiteral("200"));
    ShowSwitch(ImageToggleUnits, true);
    UpdateSilhouetteUnitLabels();
}

// ---- Units ------------------------------------------------------------------------------------------

void TFrameEditSilhouetteSettings::ImageToggleUnitsClick()
{
    ImageToggleUnits->setEnabled(false);
    const bool inch = !Inch();
    for (QCheckBox* box : {CheckBoxSizeImperial, CheckBoxWidthImperial, CheckBoxHeightImperial, CheckBoxDistanceImperial})
        box->setChecked(inch);
    EditDistance->setText(ConvertText(EditDistance->text(), inch ? YardsPerMetre : MetresPerYard, 1));
    if (IsAdvancedMode()) {
        EditSilhouetteSize->setText(inch ? ConvertText(EditSilhouetteSize->text(), InchPerMm, 1)
                                         : ConvertText(EditSilhouetteSize->text(), MmPerInch, 0));
    } else {
        for (QLineEdit* edit : {EditSilhouetteWidth, EditSilhouetteHeight})
            edit->setText(ConvertText(edit->text(), inch ? InchPerCm : CmPerInch, 1));
    }
    ShowSwitch(ImageToggleUnits, inch);
    ImageToggleUnits->setEnabled(true);
    UpdateSilhouetteUnitLabels();
}

// ---- Colours and pictures ------------------------------------------------------------------------------

void TFrameEditSilhouetteSettings::PanelMissClick(int zone)
{
    if (zone < 0 || zone > 3)
        return;
    uint32_t colour = HitAreaColors[std::size_t(zone)];
    if (!Prompts().ChooseColour(&colour))
        return;
    HitAreaColors[std::size_t(zone)] = colour & 0xFFFFFF;
    ShowHitAreaColors();
}

void TFrameEditSilhouetteSettings::ButtonImportBitmapClick()
{
    editor_.StoreFrames(false);
    const QImage picture = QApplication::clipboard()->image();
    if (picture.isNull()) {
        Prompts().MessageBox(Translate(QStringLiteral("No bitmap on clipboard to import.")),
                             Translate(QStringLiteral("Error")), TMsgButtons::OK);
        return;
    }
    try {
        ImportPicture(picture);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Silhouette import: %1").arg(QString::fromUtf8(e.what())));
        Prompts().Beep();
    }
}

void TFrameEditSilhouetteSettings::ImportPicture(const QImage& picture)
{
    TTargetSetup& working = editor_.WorkingSetup;
    TargetDescription& target = working.target;
    ImportZoneMap(picture, HitAreaColors, target.silhouetteMatrix);
    target.hasSilhouette = 1;
    target.hasRing = 0;
    // The training switches follow, or the next store would bring the ring back.
    for (int index : {SetupBlocks::ClassicBlock, SetupBlocks::DynamicBlock}) {
        ModeBlock block = working.blocks.GetModeBlock(index);
        block.SetRingTargetEnabled(false);
        block.SetSilhouetteEnabled(true);
        working.blocks.SetModeBlock(index, block);
    }
    SilhouetteTargetRecord& s = target.silhouetteRecord;
    s.SetNominalDistance(ImportDistance);
    s.SetSize(ImportSize);
    s.SetWidth(ImportSize);
    s.SetHeight(ImportSize);
    s.SetSizeInInch(false);
    s.SetDistanceInYards(false);
    editor_.RedrawPreview();
    editor_.LoadFrames();
}

void TFrameEditSilhouetteSettings::ButtonExportBitmapClick()
{
    QApplication::clipboard()->setImage(editor_.Preview.StaticLayer);
}

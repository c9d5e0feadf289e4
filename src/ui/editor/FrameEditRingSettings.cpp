#include "FrameEditRingSettings.h"

#include "AppSettings.h"
#include "EditSetupValues.h"
#include "EditSetupWidgets.h"
#include "FormEditSetup.h"
#include "FrameEditRingCustomSettings.h"
#include "Setupdata.h"
#include "TranslateUI.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

using namespace EditSetupValues;

namespace {

const QString InchMark = QStringLiteral("\"");

// Stored integers of the record: distance in tenths, calibre in hundredths
// of a mm or thousandths of an inch, sizes in tenths of a mm or hundredths
// of an inch, the score limit in tenths.
constexpr int DistancePower = 1;
constexpr int CaliberPowerMm = 2;
constexpr int CaliberPowerInch = 3;
constexpr int ScorePower = 1;

} // namespace

TFrameEditRingSettings::TFrameEditRingSettings(TFormEditSetup& editor, QWidget* parent)
    : QWidget(parent)
    , editor_(editor)
{
    setObjectName(QStringLiteral("FrameEditRingSettings1"));
    BuildControls();
    BuildLayout();
    RegisterTranslation();
}

TFrameEditRingSettings::~TFrameEditRingSettings() { UnregisterTranslateTables(this); }

void TFrameEditRingSettings::BuildControls()
{
    EditTargetName = NamedControl<QLineEdit>(this, "EditTargetName");
    EditTargetName->setMaxLength(16);
    EditDistance = NamedControl<QLineEdit>(this, "EditDistance");
    EditCaliber = NamedControl<QLineEdit>(this, "EditCaliber");
    EditHighestRing = NamedControl<QLineEdit>(this, "EditHighestRing");
    EditLowestRing = NamedControl<QLineEdit>(this, "EditLowestRing");
    EditXDiameter = NamedControl<QLineEdit>(this, "EditXDiameter");
    EditHighestRingDiameter = NamedControl<QLineEdit>(this, "EditHighestRingDiameter");
    EditHitRingGap = NamedControl<QLineEdit>(this, "EditHitRingGap");
    EditInnerWhiteDiamater = NamedControl<QLineEdit>(this, "EditInnerWhiteDiamater");
    EditBlackAreaDiameter = NamedControl<QLineEdit>(this, "EditBlackAreaDiameter");
    CheckBoxDistanceImperial = HiddenCheckBox(this, "CheckBoxDistanceImperial", QStringLiteral("yd"));
    CheckBoxCaliberImperial = HiddenCheckBox(this, "CheckBoxCaliberImperial", QStringLiteral("inch"));
    CheckBoxRingUnit = HiddenCheckBox(this, "CheckBoxRingUnit", QStringLiteral("inch"));
    ImageToggleDistanceUnit = MakeSwitch(this, "ImageToggleDistanceUnit");
    ImageToggleCaliberUnit = MakeSwitch(this, "ImageToggleCaliberUnit");
    ImageToggleRingUnits = MakeSwitch(this, "ImageToggleRingUnits");

    GroupBoxAdvanced = NamedControl<QGroupBox>(this, "GroupBoxAdvanced");
    GroupBoxAdvanced->setTitle(QStringLiteral("Advanced"));
    CheckBoxDecimalScores = HiddenCheckBox(GroupBoxAdvanced, "CheckBoxDecimalScores");
    CheckBoxCustomRings = HiddenCheckBox(GroupBoxAdvanced, "CheckBoxCustomRings");
    ImageToggleDecimalScores = MakeSwitch(GroupBoxAdvanced, "ImageToggleDecimalScores");
    ImageToggleCustomized = MakeSwitch(GroupBoxAdvanced, "ImageToggleCustomized");
    EditHIBScoreLimit = NamedControl<QLineEdit>(GroupBoxAdvanced, "EditHIBScoreLimit");

    for (QLineEdit* edit : {EditDistance, EditCaliber, EditHighestRing, EditLowestRing, EditXDiameter,
                            EditHighestRingDiameter, EditHitRingGap, EditInnerWhiteDiamater, EditBlackAreaDiameter,
                            EditHIBScoreLimit}) {
        edit->setMaximumWidth(80);
        connect(edit, &QLineEdit::editingFinished, this, &TFrameEditRingSettings::UpdateSets);
    }
    connect(EditTargetName, &QLineEdit::editingFinished, this, &TFrameEditRingSettings::UpdateSets);
    connect(ImageToggleDistanceUnit, &QToolButton::clicked, this, &TFrameEditRingSettings::ImageToggleDistanceUnitClick);
    connect(ImageToggleCaliberUnit, &QToolButton::clicked, this, &TFrameEditRingSettings::ImageToggleCaliberUnitClick);
    connect(ImageToggleRingUnits, &QToolButton::clicked, this, &TFrameEditRingSettings::ImageToggleRingUnitsClick);
    connect(ImageToggleDecimalScores, &QToolButton::clicked, this,
            &TFrameEditRingSettings::ImageToggleDecimalScoresClick);
    connect(ImageToggleCustomized, &QToolButton::clicked, this, &TFrameEditRingSettings::ImageToggleCustomizedClick);
}

void TFrameEditRingSettings::BuildLayout()
{
    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](const char* labelName, const char* caption, QWidget* field, QLabel** unit, const char* unitName,
                      QWidget* unitSwitch = nullptr) {
        grid->addWidget(NamedControl<QLabel>(this, labelName, QString::fromUtf8(caption)), row, 0);
        grid->addWidget(field, row, 1);
        if (unit) {
            *unit = NamedControl<QLabel>(this, unitName);
            grid->addWidget(*unit, row, 2);
        }
        if (unitSwitch)
            grid->addWidget(unitSwitch, row, 3);
        ++row;
    };
    addRow("Label10", "Name in Kallix's Display", EditTargetName, nullptr, nullptr);
    addRow("Label1", "Distance", EditDistance, &LabelDistanceUnit, "LabelDistanceUnit", ImageToggleDistanceUnit);
    addRow("Label2", "Caliber", EditCaliber, &LabelCaliberUnit, "LabelCaliberUnit", ImageToggleCaliberUnit);
    addRow("Label3", "Highest Ring", EditHighestRing, nullptr, nullptr);
    addRow("Label4", "Lowest Ring", EditLowestRing, nullptr, nullptr);
    addRow("Label5", "X Ring Diam. (0-not used)", EditXDiameter, &LabelXRingUnit, "LabelXRingUnit");
    addRow("Label6", "Highest Ring Diameter", EditHighestRingDiameter, &LabelHighestUnit, "LabelHighestUnit");
    addRow("Label7", "Hit Ring Gap", EditHitRingGap, &LabelHitRingGapUnit, "LabelHitRingGapUnit");
    addRow("Label8", "Inner White Diameter", EditInnerWhiteDiamater, &LabelInnerRingUnit, "LabelInnerRingUnit");
    addRow("Label9", "Black Area Diameter", EditBlackAreaDiameter, &LabelBlackAreaUnit, "LabelBlackAreaUnit");
    addRow("Label12", "Use Inches", ImageToggleRingUnits, nullptr, nullptr);
    grid->setColumnStretch(4, 1);

    auto* advanced = new QGridLayout(GroupBoxAdvanced);
    advanced->addWidget(NamedControl<QLabel>(GroupBoxAdvanced, "Label13", QStringLiteral("Decimal Scores")), 0, 0);
    advanced->addWidget(ImageToggleDecimalScores, 0, 1);
    advanced->addWidget(NamedControl<QLabel>(GroupBoxAdvanced, "Label14", QStringLiteral("Custom Rings")), 1, 0);
    advanced->addWidget(ImageToggleCustomized, 1, 1);
    advanced->addWidget(NamedControl<QLabel>(GroupBoxAdvanced, "Label11", QStringLiteral("Hit Indication Score Limit")),
                        2, 0);
    advanced->addWidget(EditHIBScoreLimit, 2, 1);
    advanced->setColumnStretch(2, 1);

    auto* main = new QVBoxLayout(this);
    main->addLayout(grid);
    main->addWidget(GroupBoxAdvanced);
    main->addStretch();
}

void TFrameEditRingSettings::RegisterTranslation()
{
    std::vector<TTranslateEntry> entries;
    for (const char* name : {"Label10", "Label1", "Label2", "Label3", "Label4", "Label5", "Label6", "Label7", "Label8",
                             "Label9", "Label11", "Label12", "Label13", "Label14", "CheckBoxCaliberImperial",
                             "CheckBoxDistanceImperial", "CheckBoxRingUnit", "CheckBoxCustomRings", "GroupBoxAdvanced"})
        entries.push_back({QString::fromLatin1(name), TTranslateKind::Caption});
    RegisterTranslateTable(TranslateOrderFrameRingSettings, this, std::move(entries));
}

bool TFrameEditRingSettings::CustomRingsOn() const { return CheckBoxCustomRings->isChecked(); }
bool TFrameEditRingSettings::SizesInInch() const { return CheckBoxRingUnit->isChecked(); }
int TFrameEditRingSettings::SizeDecimals() const { return SizesInInch() ? 2 : 1; }
int TFrameEditRingSettings::SizePower() const { return SizesInInch() ? 2 : 1; }

// ---- Load ------------------------------------------------------------------------------------

void TFrameEditRingSettings::ShowSwitches()
{
    ShowUnitSwitch(ImageToggleDistanceUnit, CheckBoxDistanceImperial->isChecked() ? QStringLiteral("yd")
                                                                                  : QStringLiteral("m"));
    ShowUnitSwitch(ImageToggleCaliberUnit, CheckBoxCaliberImperial->isChecked() ? QStringLiteral("inch")
                                                                                : QStringLiteral("mm"));
    ShowSwitch(ImageToggleRingUnits, CheckBoxRingUnit->isChecked());
    ShowSwitch(ImageToggleDecimalScores, CheckBoxDecimalScores->isChecked());
    ShowSwitch(ImageToggleCustomized, CheckBoxCustomRings->isChecked());
}

void TFrameEditRingSettings::LoadRingSettings(const TargetDescription& target)
{
    const RingTargetRecord& ring = target.ringRecord;
    CheckBoxDistanceImperial->setChecked(ring.DistanceInYards());
    CheckBoxCaliberImperial->setChecked(ring.CaliberInInch());
    CheckBoxRingUnit->setChecked(ring.SizesInInch());
    CheckBoxDecimalScores->setChecked(ring.DecimalScores());
    CheckBoxCustomRings->setChecked(ring.VariableRingGaps());

    EditTargetName->setText(ring.NameText());
    EditDistance->setText(FormatFixed(ring.NominalDistance() * 0.1, 0));
    EditCaliber->setText(ring.CaliberInInch() ? FormatFixed(ring.Caliber() * 0.001, 3)
                                              : FormatFixed(ring.Caliber() * 0.01, 2));
    EditHighestRing->setText(QString::number(ring.HighestRing()));
    EditLowestRing->setText(QString::number(ring.MinimumRing()));
    const double unit = ring.SizesInInch() ? 0.01 : 0.1;
    const int decimals = ring.SizesInInch() ? 2 : 1;
    EditXDiameter->setText(FormatFixed(ring.DiameterX() * unit, decimals));
    EditHighestRingDiameter->setText(FormatFixed(ring.DiameterHighestRing() * unit, decimals));
    EditHitRingGap->setText(FormatFixed(ring.HitRingGap() * unit, decimals));
    EditInnerWhiteDiamater->setText(FormatFixed(ring.DiameterInnerWhite() * unit, decimals));
    EditBlackAreaDiameter->setText(FormatFixed(ring.DiameterBlackArea() * unit, decimals));
    EditHIBScoreLimit->setText(FormatFixed(ring.HIBMinScore() * 0.1, ring.DecimalScores() ? 1 : 0));

    ShowSwitches();
    GroupBoxAdvanced->setVisible(IsAdvancedMode());
    UpdateRingUnitLabels();
}

void TFrameEditRingSettings::UpdateRingUnitLabels()
{
    LabelDistanceUnit->setText(CheckBoxDistanceImperial->isChecked() ? QStringLiteral("yd") : QStringLiteral("m"));
    LabelCaliberUnit->setText(CheckBoxCaliberImperial->isChecked() ? InchMark : QStringLiteral("mm"));
    const QString size = SizesInInch() ? InchMark : QStringLiteral("mm");
    for (QLabel* label : {LabelXRingUnit, LabelHighestUnit, LabelHitRingGapUnit, LabelInnerRingUnit, LabelBlackAreaUnit})
        label->setText(size);
    if (editor_.FrameEditRingCustomSettings1)
        editor_.FrameEditRingCustomSettings1->SetUnitCaption(size);
}

// ---- Validate and store -------------------------------------------------------------------------

bool TFrameEditRingSettings::ValidateRingSettings()
{
    const double sizeScale = SizesInInch() ? 100.0 : 10.0;
    // A 10 m air rifle's ten ring is 0.5 mm across: the highest ring may be
    // as small as 0.1.
    const double caliberMax =
        CheckBoxCaliberImperial->isChecked() ? FitBound(50, 1000.0, MaxSigned16) : FitBound(50, 100.0, MaxSigned16);
    const double highest = NumberOr0(EditHighestRing->text());
    const double lowest = NumberOr0(EditLowestRing->text());
    const double highestDiameter = NumberOr0(EditHighestRingDiameter->text());
    const double gap = NumberOr0(EditHitRingGap->text());
    const double outer = highestDiameter + gap * (highest - lowest) * 2;
    return editor_.ValidateRange(EditDistance, 0, 3000) && editor_.ValidateRange(EditCaliber, 0.17, caliberMax)
           && editor_.ValidateRange(EditHighestRing, 1, 10) && editor_.ValidateRange(EditLowestRing, 1, highest)
           && editor_.ValidateRange(EditXDiameter, 0, FitBound(highestDiameter, sizeScale))
           && editor_.ValidateRange(EditHighestRingDiameter, 0.1, FitBound(6500, sizeScale))
           && editor_.ValidateRange(EditHitRingGap, 0, FitBound(6500, sizeScale))
           && editor_.ValidateRange(EditInnerWhiteDiamater, 0,
                                    FitBound(NumberOr0(EditBlackAreaDiameter->text()), sizeScale))
           && editor_.ValidateRange(EditBlackAreaDiameter, 0, FitBound(outer, sizeScale))
           && editor_.ValidateRange(EditHIBScoreLimit, lowest, highest);
}

bool TFrameEditRingSettings::StoreRingSettings(TargetDescription& target)
{
    if (editor_.Loading || !target.hasRing)
        return true;
    if (!ValidateRingSettings())
        return false;
    RingTargetRecord& ring = target.ringRecord;
    ring.SetNameText(EditTargetName->text());
    ring.SetVariableRingGaps(CheckBoxCustomRings->isChecked());
    ring.SetDecimalScores(CheckBoxDecimalScores->isChecked());
    ring.SetHighestRing(StoredValue(EditHighestRing->text(), 0));
    ring.SetMinimumRing(StoredValue(EditLowestRing->text(), 0));
    ring.SetHIBMinScore(StoredValue(EditHIBScoreLimit->text(), ScorePower));
    ring.SetCaliberInInch(CheckBoxCaliberImperial->isChecked());
    ring.SetCaliber(StoredValue(EditCaliber->text(), ring.CaliberInInch() ? CaliberPowerInch : CaliberPowerMm));
    ring.SetDistanceInYards(CheckBoxDistanceImperial->isChecked());
    ring.SetNominalDistance(StoredValue(EditDistance->text(), DistancePower));
    ring.SetSizesInInch(SizesInInch());
    const int power = SizePower();
    ring.SetDiameterX(StoredValue(EditXDiameter->text(), power));
    ring.SetDiameterHighestRing(StoredValue(EditHighestRingDiameter->text(), power));
    ring.SetHitRingGap(StoredValue(EditHitRingGap->text(), power));
    ring.SetDiameterInnerWhite(StoredValue(EditInnerWhiteDiamater->text(), power));
    ring.SetDiameterBlackArea(StoredValue(EditBlackAreaDiameter->text(), power));
    // The edits show what was stored, in the record's formats.
    LoadRingSettings(target);
    editor_.RedrawPreview();
    return true;
}

void TFrameEditRingSettings::UpdateSets()
{
    if (editor_.Loading)
        return;
    StoreRingSettings(editor_.WorkingSetup.target);
    editor_.RedrawPreview();
}

void TFrameEditRingSettings::ApplyDefaultRingTarget()
{
    if (NumberOr0(EditDistance->text()) != 0)
        return;
    const bool wasLoading = editor_.Loading;
    editor_.Loading = true;
    EditTargetName->setText(QStringLiteral("M16 200 yd"));
    CheckBoxDistanceImperial->setChecked(true);
    CheckBoxCaliberImperial->setChecked(false);
    CheckBoxRingUnit->setChecked(true);
    CheckBoxCustomRings->setChecked(false);
    EditDistance->setText(QStringLiteral("200"));
    EditCaliber->setText(FormatFixed(5.56, 2));
    EditHighestRing->setText(QStringLiteral("10"));
    EditLowestRing->setText(QStringLiteral("5"));
    EditBlackAreaDiameter->setText(QStringLiteral("13"));
    EditHighestRingDiameter->setText(QStringLiteral("7"));
    EditHitRingGap->setText(QStringLiteral("3"));
    EditInnerWhiteDiamater->setText(QStringLiteral("0"));
    EditHIBScoreLimit->setText(FormatFixed(5.0, 1));
    EditXDiameter->setText(QStringLiteral("0"));
    ShowSwitches();
    UpdateRingUnitLabels();
    editor_.Loading = wasLoading;
}

// ---- Switches ------------------------------------------------------------------------------------

void TFrameEditRingSettings::ImageToggleDistanceUnitClick()
{
    CheckBoxDistanceImperial->setChecked(!CheckBoxDistanceImperial->isChecked());
    CheckBoxDistanceImperialClick();
}

void TFrameEditRingSettings::CheckBoxDistanceImperialClick()
{
    if (editor_.Loading)
        return;
    editor_.Loading = true;
    const bool yards = CheckBoxDistanceImperial->isChecked();
    EditDistance->setText(ConvertText(EditDistance->text(), yards ? YardsPerMetre : MetresPerYard, 1));
    editor_.Loading = false;
    ShowSwitches();
    UpdateRingUnitLabels();
}

void TFrameEditRingSettings::ImageToggleCaliberUnitClick()
{
    CheckBoxCaliberImperial->setChecked(!CheckBoxCaliberImperial->isChecked());
    CheckBoxCaliberImperialClick();
}

void TFrameEditRingSettings::CheckBoxCaliberImperialClick()
{
    if (editor_.Loading)
        return;
    editor_.Loading = true;
    const bool inch = CheckBoxCaliberImperial->isChecked();
    EditCaliber->setText(inch ? ConvertText(EditCaliber->text(), InchPerMm, 3)
                              : ConvertText(EditCaliber->text(), MmPerInch, 2));
    editor_.Loading = false;
    ShowSwitches();
    UpdateRingUnitLabels();
}

void TFrameEditRingSettings::ImageToggleRingUnitsClick()
{
    CheckBoxRingUnit->setChecked(!CheckBoxRingUnit->isChecked());
    const bool inch = SizesInInch();
    const double factor = inch ? 1.0 / MmPerInch : MmPerInch;
    const int decimals = inch ? 2 : 1;
    for (QLineEdit* edit :
         {EditXDiameter, EditHighestRingDiameter, EditHitRingGap, EditInnerWhiteDiamater, EditBlackAreaDiameter})
        edit->setText(ConvertText(edit->text(), factor, decimals));
    // The custom diameters are stored with the same unit switch, so they
    // follow it too.
    if (editor_.FrameEditRingCustomSettings1)
        editor_.FrameEditRingCustomSettings1->ConvertDiameters(factor, decimals);
    ShowSwitch(ImageToggleRingUnits, inch);
    if (!editor_.Loading)
        UpdateRingUnitLabels();
}

void TFrameEditRingSettings::ImageToggleDecimalScoresClick()
{
    CheckBoxDecimalScores->setChecked(!CheckBoxDecimalScores->isChecked());
    EditHIBScoreLimit->setText(ConvertText(EditHIBScoreLimit->text(), 1.0, CheckBoxDecimalScores->isChecked() ? 1 : 0));
    ShowSwitch(ImageToggleDecimalScores, CheckBoxDecimalScores->isChecked());
}

void TFrameEditRingSettings::ImageToggleCustomizedClick()
{
    CheckBoxCustomRings->setChecked(!CheckBoxCustomRings->isChecked());
    ShowSwitch(ImageToggleCustomized, CheckBoxCustomRings->isChecked());
    if (editor_.Loading)
        return;
    StoreRingSettings(editor_.WorkingSetup.target);
    editor_.Loading = true;
    editor_.BuildTabs();
    if (CheckBoxCustomRings->isChecked())
        editor_.SelectTab(editor_.TabIndex(QStringLiteral("Custom Rings")));
    editor_.Loading = false;
    editor_.RedrawPreview();
}

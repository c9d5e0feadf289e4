#include "FrameEditRingCustomSettings.h"

#include "EditSetupValues.h"
#include "EditSetupWidgets.h"
#include "FormEditSetup.h"
#include "FrameEditRingSettings.h"
#include "Setupdata.h"
#include "TranslateUI.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

using namespace EditSetupValues;

TFrameEditRingCustomSettings::TFrameEditRingCustomSettings(TFormEditSetup& editor, QWidget* parent)
    : QWidget(parent)
    , editor_(editor)
{
    setObjectName(QStringLiteral("FrameEditRingCustomSettings1"));
    auto* grid = new QGridLayout;
    grid->addWidget(NamedControl<QLabel>(this, "Label1", QStringLiteral("Ring")), 0, 0);
    grid->addWidget(NamedControl<QLabel>(this, "Label12", QStringLiteral("Diameter")), 0, 1);
    LabelCustomRingUnit = NamedControl<QLabel>(this, "LabelCustomRingUnit", QStringLiteral("mm"));
    grid->addWidget(LabelCustomRingUnit, 0, 2);
    for (int k = 1; k <= RowCount; ++k) {
        const std::size_t i = std::size_t(k - 1);
        LabelM[i] = NamedControl<QLabel>(this, QStringLiteral("LabelM%1").arg(k).toLatin1().constData());
        EditHm[i] = NamedControl<QLineEdit>(this, QStringLiteral("EditHm%1").arg(k).toLatin1().constData());
        EditHm[i]->setMaximumWidth(80);
        connect(EditHm[i], &QLineEdit::editingFinished, this, &TFrameEditRingCustomSettings::UpdateSets);
        grid->addWidget(LabelM[i], k, 0);
        grid->addWidget(EditHm[i], k, 1);
    }
    grid->setColumnStretch(3, 1);
    auto* main = new QVBoxLayout(this);
    main->addLayout(grid);
    main->addStretch();
    RegisterTranslateTable(TranslateOrderFrameRingCustomSettings, this,
                           {{QStringLiteral("Label12"), TTranslateKind::Caption},
                            {QStringLiteral("Label1"), TTranslateKind::Caption}});
}

TFrameEditRingCustomSettings::~TFrameEditRingCustomSettings() { UnregisterTranslateTables(this); }

void TFrameEditRingCustomSettings::UpdateRingNumberLabels(const TargetDescription& target)
{
    const RingTargetRecord& ring = target.ringRecord;
    // A record from a file or a unit may claim more rings than it holds
    // diameters for: only those it holds are shown.
    const int rows = CustomRingRows(ring);
    for (int k = 1; k <= RowCount; ++k) {
        const std::size_t i = std::size_t(k - 1);
        LabelM[i]->setText(QString::number(ring.HighestRing() - k));
        LabelM[i]->setVisible(k <= rows);
        EditHm[i]->setVisible(k <= rows);
    }
}

void TFrameEditRingCustomSettings::LoadCustomRings(const TargetDescription& target)
{
    UpdateRingNumberLabels(target);
    const RingTargetRecord& ring = target.ringRecord;
    const double unit = ring.SizesInInch() ? 0.01 : 0.1;
    const int decimals = ring.SizesInInch() ? 2 : 1;
    for (int k = 1; k <= RowCount; ++k)
        EditHm[std::size_t(k - 1)]->setText(FormatFixed(ring.DiameterVariableHminus(k) * unit, decimals));
}

bool TFrameEditRingCustomSettings::ValidateCustomRings(int rows)
{
    const double scale = editor_.FrameEditRingSettings1->SizesInInch() ? 100.0 : 10.0;
    for (int k = 1; k <= rows && k <= RowCount; ++k)
        if (!editor_.ValidateRange(EditHm[std::size_t(k - 1)], 0, FitBound(6000, scale)))
            return false;
    return true;
}

bool TFrameEditRingCustomSettings::StoreCustomRings(TargetDescription& target)
{
    // Only a ring target with custom rings uses these diameters; otherwise
    // they neither hold up a store nor change.
    const TFrameEditRingSettings* ringFrame = editor_.FrameEditRingSettings1;
    if (editor_.Loading || !target.hasRing || !ringFrame->CustomRingsOn())
        return true;
    // Rows below the lowest ring are hidden: whatever a unit or a file left
    // there (an erased field reads 0xFFFF) cannot be corrected, so it must
    // not refuse the store.
    const int rows = CustomRingRows(target.ringRecord);
    if (!ValidateCustomRings(rows))
        return false;
    const int power = ringFrame->SizesInInch() ? 2 : 1;
    for (int k = 1; k <= RowCount; ++k) {
        const QString text = EditHm[std::size_t(k - 1)]->text();
        double unused = 0;
        if (k > rows && !ReadNumber(text, unused))
            continue;  // a hidden row that reads as no number keeps its diameter
        target.ringRecord.SetDiameterVariableHminus(k, StoredValue(text, power));
    }
    return true;
}

void TFrameEditRingCustomSettings::ConvertDiameters(double factor, int decimals)
{
    for (QLineEdit* edit : EditHm)
        edit->setText(ConvertText(edit->text(), factor, decimals));
}

void TFrameEditRingCustomSettings::SetUnitCaption(const QString& unit) { LabelCustomRingUnit->setText(unit); }

void TFrameEditRingCustomSettings::UpdateSets()
{
    if (editor_.Loading)
        return;
    StoreCustomRings(editor_.WorkingSetup.target);
    editor_.RedrawPreview();
}

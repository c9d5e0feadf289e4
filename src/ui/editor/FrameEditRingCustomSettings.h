// The setup editor's "Custom Rings" tab: the diameters of up to eleven
// rings below the highest ring, used when the ring target's custom rings
// are on. Row k edits ring HighestRing - k and is shown while the target
// has that many rings below the highest.
//
// GUI thread; a page of TFormEditSetup, reading the ring frame's unit and
// custom-rings switches. Installs its translation table; the destructor
// removes it.
#pragma once

#include "DeviceRecords.h"

#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;
class TFormEditSetup;
struct TargetDescription;

class TFrameEditRingCustomSettings : public QWidget {
    Q_OBJECT
public:
    static constexpr int RowCount = RingTargetRecord::VariableRingCount;

    explicit TFrameEditRingCustomSettings(TFormEditSetup& editor, QWidget* parent = nullptr);
    ~TFrameEditRingCustomSettings() override;

    void LoadCustomRings(const TargetDescription& target);
    void UpdateRingNumberLabels(const TargetDescription& target);
    // Checks the first rows rows: the rings the target has.
    bool ValidateCustomRings(int rows);
    bool StoreCustomRings(TargetDescription& target);
    // The ring frame's unit switch changed: every diameter follows.
    void ConvertDiameters(double factor, int decimals);
    void SetUnitCaption(const QString& unit);

    // ---- Handlers ----
    void UpdateSets();

private:
    TFormEditSetup& editor_;
    std::array<QLabel*, RowCount> LabelM {};
    std::array<QLineEdit*, RowCount> EditHm {};
    QLabel* LabelCustomRingUnit = nullptr;
};

// The setup editor's "Ring Target" tab: the ring target record of the
// working target (name, distance, calibre, ring numbers and diameters, unit
// switches, decimal scores, custom rings, hit-indication score limit). The
// record's fixed-point integers are shown as decimal texts in the
// operator's units; a store validates every edit against bounds that also
// keep each stored integer inside its 16-bit field.
//
// GUI thread; a page of TFormEditSetup. Installs its translation table; the
// destructor removes it.
#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;
class TFormEditSetup;
struct TargetDescription;

class TFrameEditRingSettings : public QWidget {
    Q_OBJECT
public:
    explicit TFrameEditRingSettings(TFormEditSetup& editor, QWidget* parent = nullptr);
    ~TFrameEditRingSettings() override;

    void LoadRingSettings(const TargetDescription& target);
    bool ValidateRingSettings();
    bool StoreRingSettings(TargetDescription& target);
    // Fills a usable ring target into a frame whose distance reads 0.
    void ApplyDefaultRingTarget();
    void UpdateRingUnitLabels();

    bool CustomRingsOn() const;
    bool SizesInInch() const;

    // ---- Handlers ----
    void UpdateSets();
    void ImageToggleDistanceUnitClick();
    void CheckBoxDistanceImperialClick();
    void ImageToggleCaliberUnitClick();
    void CheckBoxCaliberImperialClick();
    void ImageToggleRingUnitsClick();
    void ImageToggleDecimalScoresClick();
    void ImageToggleCustomizedClick();

private:
    void BuildControls();
    void BuildLayout();
    void RegisterTranslation();
    void ShowSwitches();
    // The unit of the size edits: 2 decimals in inch, 1 in mm.
    int SizeDecimals() const;
    int SizePower() const;

    TFormEditSetup& editor_;

    QLineEdit* EditTargetName = nullptr;
    QLineEdit* EditDistance = nullptr;
    QLineEdit* EditCaliber = nullptr;
    QLineEdit* EditHighestRing = nullptr;
    QLineEdit* EditLowestRing = nullptr;
    QLineEdit* EditXDiameter = nullptr;
    QLineEdit* EditHighestRingDiameter = nullptr;
    QLineEdit* EditHitRingGap = nullptr;
    QLineEdit* EditInnerWhiteDiamater = nullptr;
    QLineEdit* EditBlackAreaDiameter = nullptr;
    QLineEdit* EditHIBScoreLimit = nullptr;
    QCheckBox* CheckBoxDistanceImperial = nullptr;
    QCheckBox* CheckBoxCaliberImperial = nullptr;
    QCheckBox* CheckBoxRingUnit = nullptr;
    QCheckBox* CheckBoxDecimalScores = nullptr;
    QCheckBox* CheckBoxCustomRings = nullptr;
    QToolButton* ImageToggleDistanceUnit = nullptr;
    QToolButton* ImageToggleCaliberUnit = nullptr;
    QToolButton* ImageToggleRingUnits = nullptr;
    QToolButton* ImageToggleDecimalScores = nullptr;
    QToolButton* ImageToggleCustomized = nullptr;
    QGroupBox* GroupBoxAdvanced = nullptr;
    QLabel* LabelDistanceUnit = nullptr;
    QLabel* LabelCaliberUnit = nullptr;
    QLabel* LabelXRingUnit = nullptr;
    QLabel* LabelHighestUnit = nullptr;
    QLabel* LabelHitRingGapUnit = nullptr;
    QLabel* LabelInnerRingUnit = nullptr;
    QLabel* LabelBlackAreaUnit = nullptr;
};

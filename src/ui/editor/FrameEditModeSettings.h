// The setup editor's "General" tab: the setup's description lines and one
// training-mode block (dynamic when the editor's EditDynamicBlock is set,
// else classic). Storing also writes the Misc tab's target switches into
// both mode blocks, the general block and the target's presence flags.
//
// GUI thread; a page of TFormEditSetup, which it calls back (Loading,
// ValidateRange, ImageHIB). Installs its translation table; the destructor
// removes it.
#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QToolButton;
class TFormEditSetup;
struct TTargetSetup;

class TFrameEditModeSettings : public QWidget {
    Q_OBJECT
public:
    explicit TFrameEditModeSettings(TFormEditSetup& editor, QWidget* parent = nullptr);
    ~TFrameEditModeSettings() override;

    void LoadModeSettings(const TTargetSetup& setup);
    bool ValidateModeSettings();
    bool StoreModeSettings(TTargetSetup& setup);

    // ---- Handlers ----
    void ImageToggleHIBClick();
    void ImageToggleSleepWakeUpClick();
    void ImageToggleKallixsDisplayClick();
    void ImageTogglePlaySoundOnHitClick();
    void BitBtnDecTriggerSensitivityClick();
    void BitBtnIncTriggerSensitivityClick();
    void TrackBarTriggerSensitivityChange();

private:
    void BuildControls();
    void BuildLayout();
    void RegisterTranslation();
    void ApplyLayout(int ctrl1);
    void Flip(QCheckBox* box, QToolButton* picture);

    TFormEditSetup& editor_;

    QPlainTextEdit* MemoDescription = nullptr;
    QLineEdit* EditRingTarget2 = nullptr;
    QLineEdit* EditSilhouetteNumber2 = nullptr;
    QLineEdit* EditNumberOfPrisms2 = nullptr;
    QLineEdit* EditBullets2 = nullptr;
    QLineEdit* EditSleepAngle2 = nullptr;
    QLineEdit* EditShotRejectionAngle2 = nullptr;
    QLineEdit* EditSleepTimeout2 = nullptr;
    QLineEdit* EditCockingDelay2 = nullptr;
    QSlider* TrackBarTriggerSensitivity = nullptr;
    QPushButton* BitBtnDecTriggerSensitivity = nullptr;
    QPushButton* BitBtnIncTriggerSensitivity = nullptr;
    QCheckBox* CheckBoxHIB2 = nullptr;
    QCheckBox* CheckBoxEnableSleep2 = nullptr;
    QCheckBox* CheckBoxPlaySoundOnHit = nullptr;
    QCheckBox* CheckBoxEnableGraphicDisplay = nullptr;
    QToolButton* ImageToggleHIB = nullptr;
    QToolButton* ImageToggleSleepWakeUp = nullptr;
    QToolButton* ImageTogglePlaySoundOnHit = nullptr;
    QToolButton* ImageToggleKallixsDisplay = nullptr;
    QGroupBox* GroupBoxTriggerSensitivity = nullptr;
    QGroupBox* GroupBoxAdvancedOptions = nullptr;
    QLabel* LabelRing = nullptr;
    QLabel* LabelSilhouette = nullptr;
    QLabel* LabelPrisms = nullptr;
    QLabel* LabelHIB = nullptr;
};

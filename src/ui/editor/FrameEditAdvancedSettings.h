// The setup editor's "Misc" tab (advanced mode only): which targets each
// training kind uses, whether the settings are unlocked on the unit, and
// single target slots of the one connected unit: read a slot into the
// editor, write the edited target into a slot, or mark a slot disabled.
//
// GUI thread; a page of TFormEditSetup. The slot operations block in the
// unit's synchronous transfers (which let events through); the buttons are
// disabled meanwhile. Installs its translation table; the destructor
// removes it.
#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;
class TDevice;
class TFormEditSetup;

class TFrameEditAdvancedSettings : public QWidget {
    Q_OBJECT
public:
    explicit TFrameEditAdvancedSettings(TFormEditSetup& editor, QWidget* parent = nullptr);
    ~TFrameEditAdvancedSettings() override;

    // Filled by the mode frame's load.
    void LoadTargetSwitches(bool settingsOnDevice, bool ringClassic, bool ringDynamic, bool silhouetteClassic,
                            bool silhouetteDynamic);
    bool SettingsOnDevice() const;
    bool RingClassic() const;
    bool RingDynamic() const;
    bool SilhouetteClassic() const;
    bool SilhouetteDynamic() const;
    bool AnySilhouetteBox() const { return SilhouetteClassic() || SilhouetteDynamic(); }
    bool AnyRingBox() const { return RingClassic() || RingDynamic(); }
    // The editor's show: the kind of the setup's target picks the radio.
    void ChooseKind(bool ring);

    // ---- Handlers ----
    void RadioButtonRingClick();
    void RadioButtonSilhouetteClick();
    void CheckBoxRingTarget2Click();
    void ImageToggleSettingsOnDeviceClick();
    void ButtonDownloadOneClick();
    void ButtonUploadOneClick();
    void ButtonDisableTargetClick();

private:
    void BuildControls();
    void BuildLayout();
    void RegisterTranslation();
    void ShowKindBoxes(bool ring);
    // The one connected unit and a valid slot number, or null after the
    // operator was told why not.
    TDevice* SlotDevice(int& number);
    void SetSlotButtonsEnabled(bool enabled);
    void Inform(const QString& text);
    void Fail(const QString& text);

    TFormEditSetup& editor_;

    QCheckBox* CheckBoxSettingsOnDevice = nullptr;
    QToolButton* ImageToggleSettingsOnDevice = nullptr;
    QGroupBox* GroupBoxOptions = nullptr;
    QLineEdit* EditTargetNumber = nullptr;
    QRadioButton* RadioButtonRing = nullptr;
    QRadioButton* RadioButtonSilhouette = nullptr;
    QPushButton* ButtonDownloadOne = nullptr;
    QPushButton* ButtonUploadOne = nullptr;
    QPushButton* ButtonDisableTarget = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QCheckBox* CheckBoxRingTarget1 = nullptr;
    QCheckBox* CheckBoxRingTarget2 = nullptr;
    QCheckBox* CheckBoxSilhouette1 = nullptr;
    QCheckBox* CheckBoxSilhouette2 = nullptr;
    QPushButton* ButtonUpdateDevice = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* LabelUpdateDeviceProgram = nullptr;
};

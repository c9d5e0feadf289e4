// "Application Settings": this PC's network role and the monitor's address,
// the options, the quick-grading position and skill level, the default setup
// file and the language. Shown modally by the start menu; also the switch
// into advanced mode, which lasts until the program ends.
//
// GUI thread. Owns its controls only; no timers, no hooks. Works on the
// settings document (SettingsRoot): showing the form loads every control from
// it, OK stores them back and saves the file (only written when its text
// changed), Cancel reloads the controls and leaves the document alone.
// Loading never fires the handlers that store.
//
// Links: the setup selection (its list is reloaded from a new default setup
// file), the start menu (its settings icon in advanced mode) and the shooter
// panel (a language change that needs a restart first closes the session,
// which may ask "Save session?" in a nested loop; this form is checked to
// still exist afterwards).
#pragma once

#include <QDialog>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QWidget;

class TFormApplicationSettings : public QDialog {
    Q_OBJECT
public:
    explicit TFormApplicationSettings(QWidget* parent = nullptr);
    ~TFormApplicationSettings() override;

    // Loads every control from the settings document (also Cancel's work).
    void FormShow();
    // Writes the controls into the settings document and saves the file.
    // A failed save is shown; the document keeps the new values.
    void StoreSettings();

    // The kept values (what StoreSettings writes).
    QString MonitorIP() const { return monitorIP_; }
    QString DefaultSetupFile() const { return defaultSetupFile_; }

    // ---- Handlers ----
    void RadioGroupNetworkClick();
    void EditMonitorIPChange();
    void CheckBoxDataoutModeClick();
    void CheckBoxQuickGradingClick();
    void RadioGroupPositionClick();
    void RadioGroupSkillClick();
    void ImageApplicationSettingsClick();
    void ButtonOKClick();
    void ButtonCancelClick();
    void BitBtnOkClick();
    void BitBtnHomeClick();
    void ButtonDefaultSetupClick();
    void ButtonLanguageClick();
    void LayoutQuickGradingOptions();

    static constexpr int HeightWithGrading = 560;
    static constexpr int HeightWithoutGrading = 405;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildOptions();
    void BuildQuickGrading();
    void BuildMonitoringAndButtons();
    void RegisterTranslation();
    void UpdateNetworkControls();
    // False (and the operator told) when the port is no number in 1..65535.
    bool MonitorPortValid();
    void AfterLanguageRestartNeeded();

    QLabel* ImageApplicationSettings = nullptr;
    QLabel* ImageAdvancedSettings = nullptr;
    QWidget* PanelOptions = nullptr;
    QLabel* LabelOptions = nullptr;
    QCheckBox* CheckBoxClearShotsAfterDownload = nullptr;
    QCheckBox* CheckBoxAlwaysShowSaveDialog = nullptr;
    QCheckBox* CheckBoxStartAutomatically = nullptr;
    QCheckBox* CheckBoxQuickGrading = nullptr;
    QCheckBox* CheckBoxSimplityUI = nullptr;
    QCheckBox* CheckBoxDataoutMode = nullptr;
    QCheckBox* CheckBoxLimitShots = nullptr;
    QSpinBox* CSpinEditShots = nullptr;

    QWidget* PanelQuickGrading = nullptr;
    QGroupBox* RadioGroupPosition = nullptr;
    QButtonGroup* positionButtons_ = nullptr;
    QGroupBox* RadioGroupSkill = nullptr;
    QButtonGroup* skillButtons_ = nullptr;
    QLabel* ImagePositionStanding = nullptr;
    QLabel* ImagePositionKneeling = nullptr;
    QLabel* ImagePositionProne = nullptr;
    QLabel* ImageSkillLevelExpert = nullptr;
    QLabel* ImageSkillLevelMarksman = nullptr;
    QLabel* ImageSkillLevelUnqualified = nullptr;

    QWidget* PanelMonitoringAndButtons = nullptr;
    QGroupBox* RadioGroupNetwork = nullptr;
    QButtonGroup* networkButtons_ = nullptr;
    QLabel* ImageInstructor = nullptr;
    QLabel* ImageShooter = nullptr;
    QLabel* ImageMonitorIP = nullptr;
    QLabel* LabelNetworkMonitorIP = nullptr;
    QLineEdit* EditMonitorIP = nullptr;
    QLabel* LabelMonitorPort = nullptr;
    QLineEdit* EditMonitorPort = nullptr;
    QPushButton* ButtonDefaultSetup = nullptr;
    QPushButton* ButtonLanguage = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* BitBtnOk = nullptr;
    QPushButton* BitBtnHome = nullptr;

    QString monitorIP_;
    QString defaultSetupFile_;
    bool loading_ = false;
};

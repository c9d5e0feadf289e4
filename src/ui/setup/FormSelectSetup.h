// "Training Setup": picks a setup from the setup list and programs it into
// every connected unit; Start then opens one live viewer per unit.
//
// GUI thread. Owns the setup list (loaded from the default list when the form
// is created), the grid's model and card delegate (which owns the preview
// renderer), and the programming run: a copy of the chosen setup and the
// units still to be set up. Devices, shooters and viewers are not owned: the
// device manager, the session and ShooterViewers keep them; unit access goes
// through DeviceProgramming.
//
// Timers: TimerProgressBar (the smallest upload progress, while programming)
// and TimerProgrammingPoller (ends the run when every unit is done, one
// failed, stalled, or the unit count changed). A parked unit's port is opened
// again and the run goes on in a single-shot continuation after
// UiTimings().parkedReopenMs, which checks that the unit is still connected.
//
// Waits: Start runs the session close first, which may ask "Save session?";
// the programming state is set and Start and Setup are disabled before that,
// and the handler checks that the form still exists afterwards. The setup
// editor runs modal from Edit. Installs the form's translation table;
// the destructor removes it.
#pragma once

#include "SetupProgramming.h"

#include <QWidget>

#include <cstddef>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPixmap;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;
class QToolButton;
class TDevice;
class TSetupCardDelegate;
class TSetupListModel;

class TFormSelectSetup : public QWidget {
    Q_OBJECT
public:
    explicit TFormSelectSetup(QWidget* parent = nullptr);
    ~TFormSelectSetup() override;

    // CheckBoxModeDynamic (set by the start menu; no effect on programming).
    void SetModeDynamic(bool dynamic);
    // Start and Setup usable again (ignored while programming); Disable also
    // hides the mounting button.
    void EnableSetupButtons();
    void DisableSetupButtons();
    // True while units are being programmed.
    bool Programming() const;
    // The device count text and icon the start menu computed.
    void ShowDeviceCount(const QString& text, const QPixmap& icon);
    // Reloads the setup list from path (the settings dialog's new default);
    // false after "Error loading setup file".
    bool ReloadSetupList(const QString& path);

    // The list shown; the selected row (-1 none); the gun mounting 0..3.
    const TSetupHandler& Setups() const { return setups_; }
    int SelectedIndex() const { return selectedIndex_; }
    int Mounting() const { return mounting_; }

    // ---- Handlers ----
    void DrawGridSetupsClick(int row);
    void CheckBoxSortListClick();
    void ButtonOpenSetupFileClick();
    void ButtonOpenDefaultSetupFileClick();
    void BitBtnEditClick();
    void BitBtnMoreClick();
    void BitBtnCopyClick();
    void BitBtnDeleteClick();
    void BitBtnMoveUpClick();
    void BitBtnMoveDownClick();
    void BitBtnCloseClick();
    void ButtonSaveSetupFileClick();
    void SpeedButtonMountingClick();
    void ButtonStartClick();
    void ButtonSetupClick();
    void TimerProgressBarTimer();
    void TimerProgrammingPollerTimer();

    // ---- Operations ----
    // Setups whose has-ring flag equals flag first; row 0 selected when the
    // order changed.
    void SortSetupList(bool flag);
    void ShowMounting();
    void SetSessionModeFromSetup();
    void MoveSelectedSetupToTop();
    void AddSetup(const TTargetSetup& setup);
    void DeleteSelectedSetup();

protected:
    void showEvent(QShowEvent* event) override;   // FormShow
    void closeEvent(QCloseEvent* event) override; // FormClose

private:
    // ---- Building (FormSelectSetup.cpp) ----
    void BuildControls();
    void BuildLayout();
    void ConnectHandlers();
    void RegisterTranslation();
    void LoadDefaultList();
    bool LoadSetupList(const QString& path);
    void SelectRow(int row);
    const TTargetSetup* SelectedSetup() const;
    void ListChanged(int selectRow);
    void ShowListTools(bool shown);

    // ---- Programming (FormSelectSetupProgramming.cpp) ----
    void StartProgramming(TProgrammingKind kind);
    bool RefuseToStart(const TTargetSetup* setup, TProgrammingKind kind);
    void BeginProgramming(TProgrammingKind kind, const TTargetSetup& setup);
    bool CloseRunningSession();
    void DeleteSessionShooters();
    void DispatchDevices();
    void ProgramDevice(TDevice& device);
    // Ends the run: failed ends it for every unit; otherwise Start opens the
    // viewers.
    void FinishProgramming(bool failed);
    // The run ends before any upload started (the session was not closed).
    void CancelProgramming();
    void OpenViewers();

    // Controls, named as translation finds them.
    QTableView* DrawGridSetups = nullptr;
    QPushButton* ButtonStart = nullptr;
    QPushButton* ButtonSetup = nullptr;
    QPushButton* BitBtnEdit = nullptr;
    QPushButton* BitBtnClose = nullptr;
    QPushButton* BitBtnMore = nullptr;
    QPushButton* BitBtnCopy = nullptr;
    QPushButton* BitBtnDelete = nullptr;
    QPushButton* BitBtnMoveUp = nullptr;
    QPushButton* BitBtnMoveDown = nullptr;
    QPushButton* ButtonOpenSetupFile = nullptr;
    QPushButton* ButtonOpenDefaultSetupFile = nullptr;
    QPushButton* ButtonSaveSetupFile = nullptr;
    QCheckBox* CheckBoxSortList = nullptr;
    QCheckBox* CheckBoxModeDynamic = nullptr;
    QToolButton* SpeedButtonMounting = nullptr;
    QLabel* ImageMounting[4] = {};
    QLabel* LabelSetupList = nullptr;
    QLabel* LabelDeviceCount = nullptr;
    QLabel* ImageDeviceCountIcon = nullptr;
    QWidget* ImageDeviceCount = nullptr;
    QGroupBox* PanelShowProgress = nullptr;
    QProgressBar* ProgressBarSetup = nullptr;
    QTimer* TimerProgressBar = nullptr;
    QTimer* TimerProgrammingPoller = nullptr;

    TSetupHandler setups_;
    TSetupListModel* model_ = nullptr;
    TSetupCardDelegate* delegate_ = nullptr;
    int selectedIndex_ = -1;
    int mounting_ = 0;
    bool listToolsShown_ = false;

    // The programming run.
    int state_ = 0;  // 0 idle, 1 Setup, 2 Start
    int countAtStart_ = 0;
    TProgrammingKind kind_ = TProgrammingKind::Setup;
    TTargetSetup runSetup_ {};
    std::vector<TDevice*> queue_;  // the units in list order
    std::size_t next_ = 0;         // the next one to set up
    bool dispatching_ = false;     // units are still being set up
    bool reopened_ = false;        // queue_[next_] had its port opened again
};

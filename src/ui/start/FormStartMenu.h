// The start menu ("TRAXEL"), the program's home screen: chooses the
// operation (SessionMode), shows the connected units, reconnects them,
// switches the monitor server on and off, opens the settings dialog, holds
// the diagnostics log and ends the program.
//
// GUI thread. Owns its controls and TimerUpdateDeviceCounts (running from
// creation; UiTimings().deviceCountMs), which also pulls the device
// manager's scan completion. Links: the device manager (read, and emptied by
// the reconnect action), the viewers (unbound by the reconnect action), the
// other forms it shows, the network link, and the diagnostics log, whose
// queued lines it appends to MemoLog (capped at TDiagnosticsLog::MaxLines).
//
// Waits: reconnecting all units waits UiTimings().reconnectAllWaitMs on a
// single-shot timer between releasing the units (a viewer's unit parked for
// it, the others dropped) and the rescan, which gives the parked units back
// to their viewers before it adds new ones; meanwhile
// the reconnect image and the Download, Open and training buttons stay
// disabled and the busy cursor shows. The settings dialog runs modal.
// Quitting is explicit: Close saves the settings and terminates the
// application, closing the window terminates it without saving; both first
// ask "Save session?" through the session close when shots are unsaved.
#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class TPictureButton;

class TFormStartMenu : public QWidget {
    Q_OBJECT
public:
    explicit TFormStartMenu(QWidget* parent = nullptr);
    ~TFormStartMenu() override;

    // Shows the menu in front (every "back" path ends here).
    void ShowInFront();
    // "Session Finished" in the waiting label, centred; then ShowInFront.
    void ShowSessionFinished();
    // The device counts on the menu, the setup screen and the download screen.
    void UpdateDeviceCounts();
    void ApplyNetworkModeLayout();
    // The settings button shows the advanced picture (advanced mode was
    // switched on in the settings dialog).
    void ShowAdvancedSettingsIcon();
    // Appends one line to the diagnostics log (GUI thread).
    void AppendLog(const QString& line);
    // The scan's "COM%d. %d/%d" while it opens ports.
    void ShowScanProgress(const QString& text);
    // True from the reconnect click until its scan has returned.
    bool Reconnecting() const { return reconnecting_; }

public Q_SLOTS:
    void BitBtnOpenSessionClick();
    void BitBtnClassicTrainingClick();
    void BitBtnDynamicTrainingClick();
    void BitBtnDownloadSessionClick();
    void BitBtnMonitorTrainingClick();
    void ButtonAppSettingsClick();
    void TimerUpdateDeviceCountsTimer();
    // Reconnects all units; also the reconnect image of the setup and
    // download screens. Refused while a scan or a programming runs.
    void ImageDeviceCountClick();
    void LabelDeviceCountClick();
    void BitBtnCloseClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildButtons();
    void BuildStatusBar();
    void PlaceLogos();
    void RegisterTranslation();
    void ConnectLog();
    void TakeLogLines();
    void ShowOperation(QWidget* form);
    // Unbinds the viewers of every connected unit, then drops the units; a
    // shooter stays in the session when a viewer shows it or it has shots.
    void ReleaseConnectedDevices();
    void FinishReconnectAll();
    void SetOperationButtonsEnabled(bool enabled);
    // True when no unsaved session stands in the way of quitting.
    bool SessionClosedForQuit();

    QPushButton* BitBtnOpenSession = nullptr;
    QPushButton* BitBtnClassicTraining = nullptr;
    QPushButton* BitBtnDynamicTraining = nullptr;
    QPushButton* BitBtnDownloadSession = nullptr;
    QPushButton* BitBtnMonitorTraining = nullptr;
    QPushButton* BitBtnClose = nullptr;
    QPushButton* ButtonAppSettings = nullptr;
    QLabel* LabelDeviceCount = nullptr;
    TPictureButton* ImageDeviceCount = nullptr;
    QLabel* LabelWaitingForConnections = nullptr;
    QLabel* LabelPorts = nullptr;
    QLabel* Label1 = nullptr;
    QPlainTextEdit* MemoLog = nullptr;
    QLabel* ImageDevicesNone = nullptr;
    QLabel* ImageDevicesWired = nullptr;
    QLabel* ImageDevicesBluetooth = nullptr;
    QLabel* ImageAdvancedSettings = nullptr;
    QLabel* ImageKallixApplication = nullptr;
    QLabel* ImageHome = nullptr;
    QLabel* ImageLogo2 = nullptr;
    QLabel* ImageLogo3 = nullptr;
    QTimer* TimerUpdateDeviceCounts = nullptr;

    int deviceIcon_ = 0;         // 0 none, 1 wired, 2 Bluetooth (the image's Tag)
    int monitorPort_ = 14351;    // kept when the settings name none
    bool reconnecting_ = false;
    bool quitting_ = false;
};

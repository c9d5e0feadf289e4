// "Download": fetches the shots the units stored, one review viewer per
// finished unit. Also the program's receiver of port arrival and removal and
// of suspend and resume, in every mode.
//
// GUI thread only. Owns its controls and three timers:
//  - TimerProgressBar (UiTimings().downloadPollMs) polls the units while a
//    download runs: progress text and bar, and the finishing step of each
//    unit (targets read, shots rescored, a review viewer, optionally the
//    unit's banks cleared).
//  - TimerResume: the single-shot wait after a resume (UiTimings().resumeWaitMs)
//    before the ports are scanned again; a new suspend cancels it.
//  - TimerHeldEvents: retries held device and power events while someone
//    else's port scan runs.
// Devices belong to the device manager, shooters to CurrentSession; the
// viewers made here go into ShooterViewers, which closing the session and
// shutdown delete. Unit access goes through the few helpers at the top of
// the .cpp, and every walk over the units or the viewers walks a copy that
// is checked again after anything that may run the event loop.
//
// Waits: the finishing step clears a unit's banks, which lets events through
// once, and the port scan pumps events for seconds. While either runs (or
// the device manager scans for someone else), device and power events are
// held and run afterwards in order, consecutive port changes merged into one
// rescan. The progress timer keeps running through a scan (a unit plugged in
// downloads during it) but not through a finishing step, so a unit is never
// finished twice; every walk is over a copy, checked again after each unit.
// The form closes as the viewers open, also while a scan runs; the visit
// lasts until that scan is over, so the units it brings still download.
// A unit whose port goes during its download is named on the form until it
// is back; the shots it sent leave the session (the unit keeps them all).
// When a download ends with stored shots missing or unscored, one message
// box (through the prompts) lists every such unit; it runs a nested wait
// after the poll has stopped. Installs the form's translation tables; the
// destructor removes them.
#pragma once

#include <QString>
#include <QWidget>

#include <deque>
#include <set>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPixmap;
class QProgressBar;
class QPushButton;
class QTimer;
class TDevice;
class TShooter;

// The COM number of a port name: "COM" followed by up to three characters
// that form a number ("COM7" 7, "COM123" 123); 0 when the name does not
// begin with "COM" or nothing follows it; -1 when what follows is not a
// number ("COM1x").
int ComNumberFromPortName(const QString& name);

class TFormPrepareDownload : public QWidget {
    Q_OBJECT
public:
    explicit TFormPrepareDownload(QWidget* parent = nullptr);
    ~TFormPrepareDownload() override;

    void SetClearShotsAfterDownload(bool clear);
    void ShowDeviceCount(const QString& text, const QPixmap& icon);

    // Port "COMn" arrived or left (hot-plug); n is the COM number, 0 or -1
    // when the name held none.
    void OnPortArrival(int number);
    void OnPortRemoval(int number);
    // The same for a port name as the port registry reports it.
    void OnPortChange(bool arrival, const QString& portName);
    // The machine is about to sleep / has woken up.
    void OnSuspend();
    void OnResume();

    // At least one unit is downloading or identifying for a download.
    bool Downloading() const { return downloading_; }

    // ---- Handlers ----
    void FormShow();
    void FormClose();
    void ButtonCancelClick();
    void TimerProgressBarTimer();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct TEvent {
        enum Kind { Arrival, Removal, Suspend, Resume } kind;
        int number = 0;
    };
    // What a finished unit did not deliver, for the message at the end.
    struct TUnitLoss {
        enum End { Complete, Aborted, Silent } end = Complete;
        int com = 0;
        int announced = 0;
        int missing = 0;
        int unscored = 0; // shots left unscored: their targets were not read
    };

    void BuildControls();
    void BuildLayout();
    void RegisterTranslation();

    // ---- Download ----
    void ProgressTick();
    void FinishIfDue(TDevice* device);
    // The unit's lines of the progress text; adds to the sums while it downloads.
    QString UnitLines(TDevice* device, int& received, int& total) const;
    // Runs once per unit: the unit is marked handled before anything blocks.
    void FinishUnit(TDevice* device, bool failed, bool silent);
    void NameShooterOfUnit(TShooter* shooter);
    void ClearBanksIfComplete(TDevice* device, bool failed);
    // away: the lines of the units unplugged during their download.
    void ShowFinishedState(const QString& away);
    void NoteUnitsGone();
    QString AwayLines() const;
    void ReportLosses();
    bool UnitSilent(const TDevice* device) const;

    // ---- Device and power events ----
    // Device and power events wait while this is true.
    bool Held() const;
    void Post(TEvent event);
    void RunEvents();
    void RunDeviceChange(bool arrival);
    void RunSuspend();
    void RunResume();
    void UnbindViewersOfPort(int number);
    void ParkUnitOfPort(int number);
    void UnbindViewersOfLostDevices();
    void Scan(bool addNew, bool identify, bool autoDownload);
    bool DownloadScreenShowing() const;
    // Starts the units that are ready and were not started in this visit of
    // the screen; true when one started. opening: the screen is being shown
    // (every ready unit), else the poll (not those that start themselves).
    bool StartReadyUnits(bool opening);
    void StartPolling(bool on);

    QLabel* LabelDevices = nullptr;
    QLabel* LabelInsertOpticalUnits = nullptr;
    QLabel* LabelEnterName = nullptr;
    QLineEdit* EditEnterName = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QProgressBar* ProgressBarShotDownload = nullptr;
    QCheckBox* CheckBoxClearShotsAfterDownload = nullptr;
    QLabel* LabelDeviceCount = nullptr;
    QLabel* ImageDeviceCountIcon = nullptr;
    QLabel* ImageDeviceCount = nullptr;
    QTimer* TimerProgressBar = nullptr;
    QTimer* TimerResume = nullptr;
    QTimer* TimerHeldEvents = nullptr;

    bool downloading_ = false;
    int finishing_ = 0;       // finishing steps running (nested through a pump)
    bool runningEvents_ = false;
    std::deque<TEvent> events_;
    // Units given up on in this download (error report or silence); they
    // show "Error" from then on.
    std::set<const TDevice*> failedUnits_;
    std::set<const TDevice*> startedUnits_;
    std::vector<TUnitLoss> losses_;
    // COM numbers of the units unplugged during their download in this visit
    // and not downloaded since.
    std::set<int> unplugged_;
    // Closed as the viewers opened while a scan still ran: the visit lasts
    // until that scan is over.
    bool closedForViewers_ = false;
};

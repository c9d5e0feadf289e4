// The start-up splash ("TRAXEL", no border): the application's main form,
// created first. At creation it lists the serial ports; a second later it
// starts the first device scan and reports its progress; once no unit is
// being identified any more it gives way to the start menu and stays hidden
// for the rest of the run.
//
// GUI thread. Timers (intervals from UiTimings()): TimerStartScan fires once
// and runs the scan; TimerUpdateStatus reports until the scan has ended;
// TimerHideSplash tries to show the menu until it is shown. The scan pumps
// events in its waits (the device manager's), so the other timers and a
// click on the splash run in the middle of TimerStartScanTimer.
//
// The menu is shown once, never again by this form: by TimerHideSplash or a
// click when no scan runs and no unit is identifying, or anyway once units
// have been identifying for UiTimings().splashIdentifyLimitMs since the scan
// started. Not translated by TranslateUI; the texts it sets go through
// Translate.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include <cstdint>

class QFrame;
class QLabel;
class QTimer;

class TFormStartupSplash : public QWidget {
    Q_OBJECT
public:
    explicit TFormStartupSplash(QWidget* parent = nullptr);
    ~TFormStartupSplash() override;

    // The scan's "COM%d. %d/%d" while it opens ports (device manager hook).
    void ShowScanProgress(const QString& text);
    bool StartMenuShown() const { return menuShown_; }

public Q_SLOTS:
    void TimerStartScanTimer();
    void TimerUpdateStatusTimer();
    void TimerHideSplashTimer();
    void ImageSplashClick();

Q_SIGNALS:
    // LabelDevicesInPorts took text.
    void StatusShown(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void PlacePictures();
    void FormCreate();
    void SetStatus(const QString& text);
    QString ScanningText(int identifying) const;
    QString FoundText() const;
    void LoadTeamNameList();
    // The menu may come: no scan walking the ports and no unit identifying,
    // or the identification has taken too long.
    bool ReadyForStartMenu();
    bool IdentifyLimitPassed() const;
    void ShowStartMenu();
    int64_t NowMs() const;
    void LogFirstPaint();

    QLabel* ImageSplash = nullptr;
    QLabel* LabelDevicesInPorts = nullptr;
    QLabel* LabelReleaseDate = nullptr;
    QLabel* LabelCompanyName = nullptr;
    QLabel* LabelVersion = nullptr;
    QLabel* ImageVendorLogo = nullptr;
    QLabel* ImageDeviceStatus = nullptr;
    QLabel* ImageDeviceFound = nullptr;
    QLabel* ImageApplicationLogo = nullptr;
    QFrame* Bevel = nullptr;
    QTimer* TimerStartScan = nullptr;
    QTimer* TimerUpdateStatus = nullptr;
    QTimer* TimerHideSplash = nullptr;

    bool menuShown_ = false;
    bool scanStarted_ = false;
    // Start-up figures for the diagnostics log, in ms since process start.
    QElapsedTimer clock_;
    int64_t ageAtCreation_ = 0;
    bool painted_ = false;
    int64_t scanStartMs_ = -1;
    int64_t scanEndMs_ = -1;
    int64_t scanSeenEndedMs_ = -1;
    int64_t hideTimerStartMs_ = -1;
};

// The shooter viewer ("Shooter Viewer %d"): one window per shooter of the
// running session, showing the target, the live aim point, the shots with
// score and trace, and the shot strip.
//
// Threads. GUI thread, except OnSamples and OnShot, which the device calls on
// its port's event thread under the device lock: they only store atomics and
// post ONE queued DrawTick (an atomic "posted" flag coalesces the posts), so
// nothing of the viewer but those atomics is touched off the GUI thread. The
// device is read only through the locked snapshots of FormShooterDevice.h.
//
// Owns: its renderer (by value), the shot strip, the controls and timers.
// Links, not owned: the shooter (the session's) and the device (the device
// manager's). The viewer is the device's listener while bound live; it
// unlinks itself (SetListener(nullptr) under the device lock) from every
// device, connected or waiting for reconnection, before it goes, so the event
// thread never calls a dead viewer. Pending posted calls die with the object.
//
// Timers (intervals from UiTimings): TimerUpdateDraw (single shot: only the
// end of a shot hold when samples wait for it), TimerSampleStreamCheck (the
// sample watchdog, runs only while measuring), TimerHidePanel,
// TimerSimpleUIHideButtons, TimerUpdateZoom (only while a view animation
// runs; once for the last step of a view that does not move), and the timer
// of ShotsArrived (single shot, the next batch of shots the monitor pulled).
// No timer runs while nothing is to be done.
//
// Waits of seconds (reconnect from the viewer: 2 x 5000 ms; a network text
// to a measuring unit: 5000 ms, then its display lines one by one) are timer
// continuations: the start/stop and zeroing buttons are disabled, the draw
// work and the watchdog pause, and each step checks that the viewer (the
// timer's context) and the device (still bound and in the manager's lists)
// still exist. A viewer deleted during a reconnect ends its busy cursor.
//
// Hooks: the device manager's findFreeShooterView is FindFreeShooterView
// below (installed with the forms, DeviceEvents.h), through which a returning
// unit finds its viewer again.
#pragma once

#include "Device.h"
#include "DeviceManager.h"
#include "Globals.h"
#include "Setupdata.h"
#include "Shotstring.h"
#include "Targetrenderer.h"

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;
class TShooter;
class TShot;
class TShotStripView;
class TTargetImage;

class TFormShooter : public QWidget, public IDeviceEventListener, public IShooterViewLink {
    Q_OBJECT
public:
    explicit TFormShooter(QWidget* parent = nullptr);
    ~TFormShooter() override;

    // ---- IDeviceEventListener (event thread, under the device lock) ----
    void OnSamples() override;
    void OnShot() override;

    // Shots were added to the shooter by the GUI thread (the monitor's pull):
    // drawn in batches, at most one draw every ArrivalDrawMs however fast
    // they come, the first of a quiet spell at once.
    void ShotsArrived();
    static constexpr int ArrivalDrawMs = 50;

    // ---- IShooterViewLink (the device manager's re-attach) ----
    TShooter* ViewShooter() const override;
    void AttachDevice(TDevice* device) override;
    // Starts measuring again only when the viewer was measuring when it lost
    // the unit.
    void StartAfterReconnect() override;

    TShooter* Shooter() const;
    TDevice* Device() const;
    // The port of the bound device; kept when the device is lost.
    int ComNumber() const;
    // 1 classic (ring), 2 dynamic; set before binding.
    int DeviceMode() const;
    void SetDeviceMode(int mode);
    // The caption "Shooter Viewer %d" with number (1-based).
    void SetViewerNumber(int number);

    // Start or stop measuring (nothing without a device).
    void ButtonStartStopClick();
    void EnableSampleStreamCheck(bool on);
    void HideDeviceStatus();
    // Device link := null (the listener unlinked first) and HideDeviceStatus;
    // the COM number stays, so a returning unit is bound again.
    void UnbindDevice();

    void UpdateShotString();
    // Selects shot index (clamped to the last); no shots or a negative index
    // select nothing and show all shots.
    void SelectShot(int index);
    // Zeroing on or off; sender null: the panel's button (no question asked).
    void SpeedButtonZeroingClick(QObject* sender);
    int ReplayState() const;
    void SetReplayState(int state);
    void BitBtnReplayModeClick();
    // The viewer's current target has a ring / its name.
    bool HasRing() const;
    QString TargetName() const;
    // EditShooterName := the shooter's name.
    void ShowShooterName();
    // Draws the target again in its view, so that the network icon shows
    // the link as it is now.
    void RenderNetworkState();
    void ShowTimedMessage(const QString& text, int ms);

    // ---- Further operations of the viewer ----
    // True when it started a view animation (which has drawn its first frame).
    bool ZoomToShot(int first, int last);
    void BitBtnLeftArrowClick();
    void BitBtnRightArrowClick();
    void BitBtnZoomOutClick();
    void BitBtnZoomInClick();
    void BitBtnStanceClick();
    void BitBtnDifficultyClick();
    void SetGradingSelection(int stance, int difficulty);
    void ButtonSaveClick();
    void BitBtnPrintShooterClick();
    void BitBtnSendMessageClick();
    void LayoutControls();
    // The shooter's shots up to now count as saved (a session save).
    void MarkShotsSaved();
    // Shots arrived since this shooter was last saved.
    bool HasUnsavedShots() const;
    // A network text: on screen at once, to the unit's display after the
    // unit is stopped (ShowNetworkMessage).
    void SendNetworkText(const QString& text);

    // The renderer (the print manager draws with it), with a pass that waits
    // for the next paint drawn first, so a reader always finds the layers and
    // lines of the current state.
    const TTargetRenderer& Renderer() const;
    // Before this shooter's page is printed: no selection, all shots drawn
    // (the renderer's summary lines refilled) and the shot strip laid out.
    void PrepareForPrint();
    const TShotString& Strip() const { return strip_; }
    TShot* SelectedShot() const { return selectedShot_; }
    // A draw tick is posted, or a new shot waits for one.
    bool DrawPending() const;
    // A wait of seconds (reconnect, network text) is running.
    bool Waiting() const { return waitDepth_ > 0; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    friend void AttachShooterView(TFormShooter* viewer, TDevice* device, TShooter* shooter, bool live);

    // Runs a handler; an exception stops here and is logged.
    template <class F>
    static void Guarded(const char* what, F&& f)
    {
        try {
            f();
        } catch (const std::exception& e) {
            DebugLog(QStringLiteral("Viewer %1: %2").arg(QString::fromLatin1(what), QString::fromUtf8(e.what())));
        }
    }

    // ---- Construction (FormShooterBuild.cpp) ----
    void BuildControls();
    void BuildTopPanel();
    void BuildShotStripPanel();
    void BuildTimers();
    void ConnectHandlers();
    void WatchMouse(QWidget* control);

    // ---- Binding and live data (FormShooter.cpp) ----
    void Attach(TDevice* device, TShooter* shooter, bool live);
    void TakeTargetFromFirstShot();

    // ---- Live data and drawing (FormShooter.cpp) ----
    void PostDrawTick();
    // Invoked by name from the event thread's post: the queued call is then
    // made and freed inside Qt, not in a functor object of ours.
    Q_INVOKABLE void DrawTick();
    void TimerUpdateDrawTimer();
    void HandleNewShot();
    void HandleSamples();
    void DrawLivePointDirty(const TraceSample& sample);
    void TimerSampleStreamCheckTimer();
    void StartMeasuringNow();
    void StopMeasuringNow();
    void SetStartStopGlyph(bool stop);
    void ShowStatusControls(bool on);
    void SetStatusPicture(int index);
    void SetRotatePicture(int index);
    // Render and show the whole display layer.
    void RenderTarget(int mode);
    // The same pass, left for the next paint of the target (or the next
    // reader of the renderer): a viewer that is built, bound, shown and
    // tiled in one go draws once, at its final size.
    void RequestRender(int mode);
    void FlushRender();
    void ShowWholeTarget();
    void FormResize();
    // The panels and controls laid out at the window's size.
    void LayOutPanels();
    // The renderer's layers take the target's size: at every resize, and
    // before the first pass of a viewer not resized yet. A viewer is made at
    // a default size and shown in its tile: layers of the default size would
    // be filled for nothing.
    void SizeLayers();
    // The device pointer when it is still bound and in the manager's lists.
    bool DeviceStillThere(TDevice* device) const;
    void BeginWait();
    void EndWait();
    void Unlink(TDevice* device);
    void ImageTargetReconnect();
    void ReconnectOpen(TDevice* device, int com, bool wasMeasuring);
    void ReconnectStart(TDevice* device, bool wasMeasuring);
    void FinishReconnect();

    // ---- Layout (FormShooterLayout.cpp) ----
    // The buttons of the bar shown with that many shots, the bar's buttons
    // shown or hidden (simplified bar); the zeroing button is the binding's.
    struct TBarButtons {
        bool difficulty = false;
        bool replay = false;
        bool save = false;
        bool print = false;
        bool showAll = false;
        bool message = false;
    };
    TBarButtons BarButtons(int shots, bool shown) const;
    int NameFieldMinWidth() const;
    int StatusGroupWidth() const;
    int RotationValueWidth() const;
    bool BarNeedsSecondRow() const;
    int BarHeight() const;
    // The timed message's panel and label at the window's size.
    void FitTimedMessage();

    // ---- Controls (FormShooterControls.cpp) ----
    void ImageTargetMouseDown(Qt::MouseButton button, const QPoint& pos);
    void ImageTargetMouseUp(Qt::MouseButton button, const QPoint& pos);
    void ImageTargetClick();
    void ImageShotStringMouseDown(Qt::MouseButton button, int x);
    void ImageShotStringMouseMove(Qt::MouseButtons buttons, int x);
    void ImageShotStringMouseUp();
    void ImageShotStringClick();
    void ImageShotStringDblClick();
    void FormMouseMove(QObject* sender, int x, int y);
    void BitBtnShowAllButtonsClick();
    void TimerSimpleUIHideButtonsTimer();
    void RestartHideButtonsTimer();
    void TrackBarZoomPercentChange(int position);
    void TimerUpdateZoomTimer();
    void StartZoomAnimation(uint32_t ms);
    int ZoomStepMs() const;
    void UpdateGradingButtons();
    void EditShooterNameClick();
    void EditShooterNameChange();
    void TimerHidePanelTimer();
    void ClearSelection();
    void ShowReplayGlyph();
    void SaveShooter(const QString& name);
    void UpdateSessionUnsaved();
    void SendDisplayLines(TDevice* device, QStringList lines, int next, int generation);
    int StripScrollPosition() const;
    void SetStripScrollPosition(int position);
    int ShotCount() const;

    // ---- Controls (object names as the form's description names them) ----
    QWidget* PanelTop = nullptr;
    QPushButton* ButtonStartStop = nullptr;
    QToolButton* SpeedButtonZeroing = nullptr;
    QLabel* ImageStatus = nullptr;
    QLabel* ImageRotate = nullptr;
    QLabel* LabelRotation = nullptr;
    QLabel* ImageZeroingOff = nullptr;
    QLabel* ImageZeroingOn = nullptr;
    QLabel* LabelSerialNumber = nullptr;
    QLabel* LabelSerialNumber2 = nullptr;
    QLabel* LabelSerialNumber3 = nullptr;
    QLineEdit* EditShooterName = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* BitBtnPrintShooter = nullptr;
    QPushButton* BitBtnStance = nullptr;
    QPushButton* BitBtnDifficulty = nullptr;
    QPushButton* BitBtnReplayMode = nullptr;
    QPushButton* BitBtnZoomOut = nullptr;
    QPushButton* BitBtnZoomIn = nullptr;
    QPushButton* BitBtnSendMessage = nullptr;
    QPushButton* BitBtnShowAllButtons = nullptr;
    QSlider* TrackBarZoomPercent = nullptr;
    TTargetImage* ImageTarget = nullptr;
    QWidget* PanelShotString = nullptr;
    TShotStripView* ScrollBoxShotString = nullptr;
    QWidget* ImageShotString = nullptr;
    QPushButton* BitBtnLeftArrow = nullptr;
    QPushButton* BitBtnRightArrow = nullptr;
    QWidget* PanelTimedMessage = nullptr;
    QLabel* LabelMessage = nullptr;
    QTimer* TimerUpdateDraw = nullptr;
    QTimer* TimerSampleStreamCheck = nullptr;
    QTimer* TimerHidePanel = nullptr;
    QTimer* TimerSimpleUIHideButtons = nullptr;
    QTimer* TimerUpdateZoom = nullptr;
    QTimer* arrivalTimer_ = nullptr;     // the next batch of arrived shots (made on first use)

    // ---- Translated texts, taken once ----
    QString textEnterName_;
    QString textNoShotsToSave_;
    QString textSavingCompleted_;
    QString textFileSaveFailed_;
    QString textResetZeroing_;
    QString textViewerCaption_;
    QString textZeroingMode_;
    QString textReconnecting_;
    QString timedMessage_;            // the whole text of the timed message

    // ---- Links and state (GUI thread) ----
    TShooter* shooter_ = nullptr;
    TDevice* device_ = nullptr;
    int deviceMode_ = 1;
    int seriesLength_ = 0;
    int seriesCountdown_ = 0;
    int comNumber_ = 0;
    int viewerNumber_ = 0;
    TTargetRenderer renderer_;
    TShotString strip_;
    TargetDescription currentTarget_ {};
    int gradingType_ = 1;
    int stance_ = 1;
    int difficulty_ = 0;
    bool simplifyUI_ = false;
    bool buttonsHidden_ = false;
    bool measuringShown_ = false;     // the start/stop button shows Stop
    bool wasMeasuring_ = false;       // measuring when the unit was lost
    int replayState_ = 0;
    int lastSeenShotCount_ = 0;       // stored shots the countdown has seen
    int savedShotCount_ = 0;          // shots of this shooter already saved
    int lastX_ = -1;
    int lastY_ = -1;
    QObject* lastMoveSender_ = nullptr;
    int downX_ = 0;
    int downY_ = 0;
    bool dragging_ = false;
    bool rightButton_ = false;
    int dragStartX_ = 0;
    int dragScrollPosition_ = 0;
    int anchor_ = -1;
    bool stripDoubleClicked_ = false; // the release after a double click is no click
    bool targetDoubleClicked_ = false;
    int64_t ignoreDifficultyUntilNs_ = 0;
    int64_t savedZoom_ = 100;
    TShot* selectedShot_ = nullptr;
    TShot* rangeEndShot_ = nullptr;
    int waitDepth_ = 0;
    bool streamCheckWasOn_ = false;
    bool reconnecting_ = false;
    bool busyHeld_ = false;
    int displayTextGeneration_ = 0;
    int64_t lastArrivalDrawNs_ = 0;   // when arrived shots were last drawn
    bool renderPending_ = false;      // RequestRender's pass is still to be drawn
    bool layersSized_ = false;        // the layers have the target's size

    // ---- Written by the event thread ----
    std::atomic<bool> newSamples_ {false};
    std::atomic<bool> newShot_ {false};
    std::atomic<bool> posted_ {false};
    std::atomic<int64_t> lastSampleNs_ {0};
    std::atomic<int64_t> holdUntilNs_ {0};   // 0: no hold
    std::atomic<int64_t> holdNs_ {0};        // length of a shot hold
};

// Binds viewer to device (may be null) and shooter; live: the programming
// code and the re-attach after a scan (the viewer becomes the device's
// listener), else review layout.
void AttachShooterView(TFormShooter* viewer, TDevice* device, TShooter* shooter, bool live);

// A text from the monitor for this shooter: shown on screen and sent to the
// unit's display.
void ShowNetworkMessage(TFormShooter* viewer, const QString& text);

// The viewer without device that remembers COM number, or null (the device
// manager's findFreeShooterView).
IShooterViewLink* FindFreeShooterView(int number);

// After a session save: every viewer's shots count as saved.
void MarkViewersSaved();

// ---- The live status pictures ----
// Status index from the sample's failure flags and tilt: 0 Tilt_Ok,
// 1 Not_Valid_Target, 2 Tilt_Down, 3 Tilt_Up (the tilt wins over the rest).
int StatusPictureIndex(int status, int tilt);
// Rotation index from the cant in degrees: 0 Rotate_Ok, 1 Rotate_Left,
// 2 Rotate_Left_More, 3 Rotate_Right, 4 Rotate_Right_More (5 Rotate_Blank is
// shown while the status is not 0).
int RotatePictureIndex(int cant);
constexpr int RotateBlankIndex = 5;

// The strip's scroll position that keeps a selected entry whose right end is
// at entryRight inside a view of width w scrolled to position: at least 100
// px from either edge.
int StripScrollFor(int entryRight, int position, int width);

// A text for the unit's display: the Nordic letters of the 8-bit code page
// become their plain forms ("Å", "Ä" -> "A", "Ö" -> "O", likewise lower case).
QString FoldDisplayText(const QString& text);

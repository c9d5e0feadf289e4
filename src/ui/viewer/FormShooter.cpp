// The shooter viewer: binding to a device, the live data path and drawing,
// start and stop, the sample watchdog and the window events. The controls
// are built in FormShooterBuild.cpp; gestures, selection, zoom and replay are
// in FormShooterControls.cpp; the layout in FormShooterLayout.cpp; grading,
// zeroing and saving in FormShooterActions.cpp; the waits of seconds in
// FormShooterWaits.cpp.
#include "FormShooter.h"

#include "AccessibleHints.h"

#include "AppSettings.h"
#include "Clock.h"
#include "FormKeys.h"
#include "FormShooterDevice.h"
#include "FormShooterWidgets.h"
#include "Globals.h"
#include "NetworkLink.h"
#include "Shotdata.h"
#include "Translation.h"
#include "UiBitmaps.h"
#include "UiGlobals.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <exception>

namespace {

constexpr int64_t NsPerMs = 1000000;
constexpr int64_t StreamLostNs = 1000 * NsPerMs;  // no sample for this long: stream lost

const QString& StatusPicture(int index)
{
    static const QString names[] = {BitmapFiles::Tilt_Ok, BitmapFiles::Not_Valid_Target, BitmapFiles::Tilt_Down,
                                    BitmapFiles::Tilt_Up};
    return names[std::clamp(index, 0, 3)];
}

const QString& RotatePicture(int index)
{
    static const QString names[] = {BitmapFiles::Rotate_Ok,         BitmapFiles::Rotate_Left,
                                    BitmapFiles::Rotate_Left_More,  BitmapFiles::Rotate_Right,
                                    BitmapFiles::Rotate_Right_More, BitmapFiles::Rotate_Blank};
    return names[std::clamp(index, 0, RotateBlankIndex)];
}

QPixmap Glyph(const QString& bitmap) { return QPixmap::fromImage(UiBitmap(bitmap).image); }

// Integer option (LimitShotsDrawn); 0 when it is not a number.
int IntOption(const char* key)
{
    int value = 0;
    return TryStrToIntStrict(GetOptionString(QString::fromLatin1(key)), value) ? value : 0;
}

// QuickGrading's SkillLevel (attribute, or a child element of that name).
int SkillLevelDifficulty()
{
    MiniXMLParser::TXMLNode* root = SettingsRoot();
    MiniXMLParser::TXMLNode* grading = root ? root->FindNode(QStringLiteral("QuickGrading")) : nullptr;
    if (!grading)
        return 0;
    QString level = grading->GetAttributeValueDef(QStringLiteral("SkillLevel"), QString());
    if (level.isEmpty())
        level = grading->GetNodeText(QStringLiteral("SkillLevel"));
    level = level.trimmed();
    if (level.compare(QStringLiteral("Marksman"), Qt::CaseInsensitive) == 0)
        return 1;
    if (level.compare(QStringLiteral("Expert"), Qt::CaseInsensitive) == 0)
        return 2;
    return 0;
}

} // namespace

// ---- Free functions -------------------------------------------------------------------

int StatusPictureIndex(int status, int tilt)
{
    int s = (status & (0x40 | 0x10 | 0x02 | 0x01)) ? 1 : 0;
    if (status & 0x20)
        s = tilt < 0 ? 2 : 3;
    return s;
}

int RotatePictureIndex(int cant)
{
    if (cant < -10)
        return 2;
    if (cant < -5)
        return 1;
    if (cant > 10)
        return 4;
    if (cant > 5)
        return 3;
    return 0;
}

IShooterViewLink* FindFreeShooterView(int number)
{
    for (TFormShooter* viewer : ShooterViewers) {
        if (viewer && !viewer->Device() && viewer->ComNumber() == number && number > 0)
            return viewer;
    }
    return nullptr;
}

void MarkViewersSaved()
{
    for (TFormShooter* viewer : ShooterViewers) {
        if (viewer)
            viewer->MarkShotsSaved();
    }
}

// ---- Construction ------------------------------------------------------------------

TFormShooter::TFormShooter(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormShooter"));
    textEnterName_ = Translate(QStringLiteral("Enter name here"));
    textNoShotsToSave_ = Translate(QStringLiteral("No shots to save"));
    textSavingCompleted_ = Translate(QStringLiteral("Saving Completed"));
    textFileSaveFailed_ = Translate(QStringLiteral("File save failed"));
    textResetZeroing_ = Translate(QStringLiteral("Reset zeroing?"));
    textViewerCaption_ = Translate(QStringLiteral("Shooter Viewer %d"));
    textZeroingMode_ = Translate(QStringLiteral("Zeroing mode"));
    textReconnecting_ = Translate(QStringLiteral("Reconnecting"));
    holdNs_.store(int64_t(UiTimings().viewerShotHoldMs) * NsPerMs);

    BuildControls();
    BuildTimers();
    ConnectHandlers();
    InstallFormKeys(this, nullptr, nullptr);  // Return presses the focused button
    ShowReplayGlyph();
    renderer_.GradingOverlay = GetOptionBool(QStringLiteral("QuickGrading"));
    strip_.minWidth = 1000;
    resize(640, 560);
    LayOutPanels();
    DescribeControls(this);
}

TFormShooter::~TFormShooter()
{
    // No device may call this viewer once it is gone: unlink it from every
    // device that still names it, bound or parked for reconnection.
    Unlink(device_);
    if (DeviceManagerInstance) {
        for (TDevice* device : DeviceManagerInstance->Connected())
            Unlink(device);
        for (TDevice* device : DeviceManagerInstance->Reconnecting())
            Unlink(device);
    }
    if (busyHeld_)
        EndBusyCursor();
    if (ActiveViewer == this)
        ActiveViewer = nullptr;
}

void TFormShooter::Unlink(TDevice* device)
{
    if (device && device->Listener() == this)
        device->SetListener(nullptr);
}

// ---- Binding -----------------------------------------------------------------------

void AttachShooterView(TFormShooter* viewer, TDevice* device, TShooter* shooter, bool live)
{
    if (!viewer || !shooter)
        return;
    viewer->Attach(device, shooter, live);
}

void TFormShooter::Attach(TDevice* device, TShooter* shooter, bool live)
{
    if (device_ && device_ != device)
        Unlink(device_);
    holdNs_.store(int64_t(UiTimings().viewerShotHoldMs) * NsPerMs);
    simplifyUI_ = buttonsHidden_ = GetOptionBool(QStringLiteral("SimplifyUI"));
    if (!GetOptionBool(QStringLiteral("StartAutomatically"))) {
        const int n = IntOption("LimitShotsDrawn");
        if (n >= 1)
            seriesLength_ = seriesCountdown_ = n;
    }
    ImageStatus->setProperty("Tag", -1);
    ImageRotate->setProperty("Tag", -1);
    const int limit = IntOption("LimitShotsDrawn");
    if (limit > 0)
        renderer_.LimitShots = limit;

    shooter_ = shooter;
    device_ = device;
    renderer_.Shooter = shooter;
    renderer_.Device = device;
    comNumber_ = 0;
    renderer_.ShowNetworkIcon = true;
    if (device)
        ViewerDevice::SetSampleStream(*device, true);
    currentTarget_ = TargetDescription {};
    SetStartStopGlyph(false);
    strip_.decimals = shooter->currentTarget.ringRecord.DecimalScores();

    BitBtnSendMessage->setVisible(SessionMode == SessionMonitor);
    const QString serial = ViewerDevice::SerialNumber(*shooter);
    LabelSerialNumber->setText(serial.mid(0, 3));
    LabelSerialNumber2->setText(serial.mid(3, 4));
    LabelSerialNumber3->setText(serial.mid(7, 10));
    gradingType_ = serial.contains(QStringLiteral("ZUV")) ? 2 : 1;

    const int shots = shooter->ShotCount();
    if (!device || !live) {
        if (shots == 0) {
            currentTarget_ = shooter->currentTarget;
        } else {
            for (QWidget* w : std::initializer_list<QWidget*>{ButtonStartStop, SpeedButtonZeroing, ImageRotate,
                                                              ImageStatus, LabelRotation})
                w->hide();
            if (device)
                shooter->targets = ViewerDevice::TargetTables(*device);
            else
                EditShooterName->setFrame(false);
            TakeTargetFromFirstShot();
            ShowShooterName();
        }
    } else {
        comNumber_ = ViewerDevice::ComNumber(*device);
        currentTarget_ = shooter->currentTarget;
        ViewerDevice::SetTarget(*device, currentTarget_);
        SpeedButtonZeroing->setVisible(deviceMode_ == 1 && currentTarget_.hasRing);
        ButtonStartStop->setVisible(true);
        device->SetListener(this);
        shooter->targets.ringTargets[0] = currentTarget_.ringRecord;
        shooter->targets.silhouetteTargets[0] = currentTarget_.silhouetteRecord;
        shooter->targets.silhouetteMatrices[0] = currentTarget_.silhouetteMatrix;
        shooter->targets.ringDefined[0] = currentTarget_.hasRing;
        shooter->targets.silhouetteDefined[0] = currentTarget_.hasSilhouette;
        ViewerDevice::SetSlotZero(*device, currentTarget_);
        if (!shooter->name.isEmpty())
            ShowShooterName();
    }

    BitBtnDifficulty->setVisible(deviceMode_ == 1 && currentTarget_.hasRing
                                 && GetOptionBool(QStringLiteral("QuickGrading")));
    BitBtnStance->hide();
    SetGradingSelection(1, SkillLevelDifficulty());
    if (SessionMode == SessionMonitor) {
        SpeedButtonZeroing->hide();
        ButtonStartStop->hide();
    }
    lastSeenShotCount_ = shots;
    if (!SessionUnsaved.load())
        savedShotCount_ = shots;

    renderer_.Target = currentTarget_;
    renderer_.ZoomToFitTarget();
    EditShooterNameChange();
    RequestRender(TTargetRenderer::ViewAllShots);
    UpdateShotString();
    LayoutControls();
}

void TFormShooter::TakeTargetFromFirstShot()
{
    TShot* first = shooter_->GetShot(0);
    const int silhouette = first->raw.SilhouetteTargetIndex();
    const int ring = first->raw.RingTargetIndex();
    if (silhouette < DeviceSetup::SlotCount) {
        currentTarget_.hasSilhouette = 1;
        currentTarget_.silhouetteRecord = shooter_->targets.silhouetteTargets[std::size_t(silhouette)];
        currentTarget_.silhouetteMatrix = shooter_->targets.silhouetteMatrices[std::size_t(silhouette)];
    }
    if (ring < DeviceSetup::SlotCount) {
        currentTarget_.hasRing = 1;
        currentTarget_.ringRecord = shooter_->targets.ringTargets[std::size_t(ring)];
    }
}

TShooter* TFormShooter::ViewShooter() const { return shooter_; }

void TFormShooter::AttachDevice(TDevice* device)
{
    if (device)
        AttachShooterView(this, device, shooter_, true);
    else
        UnbindDevice();
}

void TFormShooter::StartAfterReconnect()
{
    if (!device_ || !wasMeasuring_)
        return;
    wasMeasuring_ = false;
    ViewerDevice::SetMeasuring(*device_, false);
    StartMeasuringNow();
}

TShooter* TFormShooter::Shooter() const { return shooter_; }
TDevice* TFormShooter::Device() const { return device_; }
int TFormShooter::ComNumber() const { return comNumber_; }
int TFormShooter::DeviceMode() const { return deviceMode_; }
void TFormShooter::SetDeviceMode(int mode) { deviceMode_ = mode; }

void TFormShooter::SetViewerNumber(int number)
{
    viewerNumber_ = number;
    setWindowTitle(FormatDisplayText(textViewerCaption_, {double(number)}));
}

void TFormShooter::UnbindDevice()
{
    if (device_) {
        Unlink(device_);
        wasMeasuring_ = measuringShown_;
    }
    device_ = nullptr;
    renderer_.Device = nullptr;
    HideDeviceStatus();
}

void TFormShooter::HideDeviceStatus()
{
    for (QWidget* w : std::initializer_list<QWidget*>{ButtonStartStop, SpeedButtonZeroing, ImageStatus, ImageRotate,
                                                      LabelRotation})
        w->hide();
    EnableSampleStreamCheck(false);
    LayoutControls();
}

// ---- Listener slots (event thread) ------------------------------------------------

void TFormShooter::OnSamples()
{
    lastSampleNs_.store(MonotonicNs(), std::memory_order_relaxed);
    newSamples_.store(true, std::memory_order_release);
    PostDrawTick();
}

void TFormShooter::OnShot()
{
    holdUntilNs_.store(MonotonicNs() + holdNs_.load(std::memory_order_relaxed));
    newShot_.store(true, std::memory_order_release);
    PostDrawTick();
}

void TFormShooter::ShotsArrived()
{
    newShot_.store(true, std::memory_order_release);
    if (!arrivalTimer_) {
        arrivalTimer_ = new QTimer(this);
        arrivalTimer_->setSingleShot(true);
        connect(arrivalTimer_, &QTimer::timeout, this, [this] {
            lastArrivalDrawNs_ = MonotonicNs();
            DrawTick();
        });
    }
    if (arrivalTimer_->isActive())
        return;
    // A pull of thousands of shots draws a few times a second, not once a
    // shot: each draw lays out the whole strip.
    const int64_t sinceMs = (MonotonicNs() - lastArrivalDrawNs_) / NsPerMs;
    arrivalTimer_->start(int(std::clamp<int64_t>(ArrivalDrawMs - sinceMs, 0, ArrivalDrawMs)));
}

void TFormShooter::PostDrawTick()
{
    // One queued call however often data arrives; DrawTick clears the flag
    // before it looks at the data, so nothing set after that is missed.
    if (!posted_.exchange(true, std::memory_order_acq_rel))
        QMetaObject::invokeMethod(this, "DrawTick", Qt::QueuedConnection);
}

bool TFormShooter::DrawPending() const
{
    return posted_.load() || newShot_.load();
}

// ---- Drawing (GUI thread) ------------------------------------------------------------

void TFormShooter::DrawTick()
{
    posted_.store(false, std::memory_order_release);
    if (waitDepth_ > 0)
        return; // the data stays flagged; EndWait posts again
    Guarded("draw", [&] { TimerUpdateDrawTimer(); });
}

void TFormShooter::TimerUpdateDrawTimer()
{
    if (newShot_.exchange(false, std::memory_order_acq_rel))
        HandleNewShot();
    if (!device_ || !newSamples_.load(std::memory_order_acquire))
        return;
    const int64_t holdUntil = holdUntilNs_.load();
    const int64_t now = MonotonicNs();
    if (holdUntil != 0 && now <= holdUntil) {
        // Samples wait for the end of the hold: one timer for that moment.
        const int64_t leftMs = (holdUntil - now) / NsPerMs + 1;
        TimerUpdateDraw->start(int(std::min<int64_t>(leftMs, 60000)));
        return;
    }
    HandleSamples();
}

void TFormShooter::HandleNewShot()
{
    if (!shooter_)
        return;
    const int n = shooter_->ShotCount();
    LayoutControls();
    // Selecting the shot rebuilds the strip itself.
    if (n > 0) {
        SelectShot(n - 1);
    } else {
        UpdateShotString();
        RenderTarget(-1);
    }
    // Only stored shots count: zeroing shots reach the listener too.
    const int stored = n - lastSeenShotCount_;
    lastSeenShotCount_ = n;
    if (seriesLength_ > 0 && stored > 0) {
        seriesCountdown_ -= stored;
        // A late shot after a manual stop must not start the unit again.
        if (seriesCountdown_ < 1 && device_ && ViewerDevice::Measuring(*device_))
            StopMeasuringNow();
    }
    if (NetworkLink().ClientActive())
        NetworkLink().SendDataOut(shooter_->index);
}

void TFormShooter::HandleSamples()
{
    // The snapshot may wait for the device lock while the event thread takes
    // in a shot. A hold read after it that has not run out is that shot's:
    // the shot is drawn next and the samples wait for its hold to end.
    const TLiveSnapshot live = ViewerDevice::LiveSnapshot(*device_);
    const int64_t holdUntil = holdUntilNs_.load();
    if (holdUntil != 0 && MonotonicNs() <= holdUntil)
        return;
    if (holdUntil != 0 && live.status == 0) {
        // The hold is over and the aim is valid again: back to all shots. A
        // shot that set a new hold meanwhile keeps it.
        int64_t expected = holdUntil;
        if (holdUntilNs_.compare_exchange_strong(expected, 0)) {
            ClearSelection();
            RenderTarget(TTargetRenderer::ViewAllShots);
        }
    }
    const int s = StatusPictureIndex(live.status, live.tilt);
    SetStatusPicture(s);
    SetRotatePicture(s == 0 ? RotatePictureIndex(live.cant) : RotateBlankIndex);
    LabelRotation->setText(s == 0 ? QString::number(std::abs(live.cant)) : QString());
    if (holdUntilNs_.load() != 0 && live.status != 0)
        return; // the flag stays: the next sample tries again
    newSamples_.store(false, std::memory_order_release);
    if (deviceMode_ == 1)
        DrawLivePointDirty(live.sample);
}

void TFormShooter::DrawLivePointDirty(const TraceSample& sample)
{
    FlushRender(); // the point goes onto the view as it is now
    const TPixelRect before = renderer_.LivePointRect;
    const bool hadPoint = renderer_.LivePointValid;
    const double viewX = renderer_.ViewX;
    const double viewY = renderer_.ViewY;
    const double zoom = renderer_.ZoomPercent;
    renderer_.DrawLivePoint(sample);
    if (renderer_.ViewX != viewX || renderer_.ViewY != viewY || renderer_.ZoomPercent != zoom) {
        ImageTarget->update(); // the point left the zoomed view: a whole pass
        if (renderer_.Animating)
            TimerUpdateZoom->start(ZoomStepMs()); // the steps take their view back
        return;
    }
    const auto toRect = [](const TPixelRect& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); };
    if (hadPoint)
        ImageTarget->update(toRect(before));
    if (renderer_.LivePointValid)
        ImageTarget->update(toRect(renderer_.LivePointRect));
}

void TFormShooter::SetStatusPicture(int index)
{
    if (ImageStatus->property("Tag").toInt() == index)
        return;
    ImageStatus->setProperty("Tag", index);
    ImageStatus->setPixmap(Glyph(StatusPicture(index)));
}

void TFormShooter::SetRotatePicture(int index)
{
    if (ImageRotate->property("Tag").toInt() == index)
        return;
    ImageRotate->setProperty("Tag", index);
    ImageRotate->setPixmap(Glyph(RotatePicture(index)));
}

void TFormShooter::RenderTarget(int mode)
{
    SizeLayers();
    renderPending_ = false;
    renderer_.Render(mode);
    ImageTarget->update();
}

void TFormShooter::RequestRender(int mode)
{
    if (mode >= 0)
        renderer_.ViewMode = mode;
    renderPending_ = true;
    ImageTarget->update();
}

void TFormShooter::FlushRender()
{
    SizeLayers();
    if (!renderPending_)
        return;
    renderPending_ = false;
    renderer_.Render(-1);
}

const TTargetRenderer& TFormShooter::Renderer() const
{
    // Drawing a pass that is only late, not a change of what is shown.
    const_cast<TFormShooter*>(this)->FlushRender();
    return renderer_;
}

void TFormShooter::ShowWholeTarget() { ImageTarget->update(); }

void TFormShooter::RenderNetworkState() { RenderTarget(-1); }

// ---- Sample watchdog -------------------------------------------------------------------

void TFormShooter::TimerSampleStreamCheckTimer()
{
    if (!device_)
        return;
    const bool before = ViewerDevice::SampleStream(*device_);
    bool stream = true;
    if (MonotonicNs() - lastSampleNs_.load() > StreamLostNs) {
        SetStatusPicture(1);
        SetRotatePicture(0);
        LabelRotation->setText(QString());
        stream = false;
    }
    ViewerDevice::SetSampleStream(*device_, stream);
    if (stream != before)
        RenderTarget(-1);
}

void TFormShooter::EnableSampleStreamCheck(bool on)
{
    lastSampleNs_.store(MonotonicNs() - StreamLostNs);
    if (on)
        TimerSampleStreamCheck->start();
    else
        TimerSampleStreamCheck->stop();
}

// ---- Start and stop ------------------------------------------------------------------

void TFormShooter::ButtonStartStopClick()
{
    if (!device_)
        return;
    if (!ViewerDevice::Measuring(*device_))
        StartMeasuringNow();
    else
        StopMeasuringNow();
}

void TFormShooter::StartMeasuringNow()
{
    ViewerDevice::SetLiveStarted(*device_);
    device_->StartMeasuring(deviceMode_);
    EnableSampleStreamCheck(true);
    SetStartStopGlyph(true);
    ShowStatusControls(true);
    LayoutControls();
    seriesCountdown_ = seriesLength_;
    lastSeenShotCount_ = shooter_ ? shooter_->ShotCount() : 0;
}

void TFormShooter::StopMeasuringNow()
{
    // A short pause lets the unit finish the shot it is sending.
    QThread::msleep(unsigned(std::max(0, UiTimings().viewerStopPauseMs)));
    device_->SendStop();
    device_->SendStop();
    TimerUpdateDraw->stop();
    EnableSampleStreamCheck(false);
    RenderTarget(-1);
    SetStartStopGlyph(false);
    ShowStatusControls(false);
}

void TFormShooter::SetStartStopGlyph(bool stop)
{
    measuringShown_ = stop;
    ButtonStartStop->setIcon(Glyph(stop ? BitmapFiles::ButtonStop : BitmapFiles::ButtonStart));
    ButtonStartStop->setProperty("Glyph", stop ? QStringLiteral("ButtonStop") : QStringLiteral("ButtonStart"));
    ButtonStartStop->setToolTip(Translate(stop ? QStringLiteral("Stop") : QStringLiteral("Start")));
}

void TFormShooter::ShowStatusControls(bool on)
{
    ImageRotate->setVisible(on);
    ImageStatus->setVisible(on);
    LabelRotation->setVisible(on);
}

// ---- Window events -------------------------------------------------------------------------

void TFormShooter::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Guarded("resize", [&] { FormResize(); });
}

void TFormShooter::FormResize()
{
    LayOutPanels();
    layersSized_ = false;
    SizeLayers();
    RequestRender(-1);
    const int position = StripScrollPosition();
    UpdateShotString();
    SetStripScrollPosition(position);
}

void TFormShooter::SizeLayers()
{
    if (layersSized_)
        return;
    layersSized_ = true;
    renderer_.SetLayerSize(ImageTarget->width(), ImageTarget->height());
}

void TFormShooter::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!ButtonStartStop->isHidden())
        ButtonStartStop->setFocus();
}

void TFormShooter::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        ActiveViewer = this;
}

void TFormShooter::closeEvent(QCloseEvent* event)
{
    // Only closing the session and shutdown delete a viewer.
    event->ignore();
}

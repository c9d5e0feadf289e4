// Programming the chosen setup into every connected unit: the Start and
// Setup buttons, the poller that waits for the uploads, and the viewers a
// live training opens at its end.
#include "FormSelectSetup.h"

#include "AppSettings.h"
#include "Device.h"
#include "DeviceProgramming.h"
#include "FormShooter.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "Globals.h"
#include "NetworkLink.h"
#include "Prompts.h"
#include "Shotdata.h"
#include "Translation.h"
#include "UiGlobals.h"
#include "XmlNames.h"

#include <QDateTime>
#include <QGroupBox>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>

namespace DP = DeviceProgramming;

namespace {

bool HeldByViewer(const TShooter* shooter)
{
    return std::any_of(ShooterViewers.begin(), ShooterViewers.end(),
                       [shooter](const TFormShooter* viewer) { return viewer->Shooter() == shooter; });
}

// The session's shooter leaves it and is deleted, unless a viewer still
// shows it (the viewers are deleted by the session close only).
void DeleteShooter(TShooter* shooter)
{
    if (!shooter || HeldByViewer(shooter))
        return;
    DP::UnlinkShooter(shooter);
    CurrentSession->TakeShooter(shooter);
}

QString MonitorAddress()
{
    const MiniXMLParser::TXMLNode* root = SettingsRoot();
    const MiniXMLParser::TXMLNode* network = root ? root->FindNode(QString::fromLatin1(XmlNames::Network)) : nullptr;
    return network ? network->GetAttributeValueDef(QString::fromLatin1(XmlNames::MonitorIP), QString()) : QString();
}

} // namespace

void TFormSelectSetup::ButtonStartClick() { StartProgramming(TProgrammingKind::Start); }

void TFormSelectSetup::ButtonSetupClick() { StartProgramming(TProgrammingKind::Setup); }

void TFormSelectSetup::StartProgramming(TProgrammingKind kind)
{
    // A second click while the first one runs (a double-click, a click during
    // the "Save session?" box) must not start another run over the first.
    if (Programming())
        return;
    const TTargetSetup* setup = SelectedSetup();
    if (RefuseToStart(setup, kind))
        return;
    BeginProgramming(kind, *setup);
    try {
        if (kind == TProgrammingKind::Start) {
            QPointer<TFormSelectSetup> self(this);
            const bool closed = CloseRunningSession();
            if (!self)
                return;
            if (!closed) {
                CancelProgramming();
                return;
            }
            DeleteSessionShooters();
        }
        queue_ = DP::ConnectedDevices();
        next_ = 0;
        reopened_ = false;
        DispatchDevices();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Programming: %1").arg(QString::fromUtf8(e.what())));
        FinishProgramming(true);
    }
}

bool TFormSelectSetup::RefuseToStart(const TTargetSetup* setup, TProgrammingKind kind)
{
    if (!setup || !(setup->target.hasRing || setup->target.hasSilhouette)) {
        ShowErrorBox(QStringLiteral("Ring or silhouette not selected"));
        return true;
    }
    Prompts().Beep();
    if (DP::ConnectedCount() == 0) {
        // The live road has always shown this box in English.
        QString text = QStringLiteral("No device connected. Shooting not possible.");
        QString caption = QStringLiteral("Insert Optical Units");
        if (kind == TProgrammingKind::Setup) {
            text = Translate(text);
            caption = Translate(caption);
        }
        Prompts().MessageBox(text, caption, TMsgButtons::OK);
        return true;
    }
    if (!TargetNumbersUsable(*setup, kind)) {
        ShowErrorBox(QStringLiteral("The setup's target number must be between 0 and 15"));
        return true;
    }
    return false;
}

void TFormSelectSetup::BeginProgramming(TProgrammingKind kind, const TTargetSetup& setup)
{
    // State and buttons first: everything after this may let events through.
    kind_ = kind;
    state_ = int(kind);
    runSetup_ = setup;
    DisableSetupButtons();
    dispatching_ = true;
    PanelShowProgress->show();
    ProgressBarSetup->setValue(0);
    TimerProgressBar->start(UiTimings().programmingProgressMs);
    BeginBusyCursor();
    countAtStart_ = DP::ConnectedCount();
    TimerProgrammingPoller->start(UiTimings().programmingPollMs);
    SetSessionModeFromSetup();
    PanelShowProgress->repaint();
}

// A running session is closed the way the operator closes it, "Save session?"
// included, so its shooters are not deleted under its viewers.
bool TFormSelectSetup::CloseRunningSession()
{
    if ((ShooterViewers.empty() && !SessionUnsaved.load()) || !FormShooterPanel)
        return true;
    if (!FormShooterPanel->CloseSession())
        return false;
    // The close returns to the start menu; programming goes on here.
    if (FormStartMenu)
        FormStartMenu->hide();
    raise();
    return true;
}

void TFormSelectSetup::DeleteSessionShooters()
{
    for (TDevice* device : DP::ConnectedDevices())
        DeleteShooter(DP::LinkedShooter(*device));
    for (int i = CurrentSession->ShooterCount() - 1; i >= 0; --i)
        DeleteShooter(CurrentSession->GetShooter(i));
}

// Sets up the units in list order. A parked unit's port is opened again and
// the run goes on once it has settled; the list is checked again then.
void TFormSelectSetup::DispatchDevices()
{
    if (!Programming())
        return;
    try {
        while (next_ < queue_.size()) {
            TDevice* device = queue_[next_];
            if (!DP::IsConnected(device) || DP::ConnectedCount() != countAtStart_) {
                DebugLog(QStringLiteral("Programming: the units changed"));
                FinishProgramming(true);
                return;
            }
            if (!reopened_ && DP::PortParked(*device)) {
                DP::ReopenPort(*device);
                reopened_ = true;
                QTimer::singleShot(UiTimings().parkedReopenMs, this, &TFormSelectSetup::DispatchDevices);
                return;
            }
            ProgramDevice(*device);
            reopened_ = false;
            ++next_;
        }
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Programming: %1").arg(QString::fromUtf8(e.what())));
        FinishProgramming(true);
        return;
    }
    dispatching_ = false;
    if (kind_ == TProgrammingKind::Start)
        CurrentSession->date = QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
}

void TFormSelectSetup::ProgramDevice(TDevice& device)
{
    const bool start = kind_ == TProgrammingKind::Start;
    if (start)
        DP::ClearZeroOffsets(device);
    const TUploadWork work = ComposeUpload(DP::UnitSettings(device), runSetup_, mounting_, kind_);
    TShooter* shooter = start ? DP::AddShooterFor(device, runSetup_.target) : nullptr;
    ProgressBarSetup->setMaximum(work.progressMaximum);
    DP::StartUpload(device, work, runSetup_.target);
    if (shooter)
        DP::SetShooterSettings(*shooter, work.settings);
}

void TFormSelectSetup::TimerProgressBarTimer()
{
    int position = ProgressBarSetup->maximum();
    for (TDevice* device : DP::ConnectedDevices())
        position = std::min(position, DP::UploadStatus(*device, UiTimings().programmingStallMs).progress);
    ProgressBarSetup->setValue(std::max(position, 0));
    PanelShowProgress->update();
}

void TFormSelectSetup::TimerProgrammingPollerTimer()
{
    if (!Programming() || dispatching_)
        return;
    bool notDone = false;
    bool failed = false;
    const auto devices = DP::ConnectedDevices();
    for (TDevice* device : devices) {
        const DP::TUploadStatus status = DP::UploadStatus(*device, UiTimings().programmingStallMs);
        notDone = notDone || !status.done;
        failed = failed || status.failed;
    }
    if (int(devices.size()) != countAtStart_)
        failed = true;
    if (notDone && !failed)
        return;
    FinishProgramming(failed);
}

void TFormSelectSetup::CancelProgramming()
{
    state_ = 0;
    dispatching_ = false;
    queue_.clear();
    EndBusyCursor();
    TimerProgressBar->stop();
    TimerProgrammingPoller->stop();
    PanelShowProgress->hide();
    EnableSetupButtons();
}

void TFormSelectSetup::FinishProgramming(bool failed)
{
    const bool start = kind_ == TProgrammingKind::Start;
    CancelProgramming();
    if (failed) {
        // Stop driving the other units before the operator reads the box.
        DP::ResetAllUploads();
        ShowErrorBox(QStringLiteral("Error during programming"));
        return;
    }
    if (!start)
        return;  // the units hold the setup; they train on their own
    hide();
    try {
        OpenViewers();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Opening the viewers: %1").arg(QString::fromUtf8(e.what())));
        ShowErrorBox(QString::fromUtf8(e.what()));
    }
}

void TFormSelectSetup::OpenViewers()
{
    const int mode = runSetup_.target.hasRing ? SessionClassic : SessionDynamic;
    const bool autoStart = GetOptionBool(QString::fromLatin1(XmlNames::StartAutomatically));
    for (TDevice* device : DP::ConnectedDevices()) {
        auto* viewer = new TFormShooter;
        ShooterViewers.push_back(viewer);
        viewer->SetDeviceMode(mode);
        DP::SetTrainingMode(*device, mode);
        AttachShooterView(viewer, device, DP::LinkedShooter(*device), true);
        viewer->show();
        if (autoStart)
            viewer->ButtonStartStopClick();
    }
    ShowSessionViewers();
    Prompts().Beep();
    if (GetNetworkMode() == QLatin1String(XmlNames::ModeNode))
        NetworkLink().ConnectClient(MonitorAddress(), MonitorPortSetting());
}

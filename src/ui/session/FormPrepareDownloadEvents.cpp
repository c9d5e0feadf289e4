// The download form as the receiver of port arrival and removal and of
// suspend and resume, in every mode.
#include "FormPrepareDownload.h"

#include "Device.h"
#include "DeviceManager.h"
#include "FormSelectSetup.h"
#include "FormShooter.h"
#include "Globals.h"
#include "Prompts.h"
#include "UiGlobals.h"

#include <QTimer>

#include <algorithm>
#include <exception>

namespace {

// Viewers may be deleted by what runs meanwhile; the list is walked as a copy
// and each entry checked again.
bool StillViewer(const TFormShooter* viewer)
{
    return std::find(ShooterViewers.begin(), ShooterViewers.end(), viewer) != ShooterViewers.end();
}

bool InConnectedList(const TDevice* device)
{
    if (!DeviceManagerInstance)
        return false;
    const std::vector<TDevice*> list = DeviceManagerInstance->Connected();
    return std::find(list.begin(), list.end(), device) != list.end();
}

} // namespace

// ---- Entry points ------------------------------------------------------------------------

void TFormPrepareDownload::OnPortChange(bool arrival, const QString& portName)
{
    const int number = ComNumberFromPortName(portName);
    if (arrival)
        OnPortArrival(number);
    else
        OnPortRemoval(number);
}

void TFormPrepareDownload::OnPortArrival(int number)
{
    DebugLog(QStringLiteral("EVENT WM_DEVICECHANGE"));
    if (number > 0)
        DebugLog(QStringLiteral("Connected COM %1").arg(number));
    Post({TEvent::Arrival, number});
}

void TFormPrepareDownload::OnPortRemoval(int number)
{
    DebugLog(QStringLiteral("EVENT WM_DEVICECHANGE"));
    if (number > 0)
        DebugLog(QStringLiteral("Disconnected COM %1").arg(number));
    Post({TEvent::Removal, number});
}

void TFormPrepareDownload::OnSuspend()
{
    DebugLog(QStringLiteral("EVENT APMSUSPEND"));
    Post({TEvent::Suspend, 0});
}

void TFormPrepareDownload::OnResume()
{
    DebugLog(QStringLiteral("EVENT APMRESUMEAUTOMATIC"));
    Post({TEvent::Resume, 0});
}

// ---- Holding and running -----------------------------------------------------------------

bool TFormPrepareDownload::Held() const
{
    return finishing_ > 0 || runningEvents_ || (DeviceManagerInstance && DeviceManagerInstance->Scanning());
}

void TFormPrepareDownload::Post(TEvent event)
{
    events_.push_back(event);
    RunEvents();
}

void TFormPrepareDownload::RunEvents()
{
    if (events_.empty())
        return;
    if (Held()) {
        // Our own walks pick the events up when they end; someone else's scan
        // does not know about them.
        if (!runningEvents_)
            TimerHeldEvents->start();
        return;
    }
    runningEvents_ = true;
    try {
        while (!events_.empty()) {
            // Port changes in a row become one rescan (an arrival's scan also
            // parks the units whose port went).
            bool change = false;
            bool arrival = false;
            while (!events_.empty() && (events_.front().kind == TEvent::Arrival || events_.front().kind == TEvent::Removal)) {
                const TEvent e = events_.front();
                events_.pop_front();
                change = true;
                if (e.kind == TEvent::Arrival) {
                    arrival = true;
                } else {
                    UnbindViewersOfPort(e.number);
                    ParkUnitOfPort(e.number);
                }
            }
            if (change) {
                RunDeviceChange(arrival);
                continue;
            }
            const TEvent e = events_.front();
            events_.pop_front();
            if (e.kind == TEvent::Suspend)
                RunSuspend();
            else
                RunResume();
        }
    } catch (const std::exception& ex) {
        DebugLog(QStringLiteral("Device event failed: ") + QString::fromUtf8(ex.what()));
    }
    runningEvents_ = false;
}

// ---- Port changes ------------------------------------------------------------------------

void TFormPrepareDownload::RunDeviceChange(bool arrival)
{
    if (!arrival) {
        Scan(false, false, false);
        UnbindViewersOfLostDevices();
        return;
    }
    // Units plugged in download only while this screen shows; a closed
    // download session must not fetch (and clear) the units of the next one.
    const bool autoDownload = DownloadScreenShowing();
    // During a training only the setup screen may add units; otherwise the
    // scan hands returning units back to their viewers.
    const bool training = SessionMode == SessionClassic || SessionMode == SessionDynamic;
    const bool addNew = ShooterViewers.empty() || !training || (FormSelectSetup && FormSelectSetup->isVisible());
    // The screen shows the download while the scan identifies the unit and
    // fetches its shots, not only once the scan is over.
    if (autoDownload) {
        downloading_ = true;
        StartPolling(true);
    }
    Scan(addNew, true, autoDownload);
    UnbindViewersOfLostDevices();
    // The scan pumps events for seconds: the screen may have been opened (and
    // its download started) or closed meanwhile. What runs is decided now,
    // and a download already under way is never dropped here.
    if (DownloadScreenShowing()) {
        raise();
        downloading_ = true;
        StartPolling(true);
    }
}

void TFormPrepareDownload::Scan(bool addNew, bool identify, bool autoDownload)
{
    if (!DeviceManagerInstance)
        return;
    try {
        DeviceManagerInstance->ScanPorts(addNew, identify, autoDownload);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Scan failed: ") + QString::fromUtf8(e.what()));
    }
}

void TFormPrepareDownload::UnbindViewersOfPort(int number)
{
    if (number <= 0)
        return;
    const std::vector<TFormShooter*> viewers = ShooterViewers;
    for (TFormShooter* viewer : viewers) {
        if (StillViewer(viewer) && viewer->Device()
            && (viewer->ComNumber() == number || viewer->Device()->ComNumber() == number))
            viewer->UnbindDevice();
    }
}

// A port that left and came back before the rescan still has its unit in
// the connected list, on a line that is gone: park it, so that the rescan
// finds the unit afresh (or hands it back to its viewer).
void TFormPrepareDownload::ParkUnitOfPort(int number)
{
    if (number <= 0 || !DeviceManagerInstance)
        return;
    if (TDevice* device = DeviceManagerInstance->FindConnectedDevice(number))
        DeviceManagerInstance->MoveToReconnect(device);
}

// A viewer must not drive a unit the scan parked (its port went, whatever
// name the removal carried).
void TFormPrepareDownload::UnbindViewersOfLostDevices()
{
    const std::vector<TFormShooter*> viewers = ShooterViewers;
    for (TFormShooter* viewer : viewers) {
        if (StillViewer(viewer) && viewer->Device() && !InConnectedList(viewer->Device()))
            viewer->UnbindDevice();
    }
}

// ---- Power -------------------------------------------------------------------------------

void TFormPrepareDownload::RunSuspend()
{
    TimerResume->stop();
    const std::vector<TFormShooter*> viewers = ShooterViewers;
    for (TFormShooter* viewer : viewers) {
        if (StillViewer(viewer))
            viewer->UnbindDevice();
    }
    if (!DeviceManagerInstance)
        return;
    // Closing keeps the COM number, so the scan after the resume finds the
    // parked unit again.
    for (TDevice* device : DeviceManagerInstance->Connected())
        DeviceManagerInstance->MoveToReconnect(device);
}

void TFormPrepareDownload::RunResume()
{
    Prompts().Beep();
    TimerResume->start(UiTimings().resumeWaitMs);
}

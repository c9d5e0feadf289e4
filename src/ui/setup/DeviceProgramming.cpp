#include "DeviceProgramming.h"

#include "Device.h"
#include "DeviceManager.h"
#include "Globals.h"
#include "Shotdata.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace DeviceProgramming {

namespace {

std::vector<TDevice*> AllDevices()
{
    std::vector<TDevice*> all = ConnectedDevices();
    if (DeviceManagerInstance) {
        const auto parked = DeviceManagerInstance->Reconnecting();
        all.insert(all.end(), parked.begin(), parked.end());
    }
    return all;
}

} // namespace

std::vector<TDevice*> ConnectedDevices()
{
    if (!DeviceManagerInstance)
        return {};
    const auto connected = DeviceManagerInstance->Connected();
    return std::vector<TDevice*>(connected.begin(), connected.end());
}

int ConnectedCount() { return int(ConnectedDevices().size()); }

bool IsConnected(const TDevice* device)
{
    const auto devices = ConnectedDevices();
    return std::find(devices.begin(), devices.end(), device) != devices.end();
}

bool PortParked(const TDevice& device) { return device.ComNumber() < 0 || !device.Data().IsOpen(); }

void ReopenPort(TDevice& device)
{
    const int number = std::abs(device.ComNumber());
    if (number == 0)
        throw Exception("No port to reopen");
    if (!device.OpenPort(number, true))
        throw Exception(QStringLiteral("COM%1 did not open").arg(number));
}

SetupBlocks UnitSettings(const TDevice& device) { return device.SettingsBlocks(); }

void StartUpload(TDevice& device, const TUploadWork& work, const TargetDescription& target)
{
    // Before anything of the new upload is set: a reset afterwards would wipe it.
    device.ResetAsyncState();
    device.SetSettingsBlocks(work.settings);
    if (work.ringSlot >= 0)
        device.SetRingTarget(work.ringSlot, target.ringRecord);
    if (work.silhouetteSlot >= 0)
        device.SetSilhouetteTarget(work.silhouetteSlot, target.silhouetteRecord, target.silhouetteMatrix);
    TUploadPlan plan;
    plan.ringTarget = work.ringSlot;
    plan.silhouetteTarget = work.silhouetteSlot;
    plan.settings = true;
    device.StartAsyncUpload(plan);
}

TUploadStatus UploadStatus(const TDevice& device, int stallMs)
{
    const TDeviceAsyncState& s = device.Async();
    TUploadStatus status;
    status.done = s.uploadDone.load();
    const bool stalled = s.uploadRequested.load() && !status.done
        && DeviceTickMs() - s.activityTick.load() > stallMs;
    status.failed = s.abort.load() || stalled;
    status.progress = s.uploadStepCount.load();
    return status;
}

void ResetAllUploads()
{
    if (DeviceManagerInstance)
        DeviceManagerInstance->ResetAsyncStates();
}

void ClearZeroOffsets(TDevice& device) { device.ClearZeroOffsets(); }

void SetTrainingMode(TDevice& device, int mode) { device.SetMode(mode); }

void UnlinkShooter(const TShooter* shooter)
{
    if (!shooter)
        return;
    for (TDevice* device : AllDevices()) {
        if (device->Shooter() == shooter) {
            device->SetListener(nullptr);
            device->UnlinkShooter(shooter);
        }
    }
}

TShooter* LinkedShooter(const TDevice& device) { return device.Shooter(); }

TShooter* AddShooterFor(TDevice& device, const TargetDescription& target)
{
    auto shooter = std::make_unique<TShooter>();
    shooter->SetSerialNumber(device.Name());
    shooter->currentTarget = target;
    TShooter* added = CurrentSession->AddShooter(std::move(shooter));
    device.SetShooter(added);
    return added;
}

void SetShooterSettings(TShooter& shooter, const SetupBlocks& blocks) { shooter.SetSetupBlocks(blocks); }

} // namespace DeviceProgramming

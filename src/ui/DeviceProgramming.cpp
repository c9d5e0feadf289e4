#include "DeviceProgramming.h"

#include "Device.h"
#include "DeviceManager.h"
#include "Globals.h"
#include "Shotdata.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
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

bool PortParked(const TDevice& device)
{
    return device.comNumber.load() < 0 || !device.Data().IsOpen();
}

void ReopenPort(TDevice& device)
{
    const int number = std::abs(device.comNumber.load());
    if (number == 0)
        throw Exception("No port to reopen");
    if (!device.OpenPort(number, true))
        throw Exception(QStringLiteral("COM%1 did not open").arg(number));
}

SetupBlocks UnitSettings(const TDevice& device)
{
    SetupBlocks blocks;
    auto guard = device.Lock();
    std::memcpy(blocks.data(), device.paramBlocks0to3.data(), blocks.size());
    return blocks;
}

void StartUpload(TDevice& device, const TUploadWork& work, const TargetDescription& target)
{
    {
        // Under the lock, so a late ack of an earlier upload sees either the
        // old state or the new one, never a mix.
        auto guard = device.Lock();
        TDeviceAsyncState& s = device.async;
        // Before anything of the new upload is set: a reset afterwards would wipe it.
        s.Reset();
        std::memcpy(device.GetSettingsBlock(), work.settings.data(), work.settings.size());
        DeviceSetup& tables = device.targetTables;
        if (work.ringSlot >= 0) {
            tables.ringTargets[std::size_t(work.ringSlot)] = target.ringRecord;
            tables.ringDefined[std::size_t(work.ringSlot)] = 1;
        }
        if (work.silhouetteSlot >= 0) {
            tables.silhouetteTargets[std::size_t(work.silhouetteSlot)] = target.silhouetteRecord;
            tables.silhouetteMatrices[std::size_t(work.silhouetteSlot)] = target.silhouetteMatrix;
            tables.silhouetteDefined[std::size_t(work.silhouetteSlot)] = 1;
        }
        s.ringPending = work.ringSlot >= 0;
        s.ringTargetNumber = std::max(work.ringSlot, 0);
        s.silhouettePending = work.silhouetteSlot >= 0;
        s.silhouetteTargetNumber = std::max(work.silhouetteSlot, 0);
        s.settingsPending = true;
        s.activityTick = DeviceTickMs();
    }
    device.StartAsyncUpload();
}

TUploadStatus UploadStatus(const TDevice& device, int stallMs)
{
    const TDeviceAsyncState& s = device.async;
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

void SetTrainingMode(TDevice& device, int mode) { device.mode.store(mode); }

void UnlinkShooter(const TShooter* shooter)
{
    if (!shooter)
        return;
    for (TDevice* device : AllDevices()) {
        if (device->Shooter() == shooter) {
            device->SetListener(nullptr);
            device->SetShooter(nullptr);
        }
    }
}

TShooter* LinkedShooter(const TDevice& device) { return device.Shooter(); }

TShooter* AddShooterFor(TDevice& device, const TargetDescription& target)
{
    auto shooter = std::make_unique<TShooter>();
    shooter->serialNumber = device.Name();
    shooter->currentTarget = target;
    TShooter* added = CurrentSession->AddShooter(std::move(shooter));
    device.SetShooter(added);
    return added;
}

void SetShooterSettings(TShooter& shooter, const SetupBlocks& blocks) { shooter.setupBlocks = blocks; }

} // namespace DeviceProgramming

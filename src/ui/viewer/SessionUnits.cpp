#include "SessionUnits.h"

#include "Device.h"
#include "DeviceManager.h"
#include "Globals.h"

#include <QThread>

#include <algorithm>
#include <exception>
#include <vector>

namespace SessionUnits {

namespace {

constexpr int StopRounds = 3;

// False (and logged) when the write failed.
bool Stop(TDevice& device)
{
    try {
        device.SendStop();
        return true;
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("COM%1: stop failed: %2").arg(device.ComNumber()).arg(QString::fromUtf8(e.what())));
        return false;
    }
}

} // namespace

void StopAll(int pauseMs)
{
    std::vector<TDevice*> units = TDeviceManager::Instance()->Connected();
    units.erase(std::remove_if(units.begin(), units.end(), [](const TDevice* d) { return d->ComNumber() <= 0; }),
                units.end());
    for (int round = 0; round < StopRounds && !units.empty(); ++round) {
        if (round > 0)
            QThread::msleep(static_cast<unsigned long>(std::max(pauseMs, 0)));
        units.erase(std::remove_if(units.begin(), units.end(), [](TDevice* d) { return !Stop(*d); }), units.end());
    }
}

void ReleaseAll()
{
    TDeviceManager* manager = TDeviceManager::Instance();
    for (TDevice* device : manager->Connected()) {
        device->SetListener(nullptr);
        device->SetShooter(nullptr);
    }
    for (TDevice* device : manager->Reconnecting()) {
        device->SetListener(nullptr);
        device->SetComNumber(0);
    }
}

void SetZeroing(TDevice& device, bool on) { device.SetZeroing(on); }

} // namespace SessionUnits

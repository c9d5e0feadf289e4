#include "DeviceEvents.h"

#include "Device.h"
#include "DeviceManager.h"
#include "FormPrepareDownload.h"
#include "FormShooter.h"
#include "FormStartMenu.h"
#include "FormStartupSplash.h"
#include "Globals.h"
#include "HotPlug.h"
#include "UiGlobals.h"

#include <exception>
#include <memory>

namespace {

std::unique_ptr<THotPlug>& HotPlugSlot()
{
    static std::unique_ptr<THotPlug> hotPlug;
    return hotPlug;
}

void DeliverPortChange(EPortChange change, const std::string& portName)
{
    if (!FormPrepareDownload)
        return;
    // The handlers call the core; nothing may leave this callback.
    try {
        FormPrepareDownload->OnPortChange(change == EPortChange::Arrival, QString::fromStdString(portName));
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Port change %1: %2").arg(QString::fromStdString(portName), QString::fromUtf8(e.what())));
    }
}

void ShowScanProgress(const QString& text)
{
    if (FormStartupSplash)
        FormStartupSplash->ShowScanProgress(text);
    if (FormStartMenu)
        FormStartMenu->ShowScanProgress(text);
}

}  // namespace

std::vector<TConnectedUnit> ConnectedUnits()
{
    std::vector<TConnectedUnit> units;
    if (!DeviceManagerInstance)
        return units;
    for (const TDevice* device : DeviceManagerInstance->Connected()) {
        TConnectedUnit unit;
        unit.com = device->ComNumber();
        unit.identifying = device->Identifying();
        unit.found = device->Found();
        unit.bluetooth = device->Bluetooth();
        units.push_back(unit);
    }
    return units;
}

void InstallDeviceEvents()
{
    TDeviceManager* manager = TDeviceManager::Instance();
    manager->onScanProgress = &ShowScanProgress;
    manager->onDeviceCountChanged = [] {
        if (FormStartMenu)
            FormStartMenu->UpdateDeviceCounts();
    };
    manager->findFreeShooterView = &FindFreeShooterView;

    auto& hotPlug = HotPlugSlot();
    hotPlug = std::make_unique<THotPlug>();
    hotPlug->AddListener(&DeliverPortChange);
    try {
        hotPlug->Start();
    } catch (const std::exception& e) {
        // Units still come through the reconnect action and the scans.
        DebugLog(QStringLiteral("Port watch not started: ") + QString::fromUtf8(e.what()));
    }
}

void RemoveDeviceEvents()
{
    HotPlugSlot().reset();
    if (TDeviceManager* manager = DeviceManagerInstance) {
        manager->onScanProgress = nullptr;
        manager->onDeviceCountChanged = nullptr;
        manager->findFreeShooterView = nullptr;
    }
}

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
    const int number = PortNumberFromName(QString::fromStdString(portName));
    // The handlers call the core; nothing may leave this callback.
    try {
        if (change == EPortChange::Arrival)
            FormPrepareDownload->OnPortArrival(number);
        else
            FormPrepareDownload->OnPortRemoval(number);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Port change %1: %2").arg(QString::fromStdString(portName), QString::fromUtf8(e.what())));
    }
}

IShooterViewLink* FreeViewerForPort(int number)
{
    for (TFormShooter* viewer : ShooterViewers)
        if (viewer && !viewer->Device() && viewer->ComNumber() == number)
            return viewer;
    return nullptr;
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

int PortNumberFromName(const QString& name)
{
    if (!name.startsWith(QLatin1String("COM")))
        return 0;
    bool ok = false;
    const int number = (QLatin1Char('0') + name.mid(3, 3)).toInt(&ok);
    return ok ? number : -1;
}

void InstallDeviceEvents()
{
    TDeviceManager* manager = TDeviceManager::Instance();
    manager->onScanProgress = &ShowScanProgress;
    manager->onDeviceCountChanged = [] {
        if (FormStartMenu)
            FormStartMenu->UpdateDeviceCounts();
    };
    manager->findFreeShooterView = &FreeViewerForPort;

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

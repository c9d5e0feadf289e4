#include "DeviceManager.h"

#include "AppSettings.h"
#include "CPort.h"
#include "Device.h"
#include "Globals.h"
#include "Shotdata.h"
#include "XmlNames.h"
#include "PortRegistry.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

TDeviceManager* DeviceManagerInstance = nullptr;
bool ScanAwaitingCompletion = false;

namespace {

// Settings elements that force a port number into every scan.
constexpr char PortsElement[] = "Ports";
constexpr char ForceAttribute[] = "Force";

QString ErrorText(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

// Leading decimal digits among the (up to) three characters at from.
bool ReadPortNumber(const QString& text, qsizetype from, int& number)
{
    QString digits;
    for (qsizetype i = from; i < text.size() && i < from + 3 && text[i].isDigit(); ++i)
        digits += text[i];
    return !digits.isEmpty() && TryStrToIntStrict(digits, number);
}

using TDeviceList = std::vector<std::unique_ptr<TDevice>>;

TDeviceList::iterator Find(TDeviceList& list, const TDevice* device)
{
    return std::find_if(list.begin(), list.end(), [device](const auto& d) { return d.get() == device; });
}

bool Contains(const TDeviceList& list, const TDevice* device)
{
    return std::any_of(list.begin(), list.end(), [device](const auto& d) { return d.get() == device; });
}

// Moves the device from one list to the end of the other; false when it was
// not in from.
bool MoveBetween(TDeviceList& from, TDeviceList& to, const TDevice* device)
{
    auto it = Find(from, device);
    if (it == from.end())
        return false;
    to.push_back(std::move(*it));
    from.erase(it);
    return true;
}

std::vector<TDevice*> Borrowed(const TDeviceList& list)
{
    std::vector<TDevice*> out;
    out.reserve(list.size());
    for (const auto& device : list)
        out.push_back(device.get());
    return out;
}

// Busy cursor for the span of a scope, also when it is left by an exception.
struct TBusyScope {
    TBusyScope() { BeginBusyCursor(); }
    ~TBusyScope() { EndBusyCursor(); }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;
};

} // namespace

// ---- Life ------------------------------------------------------------------------------

TDeviceManager::TDeviceManager()
{
    SetComPortResolver([](int number) { return ResolveComPort(number); });
    SetShooterLeavingHook([this](TShooter* shooter) { UnlinkShooter(shooter); });
    EnsureTicker();
}

TDeviceManager::~TDeviceManager()
{
    ticker_.reset();
    SetShooterLeavingHook({});
    candidatePorts_.clear();
    bluetoothPorts_.clear();
    for (TDeviceList* list : {&connected_, &reconnect_, &dropped_}) {
        while (!list->empty()) {
            std::unique_ptr<TDevice> device = std::move(list->back());
            list->pop_back();
            device->SetShooter(nullptr);
        }
    }
    if (DeviceManagerInstance == this)
        DeviceManagerInstance = nullptr;
}

TDeviceManager* TDeviceManager::Instance()
{
    if (!DeviceManagerInstance)
        DeviceManagerInstance = new TDeviceManager();
    return DeviceManagerInstance;
}

void TDeviceManager::EnsureTicker()
{
    // The identify timer of a device fires only when the GUI thread drives it.
    QCoreApplication* app = QCoreApplication::instance();
    if (ticker_ || !app || QThread::currentThread() != app->thread())
        return;
    ticker_ = std::make_unique<QTimer>();
    ticker_->setInterval(std::max(1, timings.identifyTickMs));
    QObject::connect(ticker_.get(), &QTimer::timeout, [this] { TickIdentifyTimers(); });
    ticker_->start();
}

// ---- Ports -----------------------------------------------------------------------------

int TDeviceManager::BluetoothLimit()
{
    int limit = 0;
    if (!TryStrToIntStrict(GetOptionString(QString::fromLatin1(XmlNames::BluetoothPorts)), limit))
        return 0;
    return limit;
}

void TDeviceManager::EnumeratePorts()
{
    candidatePorts_.clear();
    bluetoothPorts_.clear();

    std::vector<TPortEntry> ports;
    try {
        TPortRegistry& registry = TPortRegistry::Instance();
        registry.Refresh();
        ports = registry.Ports();
    } catch (const std::exception& e) {
        // Without a port list nothing is scanned, forced ports included.
        DebugLog(QStringLiteral("Port list failed: ") + ErrorText(e));
        return;
    }

    const int bluetoothLimit = BluetoothLimit();
    for (const TPortEntry& port : ports) {
        const QString text =
            QStringLiteral("Device: %1\n").arg(QString::fromStdString(port.Description)).toLower();
        const bool taken = text.contains(QLatin1String("tavrik"))
            || text.contains(QLatin1String("usb serial port"))
            || (bluetoothLimit > 0 && text.contains(QLatin1String("bluetooth")))
            || text.contains(QLatin1String("bt"));
        if (!taken)
            continue;
        const bool bluetooth = text.contains(QLatin1String("bluetooth"));

        // The number follows the last "COM": a maker string in front of it
        // may hold those letters too.
        const QString friendly = QString::fromStdString(port.FriendlyName);
        const qsizetype at = friendly.lastIndexOf(QLatin1String("COM"));
        int number = 0;
        if (at < 0 || !ReadPortNumber(friendly, at + 3, number))
            continue;
        candidatePorts_ << QString::number(number);
        if (bluetooth)
            bluetoothPorts_ << QString::number(number);
        DebugLog(QStringLiteral("!! COM%1 ").arg(number) + (bluetooth ? QStringLiteral("BT") : QString()));
    }

    if (MiniXMLParser::TXMLNode* root = SettingsRoot()) {
        for (int n = 0;; ++n) {
            MiniXMLParser::TXMLNode* node = root->FindNthNode(QString::fromLatin1(PortsElement), n);
            if (!node)
                break;
            double value = 0;
            try {
                value = node->GetAttributeFloatDef(QString::fromLatin1(ForceAttribute), 0);
            } catch (const std::exception&) {
                DebugLog(QStringLiteral("Ports Force \"%1\" is not a number")
                             .arg(node->GetAttributeValueDef(QString::fromLatin1(ForceAttribute), QString())));
                continue;
            }
            const QString number = QString::number(SaturatingCast<int>(value));
            if (!candidatePorts_.contains(number))
                candidatePorts_ << number;
        }
    }
}

bool TDeviceManager::IsBluetoothPort(int number) const
{
    return bluetoothPorts_.contains(QString::number(number));
}

// ---- Scan ------------------------------------------------------------------------------

void TDeviceManager::ScanPorts(bool addNew, bool identify, bool autoDownload)
{
    if (scanning_) {
        // The waits below pump events, so a device-change can land here while
        // the lists are being walked; run it once the current scan is done.
        // Requests merged: nothing asked for is left out.
        pending_.addNew = pending_.addNew || addNew;
        pending_.identify = pending_.identify || identify;
        pending_.autoDownload = pending_.autoDownload || autoDownload;
        scanPending_ = true;
        DebugLog(QStringLiteral("Scan requested while scanning; it runs next"));
        return;
    }

    struct TScanningScope {
        bool& flag;
        explicit TScanningScope(bool& f) : flag(f) { flag = true; }
        ~TScanningScope() { flag = false; }
        TScanningScope(const TScanningScope&) = delete;
        TScanningScope& operator=(const TScanningScope&) = delete;
    } scope(scanning_);

    EnsureTicker();
    TScanRequest request {addNew, identify, autoDownload};
    for (;;) {
        RunScan(request.addNew, request.identify, request.autoDownload);
        if (!scanPending_)
            break;
        request = pending_;
        pending_ = TScanRequest {};
        scanPending_ = false;
    }
}

void TDeviceManager::RunScan(bool addNew, bool identify, bool autoDownload)
{
    scanFinished_ = false;
    DebugLog(QStringLiteral("Scan starting"));
    {
        TBusyScope busy;
        EnumeratePorts();
        // The candidate list may be refilled by a screen while events are
        // pumped; walk a copy.
        const QStringList candidates = candidatePorts_;

        for (std::size_t i = connected_.size(); i-- > 0;) {
            TDevice* device = connected_[i].get();
            if (!candidates.contains(QString::number(device->ComNumber())))
                MoveBetween(connected_, reconnect_, device);
        }

        const int count = int(candidates.size());
        for (int i = 0; i < count; ++i) {
            int number = 0;
            if (TryStrToIntStrict(candidates[i], number) && !FindConnectedDevice(number)) {
                if (!addNew) {
                    if (TDevice* device = FindReconnectDevice(number))
                        ReconnectDevice(device, number);
                } else {
                    AddNewDevice(number, i, count, identify, autoDownload);
                }
            }
            NotifyDeviceCount();
            Pump(0);
        }
    }

    // Every device opened or found; bounded, so a device that never gets
    // there cannot hold the GUI thread.
    const int64_t giveUp = DeviceTickMs() + std::max(0, timings.openWaitLimitMs);
    for (;;) {
        const bool settled = std::all_of(connected_.begin(), connected_.end(), [](const auto& d) {
            return d->Async().portOpened.load() || d->Found();
        });
        if (settled)
            break;
        if (DeviceTickMs() >= giveUp) {
            DebugLog(QStringLiteral("Scan: not every device opened"));
            break;
        }
        Pump(std::max(1, timings.openWaitStepMs));
    }

    for (int step = 0; step < timings.settleSteps; ++step)
        Pump(timings.settleStepMs);

    ScanAwaitingCompletion = true;
    scanFinished_ = true;
}

void TDeviceManager::AddNewDevice(int number, int index, int count, bool identify, bool autoDownload)
{
    const int64_t started = DeviceTickMs();
    connected_.push_back(std::make_unique<TDevice>());
    TDevice* device = connected_.back().get();
    device->SetBluetooth(IsBluetoothPort(number));

    const QString progress = QStringLiteral("COM%1. %2/%3").arg(number).arg(index + 1).arg(count);
    DebugLog(progress);
    if (onScanProgress)
        onScanProgress(progress);

    try {
        if (!device->OpenPort(number, false))
            throw Exception("Port did not open");
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Error COM%1: ").arg(number) + ErrorText(e));
        MoveBetween(connected_, reconnect_, device);
        return;
    }
    DebugLog(QStringLiteral("COM%1 Opened %2ms").arg(number).arg(DeviceTickMs() - started));

    Pump(timings.afterOpenMs);
    // Events were pumped: the device may have been dropped meanwhile.
    if (FindConnectedDevice(number) != device)
        return;
    if (identify) {
        device->StartAsyncIdentify(autoDownload);
        DebugLog(QStringLiteral("COM%1 Done %2ms").arg(number).arg(DeviceTickMs() - started));
    }
    if (device->Bluetooth())
        Pump(timings.bluetoothExtraMs);
}

void TDeviceManager::ReconnectDevice(TDevice* device, int number)
{
    IShooterViewLink* viewer = FindFreeShooterViewForPort(number);
    if (!viewer)
        return;
    bool attached = false;
    try {
        if (device->Data().ComNumber() == number) {
            device->Data().ReopenPort();
        } else {
            // Closed while parked (suspend): the data handler forgot the number.
            device->OpenPort(number, false);
            device->Data().SetBaudAndLines(115200, false, false);
        }
        device->SetComNumber(number);
        MoveBetween(reconnect_, connected_, device);
        device->SetShooter(viewer->ViewShooter());
        device->SetMeasuring(false);
        device->SetBluetooth(IsBluetoothPort(number));
        viewer->AttachDevice(device);
        attached = true;

        Pump(timings.reconnectPauseMs);
        if (FindConnectedDevice(number) != device)
            return;
        device->Data().SetBaudAndLines(115200, true, true);
        Pump(timings.reconnectPauseMs);
        if (FindConnectedDevice(number) != device)
            return;
        device->SetMeasuring(false);
        viewer->StartAfterReconnect();
        DebugLog(QStringLiteral("COM%1 Reconnected").arg(number));
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Error COM%1: ").arg(number) + ErrorText(e));
        // Back to waiting for the port; the next reconnect scan tries again.
        MoveBetween(connected_, reconnect_, device);
        if (attached) {
            try {
                viewer->AttachDevice(nullptr);
            } catch (const std::exception& e2) {
                DebugLog(QStringLiteral("Error COM%1: ").arg(number) + ErrorText(e2));
            }
        }
    }
}

void TDeviceManager::Pump(int ms)
{
    const int64_t end = DeviceTickMs() + std::max(0, ms);
    for (;;) {
        QCoreApplication* app = QCoreApplication::instance();
        if (app && QThread::currentThread() == app->thread())
            QCoreApplication::processEvents();
        TickIdentifyTimers();
        const int64_t left = end - DeviceTickMs();
        if (left <= 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(left, 10)));
    }
}

void TDeviceManager::NotifyDeviceCount()
{
    if (onDeviceCountChanged)
        onDeviceCountChanged();
}

void TDeviceManager::TickIdentifyTimers()
{
    const int64_t now = DeviceTickMs();
    // Ticking never pumps events, so the list cannot change underneath.
    for (const auto& device : connected_)
        device->IdentifyTimerTick(now);
    ReleaseDropped();
}

void TDeviceManager::ReleaseDropped()
{
    // Only from the outermost level: a drop deferred by a pumped transfer is
    // released once that transfer has returned.
    dropped_.erase(std::remove_if(dropped_.begin(), dropped_.end(),
                                  [](const auto& d) { return !d->InPumpedTransfer(); }),
                   dropped_.end());
}

// ---- Completion ------------------------------------------------------------------------

int TDeviceManager::CheckScanComplete()
{
    TickIdentifyTimers();
    int still = 0;
    for (std::size_t i = connected_.size(); i-- > 0;) {
        TDevice* device = connected_[i].get();
        const bool running = device->Async().identifyRunning.load();
        const bool finished = device->Async().identifyFinished.load();
        if (running && !finished)
            ++still;
        const bool failed = !running && finished && !device->Identified();
        const bool stalled = running && device->IsUploadStalled();
        if (scanFinished_ && (failed || stalled) && !device->Found()) {
            DebugLog(QStringLiteral("Delete COM%1").arg(device->ComNumber())
                     + (failed ? QStringLiteral(" DNF") : QStringLiteral(" TO")));
            DropDevice(device);
        }
    }

    // A scan that is still walking the lists (this was called from one of its
    // waits) reports its own completion later.
    if (still == 0 && ScanAwaitingCompletion && !scanning_) {
        ScanAwaitingCompletion = false;
        ResolveBluetoothConflicts();
        DebugLog(QStringLiteral("Scan completed"));
        if (connected_.empty())
            DebugLog(QStringLiteral("Found none"));
        for (const auto& device : connected_)
            DebugLog(QStringLiteral("Found COM%1 %2").arg(device->ComNumber()).arg(device->Name()));

        const int limit = BluetoothLimit();
        int bluetooth = int(std::count_if(connected_.begin(), connected_.end(),
                                          [](const auto& d) { return d->Bluetooth(); }));
        for (std::size_t i = connected_.size(); i-- > 0 && bluetooth > limit;) {
            if (connected_[i]->Bluetooth()) {
                DropDevice(connected_[i].get());
                --bluetooth;
            }
        }
    }
    ReleaseDropped();
    return still;
}

void TDeviceManager::ResolveBluetoothConflicts()
{
    // A unit seen both over USB and over Bluetooth keeps its USB link. Every
    // other connected device counts, the ones before it in the list too.
    bool again = true;
    while (again) {
        again = false;
        for (TDevice* device : Borrowed(connected_)) {
            if (!device->Bluetooth())
                continue;
            const QString name = device->Name();
            if (name.isEmpty())
                continue;
            const bool twin = std::any_of(connected_.begin(), connected_.end(), [&](const auto& other) {
                return other.get() != device && other->Name() == name;
            });
            if (twin) {
                DebugLog(QStringLiteral("Bluetooth conflict ") + name);
                DropDevice(device);
                again = true;
                break;
            }
        }
    }
}

// ---- Queries ---------------------------------------------------------------------------

int TDeviceManager::FoundDeviceCount() const
{
    return int(std::count_if(connected_.begin(), connected_.end(), [](const auto& d) { return d->Found(); }));
}

int TDeviceManager::IdentifyingDeviceCount() const
{
    return int(std::count_if(connected_.begin(), connected_.end(), [](const auto& d) { return d->Identifying(); }));
}

void TDeviceManager::ResetAsyncStates()
{
    for (const auto& device : connected_)
        device->ResetAsyncState();
}

TDevice* TDeviceManager::FindConnectedDevice(int number) const
{
    for (const auto& device : connected_)
        if (device->ComNumber() == number)
            return device.get();
    return nullptr;
}

TDevice* TDeviceManager::FindReconnectDevice(int number) const
{
    for (const auto& device : reconnect_)
        if (device->ComNumber() == number)
            return device.get();
    return nullptr;
}

std::vector<TDevice*> TDeviceManager::Connected() const
{
    return Borrowed(connected_);
}

std::vector<TDevice*> TDeviceManager::Reconnecting() const
{
    return Borrowed(reconnect_);
}

void TDeviceManager::UnlinkShooter(const TShooter* shooter)
{
    for (const TDeviceList* list : {&connected_, &reconnect_, &dropped_})
        for (const auto& device : *list)
            device->UnlinkShooter(shooter);
}

IShooterViewLink* TDeviceManager::FindFreeShooterViewForPort(int number) const
{
    return findFreeShooterView ? findFreeShooterView(number) : nullptr;
}

// ---- List changes ----------------------------------------------------------------------

std::unique_ptr<TDevice> TDeviceManager::Detach(TDevice* device)
{
    for (TDeviceList* list : {&connected_, &reconnect_}) {
        auto it = Find(*list, device);
        if (it != list->end()) {
            std::unique_ptr<TDevice> owned = std::move(*it);
            list->erase(it);
            return owned;
        }
    }
    return nullptr;
}

void TDeviceManager::DropDevice(TDevice* device)
{
    std::unique_ptr<TDevice> owned = device ? Detach(device) : nullptr;
    if (!owned)
        return;
    // Port first: once it is closed no shot can reach the shooter below.
    owned->ClosePort();
    TShooter* shooter = owned->Shooter();
    owned->SetShooter(nullptr);
    if (shooter && CurrentSession)
        CurrentSession->TakeShooter(shooter); // deleted here; kept when the session does not own it
    // A transfer of this device is waiting in a pumped event loop below us:
    // it still uses the object when it returns.
    if (owned->InPumpedTransfer())
        dropped_.push_back(std::move(owned));
}

void TDeviceManager::MoveToReconnect(TDevice* device)
{
    if (!device || !Contains(connected_, device))
        return;
    const int number = device->ComNumber();
    device->ClosePort();
    device->SetComNumber(number);
    MoveBetween(connected_, reconnect_, device);
}

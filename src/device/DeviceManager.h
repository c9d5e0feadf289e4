// The single owner of every TDevice: lists the serial ports units may sit
// behind, opens a device on each new port and starts its identification,
// parks devices whose port vanished and re-attaches them to their viewer when
// the port comes back, and, driven by the GUI's timers, prunes units that did
// not identify, settles USB/Bluetooth name conflicts and keeps at most the
// configured number of Bluetooth units.
//
// Everything here runs on the GUI thread. The waits pump the event loop (when
// an application object exists), so a device-change can arrive in the middle
// of a scan: such a request is remembered and runs once after the scan, and
// the completion report waits until no scan is walking the lists.
//
// Ownership. The manager owns every device (std::unique_ptr); the raw
// pointers it hands out are borrowed and valid until the device is dropped.
// Connected() and Reconnecting() return copies of the lists, so a screen may
// walk them across a wait that pumps events. A device dropped while one of
// its transfers lets events through (TDevice::InPumpedTransfer) leaves the
// lists at once but is deleted only after that transfer has returned, on the
// manager's next tick.
//
// While it lives the manager installs the session's shooter-leaving hook:
// before any session deletes or hands out a shooter, every device linked to
// it is unlinked, so no event thread stores a shot into a freed shooter.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QTimer;
class TDevice;
class TShooter;

// The pauses of a scan and of a reconnect. Tests shorten them.
struct TDeviceManagerTimings {
    int afterOpenMs = 500;          // after opening a new port
    int bluetoothExtraMs = 1000;    // further pause after a Bluetooth port
    int reconnectPauseMs = 1000;    // each of the two pauses of a reconnect
    int openWaitStepMs = 200;       // looks for "every device opened or found"
    int openWaitLimitMs = 10000;    // ... given up after this long
    int settleSteps = 40;           // the closing wait: steps ...
    int settleStepMs = 100;         // ... of this length
    int identifyTickMs = 50;        // how often the identify timers are driven
};

// What the manager needs of a shooter viewer to hand a returning unit back to
// it. The screens implement it; the viewer must stay alive during a scan.
class IShooterViewLink {
public:
    virtual ~IShooterViewLink() = default;
    virtual TShooter* ViewShooter() const = 0;
    // Binds the viewer to the device (null: unbinds it again).
    virtual void AttachDevice(TDevice* device) = 0;
    // The viewer's start button: resumes measuring.
    virtual void StartAfterReconnect() = 0;
};

class TDeviceManager {
public:
    TDeviceManager();
    // Deletes every device, last first, after clearing its shooter link (the
    // shooters belong to the session), and removes the shooter-leaving hook.
    ~TDeviceManager();
    TDeviceManager(const TDeviceManager&) = delete;
    TDeviceManager& operator=(const TDeviceManager&) = delete;

    // Creates DeviceManagerInstance on first use.
    static TDeviceManager* Instance();

    // Refills the candidate and Bluetooth port lists from the port registry
    // and the settings' "Ports" Force numbers.
    void EnumeratePorts();
    // Moves vanished devices to the reconnect list, re-attaches returning
    // ones (addNew false) or opens and identifies new ones (addNew true),
    // then waits for the units to settle. Called during a scan, it only
    // records the request, which then runs once after the current scan.
    void ScanPorts(bool addNew, bool identify, bool autoDownload);
    // The number of devices still identifying; once the scan has finished,
    // drops the units that failed or stalled, and reports the completion of
    // the last scan once nothing identifies any more.
    int CheckScanComplete();
    int FoundDeviceCount() const;
    // Devices identifying right now (running and not finished).
    int IdentifyingDeviceCount() const;
    void ResetAsyncStates();
    void ResolveBluetoothConflicts();
    TDevice* FindConnectedDevice(int number) const;
    TDevice* FindReconnectDevice(int number) const;
    // The viewer without device that remembers that COM number, or null
    // (asks the findFreeShooterView hook).
    IShooterViewLink* FindFreeShooterViewForPort(int number) const;

    // Drives the identify timers of the connected devices (also done by the
    // manager's own timer and inside every wait).
    void TickIdentifyTimers();

    // Takes the device out of either list, removes its shooter from the
    // session and deletes it, closes the port and deletes the device (later,
    // when one of its transfers is letting events through).
    void DropDevice(TDevice* device);
    // Closes the device's port and parks it on the reconnect list, keeping
    // its COM number (suspend).
    void MoveToReconnect(TDevice* device);

    // Copies of the lists in order; the devices are borrowed.
    std::vector<TDevice*> Connected() const;
    std::vector<TDevice*> Reconnecting() const;
    // Clears every device's link to shooter (the session's leaving hook).
    void UnlinkShooter(const TShooter* shooter);
    const QStringList& CandidatePorts() const { return candidatePorts_; }
    const QStringList& BluetoothPortList() const { return bluetoothPorts_; }
    bool ScanFinished() const { return scanFinished_; }
    bool Scanning() const { return scanning_; }

    TDeviceManagerTimings timings;
    // Set by the start menu's reconnect-all action.
    bool reconnectAll = false;

    // Hooks the screens register.
    // "COM%d. %d/%d" while a scan opens ports (start menu and splash labels).
    std::function<void(const QString& text)> onScanProgress;
    // After each candidate of a scan: refresh the device counts.
    std::function<void()> onDeviceCountChanged;
    std::function<IShooterViewLink*(int number)> findFreeShooterView;

private:
    struct TScanRequest {
        bool addNew = false;
        bool identify = false;
        bool autoDownload = false;
    };

    void RunScan(bool addNew, bool identify, bool autoDownload);
    void ReconnectDevice(TDevice* device, int number);
    void AddNewDevice(int number, int index, int count, bool identify, bool autoDownload);
    // Waits ms, pumping events and driving the identify timers.
    void Pump(int ms);
    void NotifyDeviceCount();
    bool IsBluetoothPort(int number) const;
    static int BluetoothLimit();
    // Removes the device from whichever list holds it and hands it over;
    // null when in none.
    std::unique_ptr<TDevice> Detach(TDevice* device);
    void EnsureTicker();
    // Deletes the dropped devices whose pumped transfer has returned.
    void ReleaseDropped();

    bool scanFinished_ = false;
    QStringList candidatePorts_;
    QStringList bluetoothPorts_;
    std::vector<std::unique_ptr<TDevice>> connected_;
    std::vector<std::unique_ptr<TDevice>> reconnect_;
    std::vector<std::unique_ptr<TDevice>> dropped_; // waiting for a pumped transfer to return

    bool scanning_ = false;
    bool scanPending_ = false;
    TScanRequest pending_;
    std::unique_ptr<QTimer> ticker_;
};

extern TDeviceManager* DeviceManagerInstance;
// Set at the end of every scan, cleared once its completion was reported.
extern bool ScanAwaitingCompletion;

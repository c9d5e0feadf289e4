// The program names serial ports "COMn". The registry maps those numbers to
// device paths and gives each port the description and friendly name that
// the device manager's port rules read.
//
// Two sources:
// - real ports from sysfs (ttyUSB*, ttyACM*, rfcomm*), numbered
//   automatically; a number stays with its unit for the life of the process,
//   keyed by the /dev/serial/by-id name or the USB path, so a unit that is
//   unplugged and plugged back keeps its number even when the kernel gives
//   it another tty index;
// - the "Ports" folder of the data folder: symlinks named COM<n> pin a
//   device path to number n; an optional COM<n>.desc text gives the
//   description. Pinned numbers win over automatic ones.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct TPortEntry {
    int Number = 0;             // n of "COMn"
    std::string DevicePath;     // what to open
    std::string Description;    // e.g. "USB Serial Port (FTDI FT232R USB UART)"
    std::string FriendlyName;   // Description + " (COMn)"
    bool Present = false;
    bool Pinned = false;        // from the Ports folder

    std::string PortName() const { return "COM" + std::to_string(Number); }
};

class TPortRegistry {
public:
    // Descriptions the device manager's rules recognise.
    static constexpr const char* UsbSerialPortText = "USB Serial Port";
    static constexpr const char* UsbSerialDeviceText = "USB Serial Device";
    static constexpr const char* UsbSerialConverterText = "USB Serial Converter";
    static constexpr const char* BluetoothText = "Standard Serial over Bluetooth link";

    static constexpr int FirstAutoNumber = 3;  // COM1/COM2 are left to legacy ports
    static constexpr int HighestNumber = 255;

    TPortRegistry();
    TPortRegistry(const TPortRegistry&) = delete;
    TPortRegistry& operator=(const TPortRegistry&) = delete;

    // The process-wide registry.
    static TPortRegistry& Instance();

    // Where the sources are read; the defaults are "/sys", "/dev/serial/by-id"
    // and "/dev". An empty ports folder (the default) means DataFolder() +
    // "Ports", or none while the data folder is unknown.
    void SetSysfsRoot(const std::string& path);
    void SetByIdFolder(const std::string& path);
    void SetDevFolder(const std::string& path);
    void SetPortsFolder(const std::string& path);
    std::string PortsFolder() const;
    void SetFirstAutoNumber(int number);

    // Forgets every number handed out (the next Refresh numbers afresh).
    void Reset();

    // Rescans both sources.
    void Refresh();

    // The present ports, sorted by number.
    std::vector<TPortEntry> Ports() const;

    // The entry with that number, present or not (a real port that went
    // away is kept as absent); nullopt for a number never seen.
    std::optional<TPortEntry> Find(int number) const;

    // The device path of a present port, or "". Looks again (refreshing)
    // when the number is not present or its path has gone, so a port that
    // was just plugged in or replaced is found without waiting for hot-plug.
    std::string ResolveComPort(int number);
    // A Ports-folder entry still linked to its device path (other entries: true).
    bool StillLinked(const TPortEntry& entry) const;

private:
    struct TRealPort {
        std::string Name;         // "ttyUSB0"
        std::string Key;          // stable identity
        std::string DevicePath;   // devFolder + "/" + Name
        std::string Description;
    };
    struct TPinnedPort {
        int Number = 0;
        std::string Target;       // absolute link target
        std::string Description;  // from COM<n>.desc, or empty
        bool Present = false;
    };
    struct TConfig {
        std::string SysfsRoot;
        std::string ByIdFolder;
        std::string DevFolder;
        std::string PortsFolder;
    };

    TConfig Config() const;
    static std::vector<TRealPort> ScanReal(const TConfig& config);
    static std::vector<TPinnedPort> ScanPinned(const std::string& portsFolder);
    void Merge(const std::vector<TRealPort>& real, const std::vector<TPinnedPort>& pinned);
    int AllocateLocked(const std::string& key, const std::set<int>& pinned);

    mutable std::mutex lock_;
    std::string sysfsRoot_ = "/sys";
    std::string byIdFolder_ = "/dev/serial/by-id";
    std::string devFolder_ = "/dev";
    std::string portsFolder_;
    int firstAuto_ = FirstAutoNumber;
    std::map<std::string, int> numbers_;  // key -> number, never forgotten
    std::map<int, TPortEntry> entries_;   // every number seen, by number
};

// Resolves "COMn" through the process-wide registry: the device path, or ""
// when no such port is present. The serial-port component is wired to it.
std::string ResolveComPort(int number);

#include "PortRegistry.h"

#include "AppPaths.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Attribute files and .desc texts are short; more than this is not a name.
constexpr std::size_t MaxTextBytes = 256;

// sysfs: the usb-serial port and the USB interface sit right below the tty,
// the USB device one or two levels further up.
constexpr int MaxParentLevels = 6;

// One line of printable text. "COM" is defused: the device manager takes the
// port number from the first "COM" of the friendly name, so a maker string
// such as "COMTEC" must not come before the real one.
std::string CleanText(const std::string& raw)
{
    std::string text;
    bool space = false;
    for (char c : raw) {
        if (c == '\n' || c == '\r')
            break;
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            space = true;
            continue;
        }
        if (c == ' ') {
            space = true;
            continue;
        }
        if (space && !text.empty())
            text.push_back(' ');
        space = false;
        text.push_back(c);
    }
    for (std::size_t i = text.find("COM"); i != std::string::npos; i = text.find("COM", i + 1))
        text.replace(i, 3, "Com");
    return text;
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::string raw(MaxTextBytes, '\0');
    in.read(raw.data(), static_cast<std::streamsize>(raw.size()));
    raw.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return CleanText(raw);
}

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

bool AllDigits(const std::string& s, std::size_t from)
{
    if (from >= s.size())
        return false;
    return std::all_of(s.begin() + static_cast<std::ptrdiff_t>(from), s.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

enum class ETtyKind { None, UsbSerial, Acm, Rfcomm };

ETtyKind KindOf(const std::string& name)
{
    if (StartsWith(name, "ttyUSB") && AllDigits(name, 6))
        return ETtyKind::UsbSerial;
    if (StartsWith(name, "ttyACM") && AllDigits(name, 6))
        return ETtyKind::Acm;
    if (StartsWith(name, "rfcomm") && AllDigits(name, 6))
        return ETtyKind::Rfcomm;
    return ETtyKind::None;
}

// "COM<n>" with n in 1..255 written without leading zeros; 0 otherwise.
int PinNumber(const std::string& name)
{
    if (!StartsWith(name, "COM") || name.size() > 6 || !AllDigits(name, 3) || name[3] == '0')
        return 0;
    const int n = std::stoi(name.substr(3));
    return n <= TPortRegistry::HighestNumber ? n : 0;
}

// ttyUSB2 before ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b)
{
    const auto split = [](const std::string& s) {
        std::size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9')
            --i;
        return std::pair<std::string, std::string>(s.substr(0, i), s.substr(i));
    };
    const auto [pa, na] = split(a);
    const auto [pb, nb] = split(b);
    if (pa != pb)
        return pa < pb;
    if (na.size() != nb.size())
        return na.size() < nb.size();
    return na < nb;
}

std::string Canonical(const std::string& path)
{
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(path, ec);
    return ec ? fs::path(path).lexically_normal().string() : p.string();
}

bool Exists(const fs::path& path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}

bool IsSymlink(const fs::path& path)
{
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(path, ec));
}

// What sysfs tells about the hardware behind one tty.
struct TUsbInfo {
    std::string Driver;        // "ftdi_sio", "cp210x", "cdc_acm", ...
    std::string InterfaceDir;  // "1-2:1.0": stable for a USB socket
    std::string Interface;     // interface string
    std::string Manufacturer;
    std::string Product;
};

TUsbInfo ReadUsbInfo(const fs::path& ttyEntry)
{
    TUsbInfo info;
    std::error_code ec;
    fs::path p = fs::canonical(ttyEntry / "device", ec);
    if (ec)
        return info;
    for (int level = 0; level < MaxParentLevels && p.has_relative_path(); ++level, p = p.parent_path()) {
        if (info.Driver.empty() && IsSymlink(p / "driver")) {
            const fs::path target = fs::read_symlink(p / "driver", ec);
            if (!ec)
                info.Driver = target.filename().string();
        }
        if (info.InterfaceDir.empty() && Exists(p / "bInterfaceNumber")) {
            info.InterfaceDir = p.filename().string();
            info.Interface = ReadText(p / "interface");
        }
        if (Exists(p / "idVendor")) {
            info.Manufacturer = ReadText(p / "manufacturer");
            info.Product = ReadText(p / "product");
            break;
        }
    }
    return info;
}

bool IsSerialAdapterDriver(const std::string& driver)
{
    // The usb-serial drivers of the common adapter chips (ch341 registers
    // as "ch341-uart").
    return driver == "ftdi_sio" || driver == "cp210x" || StartsWith(driver, "ch341") || driver == "pl2303";
}

std::string Describe(ETtyKind kind, const TUsbInfo& info)
{
    if (kind == ETtyKind::Rfcomm)
        return TPortRegistry::BluetoothText;
    std::string text;
    if (IsSerialAdapterDriver(info.Driver))
        text = TPortRegistry::UsbSerialPortText;
    else if (info.Driver == "cdc_acm")
        text = TPortRegistry::UsbSerialDeviceText;
    else
        text = TPortRegistry::UsbSerialConverterText;
    // The maker's strings stay, so a unit that names its maker is recognised.
    std::vector<std::string> parts;
    for (const std::string* s : { &info.Manufacturer, &info.Product, &info.Interface }) {
        if (!s->empty() && std::find(parts.begin(), parts.end(), *s) == parts.end())
            parts.push_back(*s);
    }
    if (!parts.empty()) {
        text += " (";
        for (std::size_t i = 0; i < parts.size(); ++i)
            text += (i ? " " : "") + parts[i];
        text += ')';
    }
    return text;
}

// by-id link name per tty name ("ttyUSB0" -> "usb-FTDI_..._A1-if00-port0").
std::map<std::string, std::string> ReadById(const std::string& folder)
{
    std::map<std::string, std::string> byTty;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code lec;
        const fs::path target = fs::read_symlink(it->path(), lec);
        if (lec)
            continue;
        const std::string tty = target.filename().string();
        const std::string link = it->path().filename().string();
        // Two links to one tty: keep the same one every time.
        auto [pos, added] = byTty.emplace(tty, link);
        if (!added && link < pos->second)
            pos->second = link;
    }
    return byTty;
}

std::string FriendlyName(const std::string& description, int number)
{
    return description + " (COM" + std::to_string(number) + ")";
}

}  // namespace

TPortRegistry::TPortRegistry() = default;

TPortRegistry& TPortRegistry::Instance()
{
    static TPortRegistry registry;
    return registry;
}

void TPortRegistry::SetSysfsRoot(const std::string& path)
{
    std::lock_guard<std::mutex> guard(lock_);
    sysfsRoot_ = path;
}

void TPortRegistry::SetByIdFolder(const std::string& path)
{
    std::lock_guard<std::mutex> guard(lock_);
    byIdFolder_ = path;
}

void TPortRegistry::SetDevFolder(const std::string& path)
{
    std::lock_guard<std::mutex> guard(lock_);
    devFolder_ = path;
}

void TPortRegistry::SetPortsFolder(const std::string& path)
{
    std::lock_guard<std::mutex> guard(lock_);
    portsFolder_ = path;
}

std::string TPortRegistry::PortsFolder() const
{
    return Config().PortsFolder;
}

void TPortRegistry::SetFirstAutoNumber(int number)
{
    std::lock_guard<std::mutex> guard(lock_);
    firstAuto_ = std::clamp(number, 1, HighestNumber);
}

void TPortRegistry::Reset()
{
    std::lock_guard<std::mutex> guard(lock_);
    numbers_.clear();
    entries_.clear();
}

TPortRegistry::TConfig TPortRegistry::Config() const
{
    TConfig config;
    {
        std::lock_guard<std::mutex> guard(lock_);
        config.SysfsRoot = sysfsRoot_;
        config.ByIdFolder = byIdFolder_;
        config.DevFolder = devFolder_;
        config.PortsFolder = portsFolder_;
    }
    if (config.PortsFolder.empty()) {
        const QString data = DataFolder();
        if (!data.isEmpty())
            config.PortsFolder = (data + QStringLiteral("Ports")).toStdString();
    }
    return config;
}

std::vector<TPortRegistry::TRealPort> TPortRegistry::ScanReal(const TConfig& config)
{
    std::vector<TRealPort> ports;
    const fs::path classDir = fs::path(config.SysfsRoot) / "class" / "tty";
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (KindOf(name) != ETtyKind::None)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), NaturalLess);

    const std::map<std::string, std::string> byId = ReadById(config.ByIdFolder);
    std::set<std::string> keys;
    for (const std::string& name : names) {
        const ETtyKind kind = KindOf(name);
        const fs::path entry = classDir / name;
        // A USB tty without its device link is being torn down.
        if (kind != ETtyKind::Rfcomm && !Exists(entry / "device") && !IsSymlink(entry / "device"))
            continue;
        const TUsbInfo info = kind == ETtyKind::Rfcomm ? TUsbInfo() : ReadUsbInfo(entry);

        TRealPort port;
        port.Name = name;
        port.DevicePath = (fs::path(config.DevFolder) / name).string();
        port.Description = Describe(kind, info);
        if (auto id = byId.find(name); id != byId.end())
            port.Key = "id:" + id->second;
        else if (!info.InterfaceDir.empty())
            port.Key = "usb:" + info.InterfaceDir;
        else
            port.Key = (kind == ETtyKind::Rfcomm ? "bt:" : "tty:") + name;
        // Several ttys on one interface without by-id names.
        if (!keys.insert(port.Key).second) {
            port.Key += ":" + name;
            keys.insert(port.Key);
        }
        ports.push_back(std::move(port));
    }
    return ports;
}

std::vector<TPortRegistry::TPinnedPort> TPortRegistry::ScanPinned(const std::string& portsFolder)
{
    std::vector<TPinnedPort> pins;
    if (portsFolder.empty())
        return pins;
    const fs::path folder(portsFolder);
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const int number = PinNumber(name);
        if (number == 0 || !IsSymlink(it->path()))
            continue;
        std::error_code lec;
        fs::path target = fs::read_symlink(it->path(), lec);
        if (lec)
            continue;
        if (target.is_relative())
            target = folder / target;
        TPinnedPort pin;
        pin.Number = number;
        pin.Target = target.lexically_normal().string();
        pin.Present = Exists(it->path());  // a dangling link is an absent port
        pin.Description = ReadText(folder / (name + ".desc"));
        pins.push_back(std::move(pin));
    }
    std::sort(pins.begin(), pins.end(), [](const TPinnedPort& a, const TPinnedPort& b) { return a.Number < b.Number; });
    return pins;
}

int TPortRegistry::AllocateLocked(const std::string& key, const std::set<int>& pinned)
{
    if (auto it = numbers_.find(key); it != numbers_.end() && !pinned.count(it->second))
        return it->second;
    std::set<int> taken;
    for (const auto& [otherKey, number] : numbers_) {
        if (otherKey != key)
            taken.insert(number);
    }
    for (int n = firstAuto_; n <= HighestNumber; ++n) {
        if (!pinned.count(n) && !taken.count(n)) {
            numbers_[key] = n;
            return n;
        }
    }
    return 0;
}

void TPortRegistry::Merge(const std::vector<TRealPort>& real, const std::vector<TPinnedPort>& pinned)
{
    std::lock_guard<std::mutex> guard(lock_);
    std::map<int, TPortEntry> next;
    // Ports seen before stay findable, as absent.
    for (const auto& [number, entry] : entries_) {
        TPortEntry absent = entry;
        absent.Present = false;
        next[number] = absent;
    }

    std::set<int> pinnedNumbers;
    std::map<std::string, std::string> pinTargets;  // canonical target -> real description
    for (const TPinnedPort& pin : pinned) {
        pinnedNumbers.insert(pin.Number);
        if (pin.Present)
            pinTargets.emplace(Canonical(pin.Target), std::string());
    }

    for (const TRealPort& port : real) {
        // A unit pinned by the user appears under its pinned number only.
        if (auto pin = pinTargets.find(Canonical(port.DevicePath)); pin != pinTargets.end()) {
            pin->second = port.Description;
            continue;
        }
        const int number = AllocateLocked(port.Key, pinnedNumbers);
        if (number == 0)
            continue;  // every number is in use
        TPortEntry& e = next[number];
        e.Number = number;
        e.DevicePath = port.DevicePath;
        e.Description = port.Description;
        e.FriendlyName = FriendlyName(e.Description, number);
        e.Present = true;
        e.Pinned = false;
    }

    for (const TPinnedPort& pin : pinned) {
        TPortEntry& e = next[pin.Number];
        e.Number = pin.Number;
        e.DevicePath = pin.Target;
        e.Description = pin.Description;
        if (e.Description.empty() && pin.Present) {
            auto real = pinTargets.find(Canonical(pin.Target));
            if (real != pinTargets.end())
                e.Description = real->second;
        }
        if (e.Description.empty())
            e.Description = UsbSerialPortText;
        e.FriendlyName = FriendlyName(e.Description, pin.Number);
        e.Present = pin.Present;
        e.Pinned = true;
    }
    entries_ = std::move(next);
}

void TPortRegistry::Refresh()
{
    const TConfig config = Config();
    const std::vector<TRealPort> real = ScanReal(config);
    const std::vector<TPinnedPort> pinned = ScanPinned(config.PortsFolder);
    Merge(real, pinned);
}

std::vector<TPortEntry> TPortRegistry::Ports() const
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<TPortEntry> ports;
    for (const auto& [number, entry] : entries_) {
        if (entry.Present)
            ports.push_back(entry);
    }
    return ports;
}

std::optional<TPortEntry> TPortRegistry::Find(int number) const
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = entries_.find(number);
    if (it == entries_.end())
        return std::nullopt;
    return it->second;
}

// A port of the Ports folder is where its link points now. A pseudo-terminal
// that went away leaves its number to the next one made anywhere on the
// machine, so the path remembered could open someone else's terminal.
bool TPortRegistry::StillLinked(const TPortEntry& entry) const
{
    if (!entry.Pinned)
        return true;
    const std::string folder = PortsFolder();
    if (folder.empty())
        return false;
    std::error_code ec;
    fs::path target = fs::read_symlink(fs::path(folder) / entry.PortName(), ec);
    if (ec)
        return false;
    if (target.is_relative())
        target = fs::path(folder) / target;
    return target.lexically_normal().string() == entry.DevicePath;
}

std::string TPortRegistry::ResolveComPort(int number)
{
    if (number <= 0 || number > HighestNumber)
        return {};
    if (auto entry = Find(number); entry && entry->Present && Exists(entry->DevicePath) && StillLinked(*entry))
        return entry->DevicePath;
    Refresh();
    auto entry = Find(number);
    return entry && entry->Present ? entry->DevicePath : std::string();
}

std::string ResolveComPort(int number)
{
    return TPortRegistry::Instance().ResolveComPort(number);
}

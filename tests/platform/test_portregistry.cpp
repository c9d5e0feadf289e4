#include "PortRegistry.h"

#include "AppPaths.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

void Link(const fs::path& target, const fs::path& link)
{
    fs::create_directories(link.parent_path());
    fs::remove(link);
    fs::create_symlink(target, link);
}

struct UsbTty {
    std::string tty, usbPath, driver, manufacturer, product, byId;
};

// A fake /sys, /dev and /dev/serial/by-id laid out like the kernel's.
class TFakeSystem {
public:
    TFakeSystem()
    {
        for (const fs::path& p : { Sys() / "class" / "tty", ById(), Ports() })
            fs::create_directories(p);
        registry_.SetSysfsRoot(Sys().string());
        registry_.SetDevFolder(Dev().string());
        registry_.SetByIdFolder(ById().string());
        registry_.SetPortsFolder(Ports().string());
    }

    fs::path Sys() const { return root_ / "sys"; }
    fs::path Dev() const { return root_ / "dev"; }
    fs::path ById() const { return root_ / "dev" / "serial" / "by-id"; }
    fs::path Ports() const { return root_ / "Ports"; }
    TPortRegistry& Registry() { return registry_; }

    // A USB device at usbPath ("1-2") with one interface; a usb-serial
    // driver gives ttyUSB (port device below the interface), cdc_acm ttyACM.
    void AddUsbTty(const UsbTty& d)
    {
        const fs::path usb = Sys() / "devices" / "pci0000:00" / "usb1" / d.usbPath;
        const fs::path intf = usb / (d.usbPath + ":1.0");
        const std::pair<fs::path, std::string> files[] = {
            { usb / "idVendor", "0403" }, { usb / "manufacturer", d.manufacturer },
            { usb / "product", d.product }, { intf / "bInterfaceNumber", "00" } };
        for (const auto& [path, text] : files)
            WriteFile(path, text + "\n");
        const bool acm = d.driver == "cdc_acm";
        const fs::path drivers = Sys() / "bus" / (acm ? "usb" : "usb-serial") / "drivers" / d.driver;
        fs::create_directories(drivers);
        const fs::path classDev = acm ? intf / "tty" / d.tty : intf / d.tty / "tty" / d.tty;
        Link(acm ? drivers : Sys() / "bus" / "usb" / "drivers" / "usb-serial-generic", intf / "driver");
        if (!acm)
            Link(drivers, intf / d.tty / "driver");
        Link("../../../" + (acm ? intf.filename().string() : d.tty), classDev / "device");
        Link(classDev, Sys() / "class" / "tty" / d.tty);
        WriteFile(Dev() / d.tty, "");
        if (!d.byId.empty())
            Link("../../" + d.tty, ById() / d.byId);
    }

    void AddRfcomm(const std::string& tty)
    {
        const fs::path dev = Sys() / "devices" / "virtual" / "tty" / tty;
        fs::create_directories(dev);
        Link(dev, Sys() / "class" / "tty" / tty);
        WriteFile(Dev() / tty, "");
    }

    void AddLegacy(const std::string& tty)
    {
        const fs::path dev = Sys() / "devices" / "platform" / "serial8250" / "tty" / tty;
        WriteFile(dev / "type", "4\n");
        Link("../../../serial8250", dev / "device");
        Link(dev, Sys() / "class" / "tty" / tty);
    }

    // Pulls the plug: the tty, its device node and its by-id link go.
    void RemoveTty(const std::string& tty, const std::string& usbPath, const std::string& byId = "")
    {
        fs::remove(Sys() / "class" / "tty" / tty);
        fs::remove_all(Sys() / "devices" / "pci0000:00" / "usb1" / usbPath);
        fs::remove(Dev() / tty);
        if (!byId.empty())
            fs::remove(ById() / byId);
    }

    void Pin(int number, const fs::path& target, const std::string& desc = "")
    {
        Link(target, Ports() / ("COM" + std::to_string(number)));
        if (!desc.empty())
            WriteFile(Ports() / ("COM" + std::to_string(number) + ".desc"), desc);
    }

    // A file standing in for a pseudo-terminal.
    fs::path MakeDeviceFile(const std::string& name)
    {
        const fs::path p = root_ / "pts" / name;
        WriteFile(p, "");
        return p;
    }

private:
    QTemporaryDir dir_;
    fs::path root_ { dir_.path().toStdString() };
    TPortRegistry registry_;
};

std::vector<int> Numbers(const std::vector<TPortEntry>& ports)
{
    std::vector<int> n;
    for (const TPortEntry& e : ports)
        n.push_back(e.Number);
    return n;
}

}  // namespace

TEST(PortRegistryTest, DescriptionsFromSysfs)
{
    TFakeSystem sys;
    const std::pair<UsbTty, std::string> usb[] = {
        { { "ttyUSB0", "1-2", "ftdi_sio", "FTDI", "FT232R USB UART", "usb-FTDI_FT232R_USB_UART_A1-if00-port0" },
          "USB Serial Port (FTDI FT232R USB UART)" },
        { { "ttyUSB1", "1-3", "ch341-uart", "QinHeng", "USB Serial", "" }, "USB Serial Port (QinHeng USB Serial)" },
        { { "ttyACM0", "1-4", "cdc_acm", "Tavrik", "TRAXEL unit", "" }, "USB Serial Device (Tavrik TRAXEL unit)" },
        { { "ttyUSB2", "1-5", "option", "Modems Inc", "LTE", "" }, "USB Serial Converter (Modems Inc LTE)" } };
    for (const auto& [dev, description] : usb)
        sys.AddUsbTty(dev);
    sys.AddRfcomm("rfcomm0");
    sys.AddLegacy("ttyS0");
    sys.Registry().Refresh();

    const std::vector<TPortEntry> ports = sys.Registry().Ports();
    ASSERT_EQ(ports.size(), 5u);  // the legacy port is not offered
    EXPECT_EQ(Numbers(ports), (std::vector<int>{ 3, 4, 5, 6, 7 }));

    std::map<std::string, TPortEntry> byPath;
    for (const TPortEntry& e : ports) {
        byPath[fs::path(e.DevicePath).filename().string()] = e;
        EXPECT_EQ(std::tuple(bool(e.Present), bool(e.Pinned), e.FriendlyName),
                  std::tuple(true, false, e.Description + " (COM" + std::to_string(e.Number) + ")"));
    }
    for (const auto& [dev, description] : usb)
        EXPECT_EQ(byPath[dev.tty].Description, description);
    EXPECT_EQ(byPath["rfcomm0"].Description, "Standard Serial over Bluetooth link");
    EXPECT_EQ(sys.Registry().ResolveComPort(byPath["ttyACM0"].Number), (sys.Dev() / "ttyACM0").string());
    EXPECT_EQ(sys.Registry().ResolveComPort(42), "");
    EXPECT_EQ(sys.Registry().ResolveComPort(-3), "");
}

TEST(PortRegistryTest, MakerTextCannotHideThePortNumber)
{
    TFakeSystem sys;
    sys.AddUsbTty({ "ttyUSB0", "1-2", "cp210x", "COMTEC\tLtd", "Bridge\nsecond line", "" });
    sys.Registry().Refresh();
    const auto entry = sys.Registry().Find(3);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->Description, "USB Serial Port (ComTEC Ltd Bridge)");
    // The first "COM" of the friendly name is the one followed by the number.
    EXPECT_EQ(entry->FriendlyName.substr(entry->FriendlyName.find("COM")), "COM3)");
}

TEST(PortRegistryTest, NumbersSurviveUnplugAndReplug)
{
    TFakeSystem sys;
    const std::string idA = "usb-FTDI_FT232R_USB_UART_A1-if00-port0";
    const std::string idB = "usb-FTDI_FT232R_USB_UART_B2-if00-port0";
    sys.AddUsbTty({ "ttyUSB0", "1-2", "ftdi_sio", "FTDI", "FT232R", idA });
    sys.AddUsbTty({ "ttyUSB1", "1-3", "ftdi_sio", "FTDI", "FT232R", idB });
    sys.Registry().Refresh();
    ASSERT_EQ(Numbers(sys.Registry().Ports()), (std::vector<int>{ 3, 4 }));

    // Unit A goes; its number is kept for it, absent.
    sys.RemoveTty("ttyUSB0", "1-2", idA);
    sys.Registry().Refresh();
    EXPECT_EQ(Numbers(sys.Registry().Ports()), (std::vector<int>{ 4 }));
    ASSERT_TRUE(sys.Registry().Find(3).has_value());
    EXPECT_FALSE(sys.Registry().Find(3)->Present);
    EXPECT_EQ(sys.Registry().ResolveComPort(3), "");

    // A new unit C does not take A's number.
    sys.AddUsbTty({ "ttyUSB0", "1-4", "ftdi_sio", "FTDI", "FT232R", "usb-FTDI_C3-if00-port0" });
    // A comes back in another socket as ttyUSB2: same number by its by-id name.
    sys.AddUsbTty({ "ttyUSB2", "1-5", "ftdi_sio", "FTDI", "FT232R", idA });
    sys.Registry().Refresh();
    EXPECT_EQ(std::tuple(Numbers(sys.Registry().Ports()), sys.Registry().ResolveComPort(3), sys.Registry().ResolveComPort(5)),
              std::tuple((std::vector<int>{ 3, 4, 5 }), (sys.Dev() / "ttyUSB2").string(), (sys.Dev() / "ttyUSB0").string()));

    // Without by-id names the USB socket keys the number.
    TFakeSystem plain;
    plain.AddUsbTty({ "ttyACM0", "2-1", "cdc_acm", "Tavrik", "Unit", "" });
    plain.AddUsbTty({ "ttyACM1", "2-2", "cdc_acm", "Tavrik", "Unit", "" });
    plain.Registry().Refresh();
    EXPECT_EQ(plain.Registry().ResolveComPort(4), (plain.Dev() / "ttyACM1").string());
    plain.RemoveTty("ttyACM0", "2-1");
    plain.RemoveTty("ttyACM1", "2-2");
    plain.AddUsbTty({ "ttyACM0", "2-2", "cdc_acm", "Tavrik", "Unit", "" });
    plain.Registry().Refresh();
    EXPECT_EQ(Numbers(plain.Registry().Ports()), (std::vector<int>{ 4 }));
    EXPECT_EQ(plain.Registry().ResolveComPort(4), (plain.Dev() / "ttyACM0").string());
}

TEST(PortRegistryTest, PinnedLinksWin)
{
    TFakeSystem sys;
    const fs::path pts7 = sys.MakeDeviceFile("7");
    const fs::path pts9 = sys.MakeDeviceFile("9");
    sys.AddUsbTty({ "ttyUSB0", "1-2", "ftdi_sio", "FTDI", "FT232R", "usb-FTDI_A1-if00-port0" });
    sys.Registry().Refresh();
    ASSERT_EQ(sys.Registry().ResolveComPort(3), (sys.Dev() / "ttyUSB0").string());

    // A pin on 3 moves the automatic port to the next free number; a pin
    // with a relative target and one with a description.
    sys.Pin(3, pts7);
    sys.Pin(4, "../pts/9", "Standard Serial over Bluetooth link\nignored");
    sys.Pin(12, sys.Dev() / "serial" / "by-id" / "usb-FTDI_A1-if00-port0");  // pins the FTDI unit itself
    sys.Pin(6, sys.MakeDeviceFile("6"));
    sys.Registry().Refresh();

    const std::vector<TPortEntry> ports = sys.Registry().Ports();
    EXPECT_EQ(Numbers(ports), (std::vector<int>{ 3, 4, 6, 12 }));
    auto com3 = sys.Registry().Find(3);
    auto com4 = sys.Registry().Find(4);
    auto com12 = sys.Registry().Find(12);
    ASSERT_TRUE(com3 && com4 && com12);
    EXPECT_EQ(std::tuple(bool(com3->Pinned), com3->DevicePath, com3->FriendlyName, com4->DevicePath),
              std::tuple(true, pts7.string(), "USB Serial Port (COM3)", pts9.lexically_normal().string()));
    EXPECT_EQ(com4->FriendlyName, "Standard Serial over Bluetooth link (COM4)");
    // The pinned unit keeps the description of the hardware behind it and is
    // not offered a second time under an automatic number.
    EXPECT_EQ(com12->Description, "USB Serial Port (FTDI FT232R)");
    EXPECT_EQ(sys.Registry().ResolveComPort(12), (sys.ById() / "usb-FTDI_A1-if00-port0").string());

    // Without the pin on the unit it gets a number again, skipping pinned ones.
    fs::remove(sys.Ports() / "COM12");
    sys.Registry().Refresh();
    EXPECT_EQ(Numbers(sys.Registry().Ports()), (std::vector<int>{ 3, 4, 5, 6 }));
    EXPECT_EQ(sys.Registry().ResolveComPort(5), (sys.Dev() / "ttyUSB0").string());
}

TEST(PortRegistryTest, PortsFolderOddities)
{
    TFakeSystem sys;
    const fs::path pts = sys.MakeDeviceFile("1");
    sys.Pin(7, sys.Ports() / "nowhere");  // dangling: absent
    sys.Pin(8, pts);
    Link(pts, sys.Ports() / "COM08");       // leading zero: not a port name
    Link(pts, sys.Ports() / "COM256");      // out of range
    Link(pts, sys.Ports() / "com9");
    Link(pts, sys.Ports() / ".unitsim-COM10");
    WriteFile(sys.Ports() / "COM11", "");   // not a link
    WriteFile(sys.Ports() / "COM8.desc", "  \x01Tavrik   unit  \r\n");
    sys.Registry().Refresh();

    EXPECT_EQ(std::tuple(Numbers(sys.Registry().Ports()), sys.Registry().Find(8)->Description, sys.Registry().ResolveComPort(7)),
              std::tuple((std::vector<int>{ 8 }), "Tavrik unit", ""));

    // The link gets a target: resolving finds it without an explicit refresh.
    WriteFile(sys.Ports() / "nowhere", "");
    EXPECT_EQ(sys.Registry().ResolveComPort(7), (sys.Ports() / "nowhere").string());
    // A replaced link is followed as soon as the old target is gone.
    const fs::path other = sys.MakeDeviceFile("2");
    sys.Pin(8, other);
    fs::remove(pts);
    EXPECT_EQ(sys.Registry().ResolveComPort(8), other.string());

    // An unreadable source is an empty one.
    sys.Registry().SetSysfsRoot("/nonexistent-sysfs");
    sys.Registry().SetPortsFolder((sys.Ports() / "missing").string());
    sys.Registry().Refresh();
    EXPECT_TRUE(sys.Registry().Ports().empty());
}

TEST(PortRegistryTest, PortsFolderFollowsTheDataFolder)
{
    QTemporaryDir data;
    SetAppDataFolder(data.path());
    TPortRegistry registry;
    registry.SetSysfsRoot((fs::path(data.path().toStdString()) / "nosys").string());
    const std::string folder = registry.PortsFolder();
    EXPECT_EQ(folder, data.path().toStdString() + "/Tavrik/TRAXEL/Ports");
    fs::create_directories(folder);
    const fs::path target = fs::path(data.path().toStdString()) / "pty";
    WriteFile(target, "");
    fs::create_symlink(target, fs::path(folder) / "COM5");
    registry.Refresh();
    EXPECT_EQ(registry.ResolveComPort(5), target.string());

    SetAppDataFolder(QString());
    EXPECT_EQ(registry.PortsFolder(), "");
}

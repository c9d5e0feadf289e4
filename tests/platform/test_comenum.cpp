// Port listing on a fake sysfs tree.
#include "ComEnum.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cerrno>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using ComBackend::EnumComPortNames;

namespace {

// class/tty/<name> is a link into devices/, as on a real system; ports have
// a "device" link, virtual terminals none.
void AddTty(const std::string& root, const std::string& name, bool withDevice,
            const char* type = nullptr)
{
    const std::string dev = root + "/devices/virtual/tty/" + name;
    ASSERT_EQ(mkdir(dev.c_str(), 0755), 0) << name;
    if (withDevice) {
        ASSERT_EQ(symlink("../../../platform/serial-host", (dev + "/device").c_str()), 0);
    }
    if (type)
        std::ofstream(dev + "/type") << type << "\n";
    ASSERT_EQ(symlink(("../../devices/virtual/tty/" + name).c_str(),
                      (root + "/class/tty/" + name).c_str()), 0);
}

} // namespace

TEST(ComEnum, ListsDeviceBackedPortsSorted)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const std::string root = tmp.path().toStdString();
    for (const char* d : {"/class", "/class/tty", "/devices", "/devices/virtual",
                          "/devices/virtual/tty", "/devices/platform",
                          "/devices/platform/serial-host"})
        ASSERT_EQ(mkdir((root + d).c_str(), 0755), 0);

    for (const char* name : {"tty0", "console", "ptmx"})
        AddTty(root, name, false);
    for (const char* name : {"ttyUSB1", "ttyUSB0", "ttyACM0", "rfcomm0", "ttyS2" /* no type file */, "TTYX9"})
        AddTty(root, name, true);
    AddTty(root, "ttyS0", true, "4");  // a real UART
    AddTty(root, "ttyS1", true, "0");  // an empty legacy slot
    AddTty(root, "ttyS10", true, "4");

    std::vector<std::string> names {"stale"};
    ASSERT_EQ(EnumComPortNames(root, names), 0);
    const std::vector<std::string> expected {"rfcomm0", "ttyACM0", "ttyS0", "ttyS10", "ttyS2",
                                             "ttyUSB0", "ttyUSB1", "TTYX9"};
    EXPECT_EQ(names, expected);
}

TEST(ComEnum, UnreadableRootReportsErrno)
{
    std::vector<std::string> names {"stale"};
    EXPECT_EQ(EnumComPortNames("/nonexistent-sysfs-root", names), ENOENT);
    EXPECT_TRUE(names.empty());

    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const std::string root = tmp.path().toStdString();
    ASSERT_EQ(mkdir((root + "/class").c_str(), 0755), 0);
    std::ofstream(root + "/class/tty") << "not a folder";
    EXPECT_EQ(EnumComPortNames(root, names), ENOTDIR);

    // An empty class folder is no error.
    ASSERT_EQ(unlink((root + "/class/tty").c_str()), 0);
    ASSERT_EQ(mkdir((root + "/class/tty").c_str(), 0755), 0);
    EXPECT_EQ(EnumComPortNames(root, names), 0);
    EXPECT_TRUE(names.empty());
}

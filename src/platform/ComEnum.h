// Listing the serial ports the system knows, from sysfs.
#pragma once

#include <string>
#include <vector>

namespace ComBackend {

// Fills names with the device names (as under /dev: "ttyUSB0", "ttyACM0",
// "rfcomm0", "ttyS0", ...) of every entry of <sysfsRoot>/class/tty that is
// backed by a device. Legacy ttyS ports whose UART type is 0 (nothing behind
// them) are left out. Sorted case-insensitively. Returns 0, or the errno of
// an unreadable <sysfsRoot>/class/tty (names is then empty).
int EnumComPortNames(const std::string& sysfsRoot, std::vector<std::string>& names);

} // namespace ComBackend

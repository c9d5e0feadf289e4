// Line settings of a serial port as the kernel's termios2 record. termios2
// (with BOTHER for arbitrary rates) comes from <asm/termbits.h>, which clashes
// with the C library's <termios.h>: a source file that includes this header
// must not include <termios.h>.
//
// Everything that needs termios constants (line set-up, flushing, output
// suspend) lives here, so the rest of the backend stays free of them.
#pragma once

#include "ComBackend.h"

#include <asm/termbits.h>

namespace ComBackend {

// 0 when the settings can be applied, EINVAL for a rate of 0 or data bits
// outside 5..8.
int ValidateLineSettings(const LineSettings& settings);

// The termios2 for the settings, built on the current one (line discipline
// and the unused control characters are kept). Always raw: no input or output
// translation, no echo, no signals, reads return at once (VMIN = VTIME = 0).
// Expects valid settings.
termios2 BuildTermios2(const LineSettings& settings, const termios2& current);

// The current record with the raw flags applied and speed and framing left
// alone; used right after opening so that no byte is translated or echoed
// before the caller's settings arrive.
termios2 MakeRawTermios2(const termios2& current);

// True when the rate has its own Bxxx constant (otherwise BOTHER is used).
bool HasStandardBaudConstant(uint32_t baudRate);

// The ioctl side. Each returns 0 or errno.
int GetTermios2(int fd, termios2& t);
int SetTermios2(int fd, const termios2& t);
int ApplyRawMode(int fd);
int ApplyLineSettings(int fd, const LineSettings& settings);
// Discards received and/or unsent bytes.
int FlushQueues(int fd, bool input, bool output);
// Holds or resumes our own transmission, as if XOFF/XON had been received.
int SuspendOutput(int fd, bool suspend);

} // namespace ComBackend

#include "ComTermios.h"

#include <asm/ioctls.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace ComBackend {

namespace {

struct BaudEntry {
    uint32_t rate;
    tcflag_t constant;
};

// The rates the kernel knows by constant; any other goes through BOTHER.
constexpr BaudEntry BaudTable[] = {
    {50, B50},         {75, B75},         {110, B110},         {134, B134},
    {150, B150},       {200, B200},       {300, B300},         {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},       {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},     {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool FindBaudConstant(uint32_t rate, tcflag_t& constant)
{
    for (const BaudEntry& e : BaudTable) {
        if (e.rate == rate) {
            constant = e.constant;
            return true;
        }
    }
    return false;
}

void ApplyRawFlags(termios2& t)
{
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR
                           | ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL | IUTF8);
    t.c_oflag = 0;
    t.c_lflag &= ~tcflag_t(ISIG | ICANON | XCASE | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL
                           | ECHOPRT | ECHOKE | NOFLSH | TOSTOP | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD | HUPCL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

int IoctlResult(int rc) { return rc == 0 ? 0 : errno; }

} // namespace

bool HasStandardBaudConstant(uint32_t baudRate)
{
    tcflag_t unused;
    return FindBaudConstant(baudRate, unused);
}

int ValidateLineSettings(const LineSettings& settings)
{
    if (settings.baudRate == 0 || settings.dataBits < 5 || settings.dataBits > 8)
        return EINVAL;
    return 0;
}

termios2 MakeRawTermios2(const termios2& current)
{
    termios2 t = current;
    ApplyRawFlags(t);
    return t;
}

termios2 BuildTermios2(const LineSettings& s, const termios2& current)
{
    termios2 t = current;
    ApplyRawFlags(t);

    // Speed: the same for both directions (CIBAUD cleared = input follows
    // output).
    t.c_cflag &= ~tcflag_t(CBAUD | CIBAUD);
    tcflag_t constant;
    if (FindBaudConstant(s.baudRate, constant))
        t.c_cflag |= constant;
    else
        t.c_cflag |= BOTHER;
    t.c_ispeed = s.baudRate;
    t.c_ospeed = s.baudRate;

    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (s.dataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    default: t.c_cflag |= CS8; break;
    }

    switch (s.parity) {
    case Parity::None: break;
    case Parity::Odd: t.c_cflag |= PARENB | PARODD; break;
    case Parity::Even: t.c_cflag |= PARENB; break;
    case Parity::Mark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case Parity::Space: t.c_cflag |= PARENB | CMSPAR; break;
    }
    // Without checking, bytes pass as received (bad parity included); with
    // checking, the kernel delivers a byte with bad parity as NUL and counts
    // the error.
    if (s.parityCheck && s.parity != Parity::None)
        t.c_iflag |= INPCK;

    // There is no 1.5 stop-bit setting; 5-bit framing with two stop bits is
    // what UARTs send for it.
    if (s.stopBits != StopBits::One)
        t.c_cflag |= CSTOPB;

    if (s.outCtsFlow || s.rtsControl == RtsControl::Handshake)
        t.c_cflag |= CRTSCTS;
    if (s.xonXoffOut)
        t.c_iflag |= IXON;
    if (s.xonXoffIn)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = s.xonChar;
    t.c_cc[VSTOP] = s.xoffChar;
    return t;
}

int GetTermios2(int fd, termios2& t) { return IoctlResult(ioctl(fd, TCGETS2, &t)); }

int SetTermios2(int fd, const termios2& t) { return IoctlResult(ioctl(fd, TCSETS2, &t)); }

int ApplyRawMode(int fd)
{
    termios2 t {};
    if (int rc = GetTermios2(fd, t))
        return rc;
    return SetTermios2(fd, MakeRawTermios2(t));
}

int ApplyLineSettings(int fd, const LineSettings& settings)
{
    if (int rc = ValidateLineSettings(settings))
        return rc;
    termios2 t {};
    if (int rc = GetTermios2(fd, t))
        return rc;
    return SetTermios2(fd, BuildTermios2(settings, t));
}

int FlushQueues(int fd, bool input, bool output)
{
    if (!input && !output)
        return 0;
    int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    return IoctlResult(ioctl(fd, TCFLSH, which));
}

int SuspendOutput(int fd, bool suspend)
{
    return IoctlResult(ioctl(fd, TCXONC, suspend ? TCOOFF : TCOON));
}

} // namespace ComBackend

// The line settings -> termios2 mapping, checked as a pure function.
#include "ComTermios.h"

#include <gtest/gtest.h>

#include <functional>

using namespace ComBackend;

namespace {

// A cooked terminal as a fresh pty has it, so every raw flag must be cleared.
termios2 CookedTermios()
{
    termios2 t {};
    t.c_iflag = ICRNL | IXON | IXANY | IMAXBEL | IUTF8 | BRKINT | INLCR | IGNCR | ISTRIP | PARMRK
        | IGNPAR | INPCK;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE | IEXTEN;
    t.c_cflag = B38400 | CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR | (B9600 << IBSHIFT);
    t.c_line = 0;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    t.c_cc[VINTR] = 3;
    return t;
}

termios2 Build(const LineSettings& s) { return BuildTermios2(s, CookedTermios()); }

} // namespace

TEST(ComTermios, RawFlagsAlwaysSet)
{
    for (const termios2& t : {Build(LineSettings {}), MakeRawTermios2(CookedTermios())}) {
        EXPECT_EQ(std::tuple(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK | IXANY | IMAXBEL), t.c_oflag & OPOST),
                  std::tuple(0u, 0u));
        EXPECT_EQ(t.c_lflag & (ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN), 0u);
        EXPECT_EQ(std::tuple(t.c_cflag & (CLOCAL | CREAD | HUPCL), t.c_cc[VMIN], t.c_cc[VTIME]),
                  std::tuple(tcflag_t(CLOCAL | CREAD | HUPCL), 0, 0));
    }
    // The open-time raw record leaves speed and framing alone.
    termios2 raw = MakeRawTermios2(CookedTermios());
    EXPECT_EQ(std::tuple(raw.c_cflag & CBAUD, raw.c_cflag & CSIZE), std::tuple(tcflag_t(B38400), tcflag_t(CS7)));
    // No flow control or parity check survives from the old record by default.
    termios2 t = Build(LineSettings {});
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK | IGNPAR), 0u);
    EXPECT_EQ(t.c_cflag & (CRTSCTS | PARENB | CMSPAR | CSTOPB), 0u);
    EXPECT_EQ(t.c_cc[VINTR], 3); // unused control characters are kept
}

TEST(ComTermios, BaudRates)
{
    // The component's rates without a constant (14400, 256000) and a custom one go as BOTHER.
    const std::pair<uint32_t, tcflag_t> rates[] = {{110, B110}, {9600, B9600}, {115200, B115200}, {921600, B921600},
                                                   {14400, BOTHER}, {256000, BOTHER}, {31250, BOTHER}};
    for (const auto& [rate, constant] : rates) {
        SCOPED_TRACE(rate);
        LineSettings s;
        s.baudRate = rate;
        const termios2 t = Build(s);
        EXPECT_EQ(t.c_cflag & CBAUD, constant);
        EXPECT_EQ(t.c_cflag & CIBAUD, 0u); // input follows output
        EXPECT_EQ(HasStandardBaudConstant(rate), constant != BOTHER);
        EXPECT_TRUE(constant != BOTHER || (t.c_ospeed == rate && t.c_ispeed == rate));
    }
    LineSettings bad;
    bad.baudRate = 0; // would hang up the line
    EXPECT_EQ(ValidateLineSettings(bad), EINVAL);
    bad.baudRate = 9600;
    bad.dataBits = 9;
    EXPECT_EQ(ValidateLineSettings(bad), EINVAL);
    bad.dataBits = 5;
    EXPECT_EQ(ValidateLineSettings(bad), 0);
}

// Each setting against the flags it owns; bad bytes are never dropped and
// software flow control brings back no input translation.
TEST(ComTermios, FramingParityAndFlowControl)
{
    struct Case {
        const char* name;
        std::function<void(LineSettings&)> set;
        tcflag_t cmask, cflags, imask, iflags;
    };
    const tcflag_t parity = PARENB | PARODD | CMSPAR;
    const tcflag_t flow = IXON | IXOFF | IXANY;
    const Case cases[] = {
        {"five data bits", [](auto& s) { s.dataBits = 5; }, CSIZE, CS5, 0, 0},
        {"one and a half stop bits", [](auto& s) { s.stopBits = StopBits::OneAndHalf; }, CSTOPB, CSTOPB, 0, 0},
        {"odd", [](auto& s) { s.parity = Parity::Odd; }, parity, PARENB | PARODD, INPCK, 0},
        {"even", [](auto& s) { s.parity = Parity::Even; }, parity, PARENB, INPCK, 0},
        {"mark", [](auto& s) { s.parity = Parity::Mark; }, parity, PARENB | PARODD | CMSPAR, INPCK, 0},
        {"space, checked", [](auto& s) { s.parity = Parity::Space; s.parityCheck = true; }, parity,
         PARENB | CMSPAR, INPCK | IGNPAR | PARMRK, INPCK},
        {"none, checked", [](auto& s) { s.parityCheck = true; }, parity, 0, INPCK, 0},
        {"CTS out", [](auto& s) { s.outCtsFlow = true; }, CRTSCTS, CRTSCTS, 0, 0},
        {"RTS handshake", [](auto& s) { s.rtsControl = RtsControl::Handshake; }, CRTSCTS, CRTSCTS, 0, 0},
        {"RTS toggle", [](auto& s) { s.rtsControl = RtsControl::Toggle; }, CRTSCTS, 0, 0, 0},
        {"XON/XOFF in", [](auto& s) { s.xonXoffIn = true; }, 0, 0, flow, IXOFF},
        {"XON/XOFF both", [](auto& s) { s.xonXoffIn = s.xonXoffOut = true; }, 0, 0,
         flow | ICRNL | INLCR | IGNCR | ISTRIP, IXON | IXOFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LineSettings s;
        c.set(s);
        const termios2 t = Build(s);
        EXPECT_EQ(std::tuple(t.c_cflag & c.cmask, t.c_iflag & c.imask), std::tuple(c.cflags, c.iflags));
    }
    LineSettings s;
    s.xonXoffOut = true;
    s.xonChar = 0x31;
    s.xoffChar = 0x33;
    EXPECT_EQ(Build(s).c_cc[VSTART], 0x31);
    EXPECT_EQ(Build(s).c_cc[VSTOP], 0x33);
}

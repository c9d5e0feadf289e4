// The line settings -> termios2 mapping, checked as a pure function.
#include "ComTermios.h"

#include <gtest/gtest.h>

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
        EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK | IXANY | IMAXBEL), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_lflag & (ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD | HUPCL), tcflag_t(CLOCAL | CREAD | HUPCL));
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 0);
    }
    // The open-time raw record leaves speed and framing alone.
    termios2 raw = MakeRawTermios2(CookedTermios());
    EXPECT_EQ(raw.c_cflag & CBAUD, tcflag_t(B38400));
    EXPECT_EQ(raw.c_cflag & CSIZE, tcflag_t(CS7));
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
        LineSettings s;
        s.baudRate = rate;
        const termios2 t = Build(s);
        EXPECT_EQ(t.c_cflag & CBAUD, constant) << rate;
        EXPECT_EQ(t.c_cflag & CIBAUD, 0u) << rate; // input follows output
        EXPECT_EQ(HasStandardBaudConstant(rate), constant != BOTHER) << rate;
        EXPECT_TRUE(constant != BOTHER || (t.c_ospeed == rate && t.c_ispeed == rate)) << rate;
    }
}

TEST(ComTermios, FramingAndParity)
{
    LineSettings bad;
    bad.dataBits = 5;
    EXPECT_EQ(Build(bad).c_cflag & CSIZE, tcflag_t(CS5));
    EXPECT_EQ(ValidateLineSettings(bad), 0);
    bad.dataBits = 9;
    EXPECT_EQ(ValidateLineSettings(bad), EINVAL);
    bad = LineSettings {};
    bad.baudRate = 0; // would hang up the line
    EXPECT_EQ(ValidateLineSettings(bad), EINVAL);

    const tcflag_t mask = PARENB | PARODD | CMSPAR;
    const std::pair<Parity, tcflag_t> parities[] = {{Parity::None, 0}, {Parity::Odd, PARENB | PARODD},
        {Parity::Even, PARENB}, {Parity::Mark, PARENB | PARODD | CMSPAR}, {Parity::Space, PARENB | CMSPAR}};
    for (const auto& [parity, flags] : parities) {
        LineSettings s;
        s.parity = parity;
        EXPECT_EQ(Build(s).c_cflag & mask, flags) << int(parity);
        EXPECT_EQ(Build(s).c_iflag & INPCK, 0u); // no check asked for
        s.parityCheck = true;
        EXPECT_EQ(Build(s).c_iflag & INPCK, parity == Parity::None ? 0u : tcflag_t(INPCK));
        EXPECT_EQ(Build(s).c_iflag & (IGNPAR | PARMRK), 0u); // bad bytes are never dropped
    }

    LineSettings s;
    s.stopBits = StopBits::OneAndHalf;
    EXPECT_EQ(Build(s).c_cflag & CSTOPB, tcflag_t(CSTOPB));
}

TEST(ComTermios, FlowControl)
{
    LineSettings s;
    s.outCtsFlow = true;
    EXPECT_EQ(Build(s).c_cflag & CRTSCTS, tcflag_t(CRTSCTS));
    s = LineSettings {};
    s.rtsControl = RtsControl::Handshake;
    EXPECT_EQ(Build(s).c_cflag & CRTSCTS, tcflag_t(CRTSCTS));
    s.rtsControl = RtsControl::Toggle;
    EXPECT_EQ(Build(s).c_cflag & CRTSCTS, 0u);

    s = LineSettings {};
    s.xonXoffIn = true;
    EXPECT_EQ(Build(s).c_iflag & (IXON | IXOFF), tcflag_t(IXOFF));
    s.xonXoffOut = true;
    s.xonChar = 0x11 + 0x20;
    s.xoffChar = 0x13 + 0x20;
    termios2 t = Build(s);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), tcflag_t(IXON | IXOFF));
    EXPECT_EQ(t.c_cc[VSTART], 0x31);
    EXPECT_EQ(t.c_cc[VSTOP], 0x33);
    // Software flow control must not bring back any input translation.
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP), 0u);
}

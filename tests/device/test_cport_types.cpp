#include "CPortTypes.h"
#include "ComBackend.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

TEST(CPortTypes, TextConversionsRoundTripAndFallBack)
{
    for (int i = brCustom; i <= br256000; ++i)
        EXPECT_EQ(StrToBaudRate(BaudRateToStr(TBaudRate(i))), TBaudRate(i));
    for (int i = sbOneStopBit; i <= sbTwoStopBits; ++i)
        EXPECT_EQ(StrToStopBits(StopBitsToStr(TStopBits(i))), TStopBits(i));
    for (int i = dbFive; i <= dbEight; ++i)
        EXPECT_EQ(StrToDataBits(DataBitsToStr(TDataBits(i))), TDataBits(i));
    for (int i = prNone; i <= prSpace; ++i)
        EXPECT_EQ(StrToParity(ParityToStr(TParityBits(i))), TParityBits(i));
    for (int i = fcHardware; i <= fcCustom; ++i)
        EXPECT_EQ(StrToFlowControl(FlowControlToStr(TFlowControl(i))), TFlowControl(i));

    EXPECT_EQ(StrToBaudRate("115200"), br115200);
    EXPECT_EQ(StrToBaudRate("abc"), br9600);
    EXPECT_EQ(StrToStopBits("3"), sbOneStopBit);
    EXPECT_EQ(StrToDataBits("9"), dbEight);
    EXPECT_EQ(StrToParity("eVeN"), prEven);
    EXPECT_EQ(StrToFlowControl(""), fcCustom);
    EXPECT_EQ(StopBitsToStr(sbOne5StopBits), "1.5");
    EXPECT_EQ(BaudRateToInt(brCustom), 0);
    EXPECT_EQ(BaudRateToInt(br256000), 256000);
    EXPECT_EQ(StrToRTSControl("handshake"), rtsHandshake);
    EXPECT_EQ(StrToDTRControl("Toggle"), dtrDisable); // DTR has no toggle
}

TEST(CPortTypes, ErrorMessagesAndException)
{
    EXPECT_EQ(ComErrorMessage(1), "Unable to open com port");
    EXPECT_EQ(ComErrorMessage(23), "Registry error");
    for (int code = 1; code <= 23; ++code)
        EXPECT_EQ(ComErrorMessage(code).find("Unknown"), std::string::npos) << code;
    EXPECT_EQ(ComErrorMessage(0), "Unknown Error #0");
    EXPECT_EQ(ComErrorMessage(24), "Unknown Error #24");

    const EComPort misuse(14);
    EXPECT_EQ(misuse.Message(), QStringLiteral("COM Port Error: Cannot set property while connected"));
    EXPECT_EQ(misuse.WinCode(), -1);

    // Caught as the program's general exception.
    try {
        throw EComPort(3, EIO, "/dev/ttyUSB0");
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("COM Port Error: ReadFile function failed on /dev/ttyUSB0"));
    }
}

TEST(CPortTypes, ErrorSetTextAndPlatformBits)
{
    EXPECT_EQ(ComErrorsToStr({}), "<Ok>");
    EXPECT_EQ(ComErrorsToStr({ceTxFull, ceRxOver, ceMode, ceIO, ceBreak, ceOverrun, ceRxParity, ceFrame}),
              "<ComError:Frame,Parity,Overrun,Break,IO,Mode,RxOver,TxFull>");

    using namespace ComBackend;
    EXPECT_EQ(EventsToBits(AllComEvents), 0x05FFu);
    EXPECT_EQ(BitsToEvents(EvRing | EvRx80Full), (TComEvents{evRing, evRx80Full}));
    EXPECT_EQ(BitsToEvents(0x0200), TComEvents()); // a bit the component does not know
    EXPECT_EQ(BitsToEvents(EventsToBits(AllComEvents)), AllComEvents);

    EXPECT_EQ(ErrorBitsToErrors(CeRxParity | CeFrame, false), TComErrors{ceFrame});
    EXPECT_EQ(ErrorBitsToErrors(CeRxParity | CeFrame, true), (TComErrors{ceFrame, ceRxParity}));
    EXPECT_EQ(ErrorBitsToErrors(CeIoe | CeMode | CeTxFull | CeRxOver | CeBreak | CeOverrun, false),
              (TComErrors{ceIO, ceMode, ceTxFull, ceRxOver, ceBreak, ceOverrun}));
    EXPECT_EQ(ModemBitsToSignals(MsCtsOn | MsRlsdOn), (TComSignals{csCTS, csRLSD}));
}

TEST(CPortTypes, EnumComPortsRaisesRegistryErrorForAnUnreadableList)
{
    std::vector<std::string> list{"keep"};
    try {
        EnumComPorts(list, "/nonexistent-sysfs-root");
        FAIL() << "no exception";
    } catch (const EComPort& error) {
        EXPECT_EQ(error.Code(), 23);
        EXPECT_EQ(error.WinCode(), ENOENT);
        EXPECT_EQ(error.Message(), QStringLiteral("COM Port Error: Registry error on registry read"));
    }
    EXPECT_EQ(list, std::vector<std::string>{"keep"});
}

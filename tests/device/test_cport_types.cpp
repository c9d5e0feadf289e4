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

    EXPECT_EQ(StrToStopBits("3"), sbOneStopBit);
    EXPECT_EQ(StrToDataBits("9"), dbEight);
    EXPECT_EQ(StrToParity("eVeN"), prEven);
    EXPECT_EQ(StrToFlowControl(""), fcCustom);
    EXPECT_EQ(StopBitsToStr(sbOne5StopBits), "1.5");
    EXPECT_EQ(BaudRateToInt(brCustom), 0);
    EXPECT_EQ(BaudRateToInt(br256000), 256000);
    EXPECT_EQ(StrToDTRControl("Toggle"), dtrDisable); // DTR has no toggle
}

TEST(CPortTypes, ErrorTextsAndPlatformBits)
{
    EXPECT_EQ(ComErrorMessage(0), "Unknown Error #0");
    EXPECT_EQ(ComErrorMessage(24), "Unknown Error #24");
    EXPECT_EQ(EComPort(14).Message(), QStringLiteral("COM Port Error: Cannot set property while connected"));
    EXPECT_EQ(EComPort(14).WinCode(), -1);
    EXPECT_EQ(ComErrorsToStr({}), "<Ok>");
    EXPECT_EQ(ComErrorsToStr({ceTxFull, ceRxOver, ceMode, ceIO, ceBreak, ceOverrun, ceRxParity, ceFrame}),
              "<ComError:Frame,Parity,Overrun,Break,IO,Mode,RxOver,TxFull>");

    using namespace ComBackend;
    EXPECT_EQ(BitsToEvents(0x0200), TComEvents()); // a bit the component does not know
    // Parity errors count only when parity is checked.
    EXPECT_EQ(ErrorBitsToErrors(CeRxParity | CeFrame, false), TComErrors{ceFrame});
    EXPECT_EQ(ErrorBitsToErrors(CeRxParity | CeFrame, true), (TComErrors{ceFrame, ceRxParity}));
    EXPECT_EQ(ErrorBitsToErrors(CeIoe | CeMode | CeTxFull | CeRxOver | CeBreak | CeOverrun, false),
              (TComErrors{ceIO, ceMode, ceTxFull, ceRxOver, ceBreak, ceOverrun}));
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

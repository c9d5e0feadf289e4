// The property texts are checked through the settings store (test_cport_settings),
// the error texts through the port's raises (test_cport).
#include "CPortTypes.h"
#include "ComBackend.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

TEST(CPortTypes, LineErrorsAndTheirText)
{
    using namespace ComBackend;
    EXPECT_EQ(ComErrorsToStr({}), "<Ok>");
    EXPECT_EQ(ComErrorsToStr({ceTxFull, ceRxOver, ceMode, ceIO, ceBreak, ceOverrun, ceRxParity, ceFrame}),
              "<ComError:Frame,Parity,Overrun,Break,IO,Mode,RxOver,TxFull>");
    // Parity errors count only when parity is checked.
    EXPECT_EQ(ErrorBitsToErrors(CeRxParity | CeFrame, false), TComErrors{ceFrame});
    EXPECT_EQ(ErrorBitsToErrors(CeRxParity | CeFrame, true), (TComErrors{ceFrame, ceRxParity}));
    EXPECT_EQ(ErrorBitsToErrors(CeIoe | CeMode | CeTxFull | CeRxOver | CeBreak | CeOverrun, false),
              (TComErrors{ceIO, ceMode, ceTxFull, ceRxOver, ceBreak, ceOverrun}));
    EXPECT_EQ(BitsToEvents(0x0200), TComEvents()); // a bit the component does not know
}

TEST(CPortTypes, EnumComPortsRaisesRegistryErrorForAnUnreadableList)
{
    std::vector<std::string> list{"keep"};
    try {
        EnumComPorts(list, "/nonexistent-sysfs-root");
        FAIL() << "no exception";
    } catch (const EComPort& error) {
        EXPECT_EQ(std::tuple(error.Code(), error.WinCode()), std::tuple(23, ENOENT));
        EXPECT_EQ(error.Message(), QStringLiteral("COM Port Error: Registry error on registry read"));
    }
    EXPECT_EQ(list, std::vector<std::string>{"keep"});
}

#include "CPort.h"
#include "FakeComBackend.h"
#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& file) { return ReadAll(QString::fromStdString(file.string())).toStdString(); }
void WriteFile(const fs::path& file, const std::string& text) { WriteAll(QString::fromStdString(file.string()), QByteArray::fromStdString(text)); }

// A port on its own fake, named, storing every group.
struct NamedPort : FakePort {
    explicit NamedPort(const char* name) : FakePort(smNone, false)
    {
        port->SetName(name);
        port->SetStoredProps({spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers});
    }
};

void Configure(TCustomComPort& p)
{
    p.SetPort("ttyUSB1");
    p.SetBaudRate(brCustom);
    p.SetCustomBaudRate(31250);
    p.SetStopBits(sbTwoStopBits);
    p.SetDataBits(dbSeven);
    p.SetEventChar('\r');
    p.SetDiscardNull(true);
    p.Parity().SetBits(prEven);
    p.Parity().SetCheck(true);
    p.Parity().SetReplace(true);
    p.Parity().SetReplaceChar('A');
    p.Buffer().SetInputSize(4096);
    p.Buffer().SetOutputSize(256);
    p.Timeouts().SetReadInterval(-1);
    p.Timeouts().SetReadTotalConstant(5);
    p.Timeouts().SetReadTotalMultiplier(6);
    p.Timeouts().SetWriteTotalConstant(7);
    p.Timeouts().SetWriteTotalMultiplier(8);
    p.FlowControl().SetFlowControl(fcHardware);
    p.FlowControl().SetControlDTR(dtrHandshake);
    p.FlowControl().SetDSRSensitivity(true);
    p.FlowControl().SetOutDSRFlow(true);
    p.FlowControl().SetTxContinueOnXoff(true);
    p.FlowControl().SetXonChar(' ');
    p.FlowControl().SetXoffChar(200);
}

class CPortSettings : public ::testing::Test {
protected:
    // Everything the port keeps, as the text it stores.
    std::string Snapshot(TCustomComPort& p)
    {
        const fs::path file = dir / "snapshot.ini";
        fs::remove(file);
        p.StoreSettings(stIniFile, file.string());
        return ReadFile(file);
    }

    QTemporaryDir temp;
    fs::path dir {temp.path().toStdString()};
};

} // namespace

TEST_F(CPortSettings, IniFileRoundTrip)
{
    const fs::path file = dir / "port.ini";
    WriteFile(file, "[Other]\nKeep=1\n");
    NamedPort a("ComPortA");
    Configure(*a.port);
    a.port->StoreSettings(stIniFile, file.string());

    // The other section stays; every property is written in its own form.
    EXPECT_EQ(ReadFile(file), TestData("port.ini").toStdString());

    // Loaded into an open port: everything read, applied once per group.
    a.port->SetPort("/dev/ttyFAKE0");
    a.port->StoreSettings(stIniFile, file.string());
    NamedPort b("ComPortA");
    b.port->Open();
    b.fake->ClearLog();
    b.port->LoadSettings(stIniFile, file.string());
    EXPECT_EQ(b.Log(), (std::vector<std::string>{"SetBufferSizes 4096 256",
                                                 "SetLineSettings 31250 7 2 2 xon=1024 xoff=1024",
                                                 "SetTimeouts 4294967295 6 5 8 7"}));
    EXPECT_EQ(Snapshot(*b.port), Snapshot(*a.port));

    // Only the chosen groups; no custom rate unless the rate is custom.
    FakePort c;
    c.port->SetName("Basic");
    c.port->SetBaudRate(br19200);
    c.port->StoreSettings(stIniFile, file.string());
    EXPECT_NE(ReadFile(file).find("[Basic]\nPort=/dev/ttyFAKE0\nBaudRate=19200\nStopBits=1\nDataBits=8\n"
                                  "Parity=None\nFlowControl=None\n\n"),
              std::string::npos)
        << ReadFile(file);
}

TEST_F(CPortSettings, ReadingRules)
{
    const fs::path file = dir / "rules.ini";
    WriteFile(file, "; comment\n[p]\nDiscardNull=yEs\nEventChar=#\nParity.ReplaceChar=\n"
                    "Parity.Check=true\nFlowControl.XonChar=#7\nFlowControl.XoffChar=xyz\nBaudRate=nonsense\n"
                    "FlowControl.ControlRTS=toggle\nFlowControl.ControlDTR=Toggle\nStopBits=3\nDataBits=9\n"
                    "Parity=eVeN\n");
    NamedPort named("P"); // section names compare without case
    TComPort& p = *named.port;
    p.SetBaudRate(br300);
    p.SetStopBits(sbTwoStopBits);
    p.SetDataBits(dbFive);
    p.FlowControl().SetControlDTR(dtrEnable);
    p.Parity().SetReplaceChar('z');
    p.Timeouts().SetReadTotalConstant(99);
    p.LoadSettings(stIniFile, file.string());
    // Any case of "yes" and of names; a bare '#' and a character; only "Yes"
    // is true; a '#' code; the first letter of a word; a wrong word, stop or
    // data bits the default; DTR has no toggle; a missing key keeps its value.
    EXPECT_EQ(Snapshot(p), TestData("rules.ini").toStdString());

    // A missing file changes nothing.
    p.LoadSettings(stIniFile, (dir / "absent.ini").string());
    EXPECT_EQ(p.BaudRate(), br9600);

    // A damaged value: error 17 and nothing applied.
    for (const char* bad : {"Buffer.InputSize=12ab\n", "FlowControl.XonChar=#300\n", "Buffer.OutputSize=-2\n",
                            "CustomBaudRate=9999999999\n"}) {
        SCOPED_TRACE(bad);
        WriteFile(file, std::string("[p]\nBaudRate=115200\n") + bad);
        try {
            p.LoadSettings(stIniFile, file.string());
            ADD_FAILURE() << "loaded";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.Code(), 17);
            EXPECT_STREQ(e.what(), "COM Port Error: Failed to load settings");
        }
        EXPECT_EQ(p.BaudRate(), br9600);
    }

    // A file that cannot be written: error 16.
    try {
        p.StoreSettings(stIniFile, (dir / "no" / "such" / "dir.ini").string());
        ADD_FAILURE() << "stored";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 16);
    }
}

// The registry form is the same text under a key path, in one file of the
// user's configuration folder.
TEST_F(CPortSettings, RegistryFormLivesInTheUserConfigFolder)
{
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);

    NamedPort a("ComPortA");
    Configure(*a.port);
    a.port->StoreSettings(stRegistry, "hkey_local_machine\\Software\\Test");
    const fs::path file = dir / "TRAXEL" / "comport-registry.ini";
    EXPECT_NE(ReadFile(file).find("[HKEY_LOCAL_MACHINE\\Software\\Test\\ComPortA]\nPort=ttyUSB1\n"),
              std::string::npos);
    NamedPort b("ComPortA");
    b.port->LoadSettings(stRegistry, "HKEY_LOCAL_MACHINE\\Software\\Test\\");
    EXPECT_EQ(Snapshot(*b.port), Snapshot(*a.port));

    // An unknown root is the current user's; a path without a key stores nothing.
    a.port->StoreSettings(stRegistry, "SOMEWHERE\\Software\\Test");
    EXPECT_NE(ReadFile(file).find("[HKEY_CURRENT_USER\\Software\\Test\\ComPortA]\n"), std::string::npos);
    fs::remove(file);
    a.port->StoreSettings(stRegistry, "HKEY_CURRENT_USER");
    b.port->LoadSettings(stRegistry, "HKEY_CURRENT_USER");
    EXPECT_FALSE(fs::exists(file));

    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

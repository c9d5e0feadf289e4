#include "CPort.h"
#include "FakeComBackend.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

struct TempDir {
    QTemporaryDir dir;
    fs::path path{dir.path().toStdString()};
};

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& file, const std::string& text)
{
    std::ofstream(file) << text;
}

const TStoredProps AllGroups{spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers};

// A port on its own fake; named ports keep every group.
std::unique_ptr<TComPort> NewPort(const char* name = nullptr)
{
    auto p = std::make_unique<TComPort>(FakeComFactory(std::make_shared<FakeComState>()));
    if (name) {
        p->SetName(name);
        p->SetStoredProps(AllGroups);
    }
    return p;
}

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

// Everything the port keeps, as the text it stores.
std::string Snapshot(TCustomComPort& p, const fs::path& dir)
{
    const fs::path file = dir / "snapshot.ini";
    fs::remove(file);
    p.StoreSettings(stIniFile, file.string());
    return ReadFile(file);
}

} // namespace

TEST(CPortSettings, IniFileRoundTrip)
{
    TempDir dir;
    const fs::path file = dir.path / "port.ini";
    WriteFile(file, "[Other]\nKeep=1\n");
    auto a = NewPort("ComPortA");
    Configure(*a);
    a->StoreSettings(stIniFile, file.string());

    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("[Other]\nKeep=1\n"), std::string::npos);
    EXPECT_NE(text.find("[ComPortA]\nPort=ttyUSB1\nBaudRate=Custom\nCustomBaudRate=31250\nStopBits=2\n"
                        "DataBits=7\nParity=Even\nFlowControl=Hardware\nEventChar=#13\nDiscardNull=Yes\n"
                        "Parity.Check=Yes\nParity.Replace=Yes\nParity.ReplaceChar=A\n"
                        "Buffer.OutputSize=256\nBuffer.InputSize=4096\n"
                        "Timeouts.ReadInterval=-1\nTimeouts.ReadTotalConstant=5\nTimeouts.ReadTotalMultiplier=6\n"
                        "Timeouts.WriteTotalConstant=7\nTimeouts.WriteTotalMultiplier=8\n"
                        "FlowControl.ControlRTS=Handshake\nFlowControl.ControlDTR=Handshake\n"
                        "FlowControl.DSRSensitivity=Yes\nFlowControl.OutCTSFlow=Yes\nFlowControl.OutDSRFlow=Yes\n"
                        "FlowControl.TxContinueOnXoff=Yes\nFlowControl.XonXoffIn=No\nFlowControl.XonXoffOut=No\n"
                        "FlowControl.XoffChar=#200\nFlowControl.XonChar=#32\n"),
              std::string::npos)
        << text;

    auto b = NewPort("ComPortA");
    b->LoadSettings(stIniFile, file.string());
    EXPECT_EQ(Snapshot(*b, dir.path), Snapshot(*a, dir.path));

    // Only the chosen groups; no custom rate unless the rate is custom.
    auto c = NewPort();
    c->SetName("Basic");
    c->SetBaudRate(br19200);
    c->StoreSettings(stIniFile, file.string());
    const std::string basic = ReadFile(file);
    EXPECT_NE(basic.find("[Basic]\nPort=COM1\nBaudRate=19200\nStopBits=1\nDataBits=8\nParity=None\n"
                         "FlowControl=None\n\n"),
              std::string::npos)
        << basic;
}

TEST(CPortSettings, ReadingRules)
{
    TempDir dir;
    const fs::path file = dir.path / "rules.ini";
    WriteFile(file, "; comment\n[p]\nDiscardNull=yEs\nEventChar=#\nParity.ReplaceChar=\n"
                    "Parity.Check=true\nFlowControl.XonChar=#7\nFlowControl.XoffChar=xyz\nBaudRate=nonsense\n"
                    "FlowControl.ControlRTS=toggle\n");
    auto port = NewPort("P"); // section names compare without case
    TComPort& p = *port;
    p.SetBaudRate(br300);
    p.Parity().SetReplaceChar('z');
    p.Timeouts().SetReadTotalConstant(99);
    p.LoadSettings(stIniFile, file.string());
    EXPECT_TRUE(p.DiscardNull());
    EXPECT_EQ(p.EventChar(), '#');
    EXPECT_EQ(p.Parity().ReplaceChar(), 0);
    EXPECT_FALSE(p.Parity().Check()); // only "Yes" is true
    EXPECT_EQ(p.FlowControl().XonChar(), 7);
    EXPECT_EQ(p.FlowControl().XoffChar(), 'x');
    EXPECT_EQ(p.BaudRate(), br9600);
    EXPECT_EQ(p.FlowControl().ControlRTS(), rtsToggle);
    EXPECT_EQ(p.Timeouts().ReadTotalConstant(), 99); // not in the file: kept

    // A missing file changes nothing.
    p.LoadSettings(stIniFile, (dir.path / "absent.ini").string());
    EXPECT_EQ(p.BaudRate(), br9600);

    // A damaged value: error 17 and nothing applied.
    for (const char* bad : {"Buffer.InputSize=12ab\n", "FlowControl.XonChar=#300\n", "Buffer.OutputSize=-2\n",
                            "CustomBaudRate=9999999999\n"}) {
        WriteFile(file, std::string("[p]\nBaudRate=115200\n") + bad);
        try {
            p.LoadSettings(stIniFile, file.string());
            ADD_FAILURE() << bad;
        } catch (const EComPort& e) {
            EXPECT_EQ(e.Code(), 17);
            EXPECT_STREQ(e.what(), "COM Port Error: Failed to load settings");
        }
        EXPECT_EQ(p.BaudRate(), br9600) << bad;
    }

    // A file that cannot be written: error 16.
    try {
        p.StoreSettings(stIniFile, (dir.path / "no" / "such" / "dir.ini").string());
        ADD_FAILURE();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 16);
    }
}

TEST(CPortSettings, LoadingAnOpenPortAppliesOnce)
{
    TempDir dir;
    const fs::path file = dir.path / "open.ini";
    auto a = NewPort("X");
    Configure(*a);
    a->SetPort("/dev/ttyFAKE2");
    a->StoreSettings(stIniFile, file.string());

    auto fake = std::make_shared<FakeComState>();
    TComPort b(FakeComFactory(fake));
    b.SetName("X");
    b.SetStoredProps(AllGroups);
    b.SetEvents({});
    b.SetPort("/dev/ttyFAKE2");
    b.Open();
    fake->ClearLog();
    b.LoadSettings(stIniFile, file.string());
    EXPECT_EQ(fake->Calls(), (std::vector<std::string>{"SetBufferSizes", "SetLineSettings", "SetTimeouts"}));
    EXPECT_EQ(fake->lastLine.baudRate, 31250u);
    EXPECT_EQ(fake->lastLine.xonLim, 1024);
    b.Close();
}

TEST(CPortSettings, RegistryFormLivesInTheUserConfigFolder)
{
    TempDir dir;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", dir.path.c_str(), 1);

    auto a = NewPort("ComPortA");
    Configure(*a);
    a->StoreSettings(stRegistry, "hkey_local_machine\\Software\\Test");
    const fs::path file = dir.path / "TRAXEL" / "comport-registry.ini";
    ASSERT_TRUE(fs::exists(file));
    EXPECT_NE(ReadFile(file).find("[HKEY_LOCAL_MACHINE\\Software\\Test\\ComPortA]\nPort=ttyUSB1\n"),
              std::string::npos);

    auto b = NewPort("ComPortA");
    b->LoadSettings(stRegistry, "HKEY_LOCAL_MACHINE\\Software\\Test\\");
    EXPECT_EQ(Snapshot(*b, dir.path), Snapshot(*a, dir.path));

    // Another root is another key; an unknown root is the current user's.
    auto port = NewPort();
    TComPort& c = *port;
    c.SetName("ComPortA");
    c.LoadSettings(stRegistry, "HKEY_CURRENT_USER\\Software\\Test");
    EXPECT_EQ(c.Port(), "COM1");
    c.SetPort("ttyS4");
    c.StoreSettings(stRegistry, "SOMEWHERE\\Software\\Test");
    EXPECT_NE(ReadFile(file).find("[HKEY_CURRENT_USER\\Software\\Test\\ComPortA]\nPort=ttyS4\n"),
              std::string::npos);

    // A path without a key stores and loads nothing.
    fs::remove(file);
    c.StoreSettings(stRegistry, "HKEY_CURRENT_USER");
    c.LoadSettings(stRegistry, "HKEY_CURRENT_USER");
    EXPECT_FALSE(fs::exists(file));

    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

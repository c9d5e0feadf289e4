#include "CPortDataPacket.h"
#include "FakeComBackend.h"

#include <gtest/gtest.h>

namespace {

struct Collector {
    std::vector<std::string> packets;
    std::vector<std::string> discarded;
    void Attach(TComDataPacket& p)
    {
        p.OnPacket = [this](TComDataPacket&, const std::string& s) { packets.push_back(s); };
        p.OnDiscard = [this](TComDataPacket&, const std::string& s) { discarded.push_back(s); };
    }
};

using Texts = std::vector<std::string>;

} // namespace

TEST(CPortDataPacket, StartAndStopStrings)
{
    TComDataPacket p;
    Collector c;
    c.Attach(p);
    p.SetStartString("<");
    p.SetStopString(">");
    p.AddData("junk<ab");
    p.AddData("c><de><");
    p.AddData("f");
    EXPECT_EQ(c.packets, (Texts{"abc", "de"}));
    EXPECT_EQ(c.discarded, (Texts{"junk"}));
    p.AddData(">");
    EXPECT_EQ(c.packets.back(), "f");

    // Kept with IncludeStrings; a start split over two chunks is found.
    p.SetStartString("ST");
    p.SetStopString("EN");
    p.SetIncludeStrings(true);
    c.packets.clear();
    c.discarded.clear();
    p.AddData("xxS");
    p.AddData("Tdata1ENyyST");
    p.AddData("dataEN");
    EXPECT_EQ(c.packets, (Texts{"STdata1EN", "STdataEN"}));
    EXPECT_EQ(c.discarded, (Texts{"xx", "yy"}));

    // Case-insensitive matching.
    p.SetIncludeStrings(false);
    p.SetCaseInsensitive(true);
    c.packets.clear();
    p.AddData("sTaBcEn");
    EXPECT_EQ(c.packets, (Texts{"aBc"}));
}

TEST(CPortDataPacket, SizeNoStopAndBufferLimit)
{
    TComDataPacket p;
    Collector c;
    c.Attach(p);
    // Without any stop condition every received text is one packet.
    p.AddData("one");
    p.AddData("two");
    EXPECT_EQ(c.packets, (Texts{"one", "two"}));

    p.SetSize(4);
    c.packets.clear();
    p.AddData("abcdefghi");
    EXPECT_EQ(c.packets, (Texts{"abcd", "efgh"}));
    p.AddData("jkl");
    EXPECT_EQ(c.packets.back(), "ijkl");

    // Size and stop string: whichever ends the packet first.
    p.SetStopString(";");
    c.packets.clear();
    p.AddData("ab;cdefg");
    EXPECT_EQ(c.packets, (Texts{"ab", "cdef"}));

    // A buffer grown past MaxBufferSize is discarded.
    TComDataPacket q;
    Collector d;
    d.Attach(q);
    q.SetStopString("\n");
    q.SetMaxBufferSize(8);
    q.AddData("12345");
    q.AddData("6789");
    EXPECT_TRUE(d.packets.empty());
    EXPECT_EQ(d.discarded, (Texts{"123456789"}));
    q.AddData("ok\n");
    EXPECT_EQ(d.packets, (Texts{"ok"}));
}

TEST(CPortDataPacket, CustomHooksAndPortLink)
{
    TComDataPacket p;
    Collector c;
    c.Attach(p);
    p.OnCustomStart = [](TComDataPacket&, const std::string& s, int& pos) {
        const auto at = s.find('$');
        pos = at == std::string::npos ? -1 : int(at);
    };
    p.OnCustomStop = [](TComDataPacket&, const std::string& s, int& pos) {
        pos = s.size() >= 3 ? 3 : -1;
    };
    p.AddData("..$ab$c");
    EXPECT_EQ(c.packets, (Texts{"$ab"}));
    EXPECT_EQ(c.discarded, (Texts{".."}));
    p.AddData("de");
    EXPECT_EQ(c.packets, (Texts{"$ab", "$cd"}));
    EXPECT_EQ(c.discarded, (Texts{"..", "e"}));

    // Through a port: the packet's link takes the received bytes.
    auto fake = std::make_shared<FakeComState>();
    TComPort port(FakeComFactory(fake));
    port.SetPort("/dev/ttyFAKE3");
    port.SetSyncMethod(smNone);
    TComDataPacket q;
    std::mutex m;
    Texts got;
    q.SetStopString("\r\n");
    q.OnPacket = [&](TComDataPacket&, const std::string& s) {
        std::lock_guard<std::mutex> lock(m);
        got.push_back(s);
    };
    q.SetComPort(&port);
    EXPECT_FALSE(port.TriggersOnRxChar());
    port.Open();
    fake->AddInput("AT\r\nOK\r\n");
    fake->PushEvents(ComBackend::EvRxChar);
    ASSERT_TRUE(FakeComState::WaitFor([&] {
        std::lock_guard<std::mutex> lock(m);
        return got.size() == 2;
    }));
    port.Close();
    EXPECT_EQ(got, (Texts{"AT", "OK"}));
    q.SetComPort(nullptr);
    EXPECT_TRUE(port.TriggersOnRxChar());
}

#include "CPortDataPacket.h"
#include "FakeComBackend.h"

#include <gtest/gtest.h>

#include <memory>

using Texts = std::vector<std::string>;

TEST(CPortDataPacket, CutsPacketsByItsRules)
{
    const auto findDollar = [](TComDataPacket&, const std::string& s, int& pos) {
        const auto at = s.find('$');
        pos = at == std::string::npos ? -1 : int(at);
    };
    const auto threeBytes = [](TComDataPacket&, const std::string& s, int& pos) { pos = s.size() >= 3 ? 3 : -1; };
    struct Case {
        const char* name;
        std::function<void(TComDataPacket&)> setup;
        Texts chunks;
        Texts packets;
        Texts discarded;
    };
    const Case cases[] = {
        {"start and stop strings", [](auto& p) { p.SetStartString("<"); p.SetStopString(">"); },
         {"junk<ab", "c><de><", "f", ">"}, {"abc", "de", "f"}, {"junk"}},
        {"strings kept; a start split over two chunks",
         [](auto& p) { p.SetStartString("ST"); p.SetStopString("EN"); p.SetIncludeStrings(true); },
         {"xxS", "Tdata1ENyyST", "dataEN"}, {"STdata1EN", "STdataEN"}, {"xx", "yy"}},
        {"case-insensitive", [](auto& p) { p.SetStartString("ST"); p.SetStopString("EN"); p.SetCaseInsensitive(true); },
         {"sTaBcEn"}, {"aBc"}, {}},
        {"no stop condition: every text is a packet", [](auto&) {}, {"one", "two"}, {"one", "two"}, {}},
        {"size", [](auto& p) { p.SetSize(4); }, {"abcdefghi", "jkl"}, {"abcd", "efgh", "ijkl"}, {}},
        {"size or stop string, whichever ends first", [](auto& p) { p.SetSize(4); p.SetStopString(";"); },
         {"ab;cdefg"}, {"ab", "cdef"}, {}},
        {"a buffer past the maximum is discarded", [](auto& p) { p.SetStopString("\n"); p.SetMaxBufferSize(8); },
         {"12345", "6789", "ok\n"}, {"ok"}, {"123456789"}},
        {"custom start and stop", [&](auto& p) { p.OnCustomStart = findDollar; p.OnCustomStop = threeBytes; },
         {"..$ab$c", "de"}, {"$ab", "$cd"}, {"..", "e"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TComDataPacket p;
        Texts packets, discarded;
        p.OnPacket = [&](TComDataPacket&, const std::string& s) { packets.push_back(s); };
        p.OnDiscard = [&](TComDataPacket&, const std::string& s) { discarded.push_back(s); };
        c.setup(p);
        for (const std::string& chunk : c.chunks)
            p.AddData(chunk);
        EXPECT_EQ(std::tuple(packets, discarded), std::tuple(c.packets, c.discarded));
    }
}

TEST(CPortDataPacket, TakesTheBytesOfItsPort)
{
    FakePort r;
    TComDataPacket q;
    std::mutex m;
    Texts got;
    q.SetStopString("\r\n");
    q.OnPacket = [&](TComDataPacket&, const std::string& s) {
        std::lock_guard<std::mutex> lock(m);
        got.push_back(s);
    };
    q.SetComPort(r.port.get());
    EXPECT_FALSE(r.port->TriggersOnRxChar());
    r.port->Open();
    r.fake->AddInput("AT\r\nOK\r\n");
    r.fake->PushEvents(ComBackend::EvRxChar);
    ASSERT_TRUE(FakeComState::WaitFor([&] {
        std::lock_guard<std::mutex> lock(m);
        return got.size() == 2;
    }));
    r.port->Close();
    EXPECT_EQ(got, (Texts{"AT", "OK"}));
    q.SetComPort(nullptr);
    EXPECT_TRUE(r.port->TriggersOnRxChar());
}

// The port may go before the packet: it detaches the packet, whose own end
// then leaves the freed port alone (ASan sees any touch).
TEST(CPortDataPacket, PortDestroyedFirstDetachesThePacket)
{
    auto r = std::make_unique<FakePort>();
    TComDataPacket q;
    q.SetComPort(r->port.get());
    r->port->Open();
    r.reset();
    EXPECT_EQ(q.ComPort(), nullptr);
}

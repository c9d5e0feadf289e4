// The monitor's event loop under hostile nodes: a heartbeat timer on the
// GUI thread ticks every 2 ms while a peer thread plays one hostile node;
// worst_ms is the longest a tick came late (the worst stall of the loop),
// p99_ms its 99th percentile. Goal: worst_ms under 50 in every case.
//
// Each case runs three times: against a bare TNetMonitor (rig "bare"),
// through the program's network form with its viewers (rig "form"), and so
// with the monitor's log lines going to the start menu's diagnostics view,
// shown (rig "log"). Before the
// hostile node a calm one announces 16 shooters with a ring target each, so
// the form has 16 viewers to place and draw.
//   NeverReads      - sends summaries that make the monitor ask again and
//                     again, and reads none of it, until it is dropped
//   Connections33   - 33 connections at once, each announcing a shooter,
//                     then all closed at once
//   LongClosingTag  - end tags padded to just under the message cap
//   StrayClosingTag - an end tag that closes nothing open, padded to just
//                     under the message cap: a decode error
//   OverCapClosingTag - an end tag padded past the message cap
//   DeepNesting     - 100,000 nested elements in one message
//   WideTree        - 250,000 sibling elements in one message
//   ManyAttributes  - 70,000 attribute lines in one message
//   Idle            - nothing: the noise floor of the machine
// handled is 1 when the well-formed summary the node sends after its
// hostile part was taken (its shooter is linked).
#include "Application.h"
#include "AppSettings.h"
#include "AppStartup.h"
#include "BenchProgram.h"
#include "DeviceManager.h"
#include "DiagnosticsLog.h"
#include "FormNetworkControl.h"
#include "FormSendMessage.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "Globals.h"
#include "NetMonitor.h"
#include "PortRegistry.h"
#include "Prompts.h"
#include "Shotdata.h"
#include "UiGlobals.h"
#include "XmlNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

// ---- The peer's side: blocking sockets on a thread of its own ----

int ConnectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

bool SendAll(int fd, const QByteArray& bytes)
{
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        at += n;
    }
    return true;
}

QByteArray Wrap(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<TRAXELMessage>\r\n" + body + "\r\n</TRAXELMessage>\r\n";
}

QByteArray Shooter(const QByteArray& serial, int shots)
{
    return "  <Shooter Name=\"Name " + serial + "\" SerialNumber=\"" + serial + "\" ShotCount=\""
        + QByteArray::number(shots) + "\"/>\r\n";
}

QByteArray Summary(const std::vector<QByteArray>& serials, int shots)
{
    QByteArray shooters;
    for (const QByteArray& serial : serials)
        shooters += Shooter(serial, shots);
    return Wrap(" <SessionInfo>\r\n  <Name>S</Name>\r\n" + shooters + " </SessionInfo>");
}

QByteArray RingTarget(const QByteArray& serial)
{
    return Wrap(" <TargetInfo SerialNumber=\"" + serial + "\"><Target Type=\"Ring\" TargetName=\"R\" "
                "TargetNumber=\"0\"><HighestRing>10</HighestRing><MinimumRing>1</MinimumRing>"
                "<RingGaps>Fixed</RingGaps><NominalDistance>100</NominalDistance><Caliber>450</Caliber>"
                "<DiameterHighestRing>5</DiameterHighestRing><HitRingGap>25</HitRingGap>"
                "<DiameterBlackArea>305</DiameterBlackArea>"
                "<TargetWidth>170</TargetWidth><TargetHeight>170</TargetHeight></Target></TargetInfo>");
}

std::vector<QByteArray> Serials(const char* prefix, int n)
{
    std::vector<QByteArray> serials;
    for (int i = 0; i < n; ++i)
        serials.push_back(prefix + QByteArray::number(1000 + i));
    return serials;
}

// The calm node: 16 shooters with their targets, a connection kept open.
int CalmNode(quint16 port)
{
    const int fd = ConnectTo(port);
    const std::vector<QByteArray> serials = Serials("CALM", 16);
    QByteArray bytes = Summary(serials, 0);
    for (const QByteArray& serial : serials)
        bytes += RingTarget(serial);
    SendAll(fd, bytes);
    return fd;
}

using THostile = std::function<void(quint16 port, const std::atomic<bool>& stop)>;

void NeverReads(quint16 port, const std::atomic<bool>& stop)
{
    const int fd = ConnectTo(port);
    const std::vector<QByteArray> serials = Serials("NR", 16);
    // A count that goes down starts the pull anew: every other summary has
    // the monitor ask for 16 targets again.
    const QByteArray up = Summary(serials, 1);
    const QByteArray down = Summary(serials, 0);
    for (int i = 0; i < 40000 && !stop; ++i)
        if (!SendAll(fd, i % 2 ? down : up))
            break;
    ::close(fd);
}

void Connections33(quint16 port, const std::atomic<bool>& stop)
{
    std::vector<int> fds;
    for (int i = 0; i < 33; ++i)
        fds.push_back(ConnectTo(port));
    for (std::size_t i = 0; i < fds.size(); ++i)
        SendAll(fds[i], Summary({"CON" + QByteArray::number(int(i))}, 0));
    for (int i = 0; i < 50 && !stop; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (int fd : fds)
        if (fd >= 0)
            ::close(fd);
}

void LongClosingTag(quint16 port, const std::atomic<bool>&)
{
    const int fd = ConnectTo(port);
    const QByteArray head = "<TRAXELMessage><a/></TRAXELMessage";
    const QByteArray padded = head + QByteArray(NetLimits::MaxMessageBytes - head.size() - 64, ' ') + ">";
    for (int i = 0; i < 3; ++i)
        SendAll(fd, padded);
    SendAll(fd, Summary({"LAST"}, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::close(fd);
}

void StrayClosingTag(quint16 port, const std::atomic<bool>&)
{
    const int fd = ConnectTo(port);
    SendAll(fd, "<TRAXELMessage><a></b" + QByteArray(NetLimits::MaxMessageBytes - 64, ' ') + "></TRAXELMessage>");
    SendAll(fd, Summary({"LAST"}, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::close(fd);
}

// One end tag padded past the message cap: the connection is refused.
void OverCapClosingTag(quint16 port, const std::atomic<bool>&)
{
    const int fd = ConnectTo(port);
    SendAll(fd, "<TRAXELMessage><a/></TRAXELMessage" + QByteArray(NetLimits::MaxMessageBytes, ' ') + ">");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::close(fd);
    const int again = ConnectTo(port);
    SendAll(again, Summary({"LAST"}, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::close(again);
}

// 100,000 nested elements: a message that cannot be decoded, then a good one.
void DeepNesting(quint16 port, const std::atomic<bool>&)
{
    const int fd = ConnectTo(port);
    QByteArray deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    SendAll(fd, Wrap(deep) + Summary({"LAST"}, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::close(fd);
}

// A quarter million sibling elements: a long parse, a long walk, a long free.
void WideTree(quint16 port, const std::atomic<bool>&)
{
    const int fd = ConnectTo(port);
    QByteArray wide;
    for (int i = 0; i < 250000; ++i)
        wide += "<a/>";
    for (int i = 0; i < 3; ++i)
        SendAll(fd, Wrap(wide));
    SendAll(fd, Summary({"LAST"}, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::close(fd);
}

void ManyAttributes(quint16 port, const std::atomic<bool>&)
{
    const int fd = ConnectTo(port);
    QByteArray lines;
    for (int i = 0; i < 70000; ++i)
        lines += " a" + QByteArray::number(i) + "=\"1\"\n";
    const QByteArray message = Wrap(" <SessionInfo>\r\n  <Shooter\r\n" + lines + "   SerialNumber=\"WIDE\" ShotCount=\"0\"/>\r\n </SessionInfo>");
    for (int i = 0; i < 3; ++i)
        SendAll(fd, message);
    SendAll(fd, Summary({"LAST"}, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::close(fd);
}

void Idle(quint16, const std::atomic<bool>&) { std::this_thread::sleep_for(std::chrono::milliseconds(1000)); }

// ---- The monitor's side ----

// Ticks every IntervalMs on the GUI thread and keeps how late each tick came.
class THeartbeat {
public:
    static constexpr int IntervalMs = 2;

    THeartbeat()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(IntervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            lateMs_.push_back(std::max(0.0, double(now - last_) / 1e6 - IntervalMs));
            last_ = now;
        });
        clock_.start();
        last_ = clock_.nsecsElapsed();
        timer_.start();
    }
    double Worst() const { return lateMs_.empty() ? 0 : *std::max_element(lateMs_.begin(), lateMs_.end()); }
    double Percentile(double p) const
    {
        if (lateMs_.empty())
            return 0;
        std::vector<double> sorted = lateMs_;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, std::size_t(p * double(sorted.size())))];
    }
    std::size_t Beats() const { return lateMs_.size(); }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    std::vector<double> lateMs_;
};

void Pump(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool PumpUntil(const std::function<bool()>& done, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// Every box answered No: closing a session does not save it.
class TAnswerNo final : public IPrompts {
public:
    TMsgResult MessageBox(const QString&, const QString&, TMsgButtons) override { return TMsgResult::No; }
};

TFormNetworkControl* Network() { return dynamic_cast<TFormNetworkControl*>(FormNetworkControl); }

enum class TRig { Bare, Form, Log };

// The log lines reach the start menu's view, shown, as in the running
// program (the other rigs drop them).
void ShowLog(bool on)
{
    auto* view = FormStartMenu ? FormStartMenu->findChild<QWidget*>(QStringLiteral("MemoLog")) : nullptr;
    if (!view)
        return;
    if (on)
        SetDebugLogSink([](const QString& line) {
            if (TDiagnosticsLog* log = DiagnosticsLog())
                log->Add(line);
        });
    else
        SetDebugLogSink([](const QString&) {});
    FormStartMenu->setVisible(on);
    view->setVisible(on);
}

void RunCase(benchmark::State& state, TRig rig, const THostile& hostile)
{
    const bool form = rig != TRig::Bare;
    ShowLog(rig == TRig::Log);
    for (auto _ : state) {
        TSession bareSession;
        std::unique_ptr<TNetMonitor> bare;
        TNetMonitor* monitor = nullptr;
        if (form) {
            if (!Network()->StartMonitor(0)) {
                state.SkipWithError("no port");
                return;
            }
            monitor = &Network()->Monitor();
        } else {
            bare = std::make_unique<TNetMonitor>();
            bare->SetSession(&bareSession);
            bare->Start(0);
            monitor = bare.get();
        }
        const quint16 port = monitor->Port();
        int calm = -1;
        std::thread([&] { calm = CalmNode(port); }).join();
        if (!PumpUntil([&] { return monitor->RecordCount() == 16; }, 20000))
            state.SkipWithError("the calm node was not linked");
        Pump(500);

        std::atomic<bool> finished {false};
        std::atomic<bool> stop {false};
        THeartbeat heartbeat;
        std::thread peer([&] {
            hostile(port, stop);
            finished = true;
        });
        PumpUntil([&] { return finished.load(); }, 60000);
        stop = true;
        peer.join();
        Pump(1000);
        state.counters["worst_ms"] = heartbeat.Worst();
        state.counters["p99_ms"] = heartbeat.Percentile(0.99);
        state.counters["beats"] = double(heartbeat.Beats());
        state.counters["handled"] = monitor->FindShooterLink(QStringLiteral("LAST")) ? 1 : 0;
        state.counters["records"] = monitor->RecordCount();

        ::close(calm);
        if (form) {
            Network()->StopMonitor();
            if (FormShooterPanel)
                FormShooterPanel->CloseSession();
        } else {
            bare->Stop();
        }
        Pump(200);
    }
    ShowLog(false);
}

void SetUpProgram(const QTemporaryDir& scratch)
{
    QDir::setCurrent(QCoreApplication::applicationDirPath() + QStringLiteral("/../runtime"));
    UseScratchPorts(scratch);
    static TAnswerNo prompts;
    SetPrompts(&prompts);
    ApplicationStartup();
    SetDebugLogSink([](const QString&) {});
    CreateForms({[] { return static_cast<QWidget*>(new TFormNetworkControl); },
                 [] { return static_cast<QWidget*>(new TFormSendMessage); }});
    SetDebugLogSink([](const QString&) {});
    MiniXMLParser::TXMLNode* network = SettingsRoot()->FindNode(QString::fromLatin1(XmlNames::Network));
    network->SetAttributeValue(QString::fromLatin1(XmlNames::Mode), QString::fromLatin1(XmlNames::ModeMonitor));
    SessionMode = SessionMonitor;
    // Let the start-up's port scan pass before anything is timed.
    PumpUntil([] { return !(DeviceManagerInstance && DeviceManagerInstance->Scanning()); }, 10000);
    Pump(2000);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir scratch;
    qputenv("XDG_DATA_HOME", scratch.filePath(QStringLiteral("data")).toUtf8());
    TApplication app(argc, argv);
    TApplication::setQuitOnLastWindowClosed(false);
    SetUpProgram(scratch);

    const std::pair<const char*, THostile> cases[] = {{"Idle", Idle},
                                                      {"NeverReads", NeverReads},
                                                      {"Connections33", Connections33},
                                                      {"LongClosingTag", LongClosingTag},
                                                      {"StrayClosingTag", StrayClosingTag},
                                                      {"OverCapClosingTag", OverCapClosingTag},
                                                      {"DeepNesting", DeepNesting},
                                                      {"WideTree", WideTree},
                                                      {"ManyAttributes", ManyAttributes}};
    const std::pair<const char*, TRig> rigs[] = {{"bare", TRig::Bare}, {"form", TRig::Form}, {"log", TRig::Log}};
    for (const auto& [name, hostile] : cases)
        for (const auto& [rigName, rig] : rigs)
            benchmark::RegisterBenchmark((std::string("BM_NetStall/") + name + "/" + rigName).c_str(),
                                         [rig, hostile](benchmark::State& state) { RunCase(state, rig, hostile); })
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DestroyForms();
    ApplicationShutdown();
    SetPrompts(nullptr);
    return 0;
}

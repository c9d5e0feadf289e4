// Terminal throughput: received bytes per second through the escape
// interpreter and the screen buffer, alone and with the widget painting.
// The stream is log-like text with escape sequences mixed in (attributes,
// cursor moves, line erases, a clear screen now and then). The goal is 100
// times a 115200-baud line, about 1.1 MB/s, with the view.
#include "ComTerminal.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr std::size_t kBlock = 4096;
// One repaint per this many bytes: a 60 Hz refresh at about 1 MB/s.
constexpr std::size_t kBytesPerPaint = 16 * 1024;

std::string MakeStream()
{
    std::string stream;
    for (int line = 0; stream.size() < 256 * 1024; ++line) {
        if (line % 200 == 0)
            stream += "\x1b[2J\x1b[H";
        if (line % 25 == 0)
            stream += "\x1b[1;60f\x1b[7m status " + std::to_string(line) + " \x1b[0m\x1b[24;1f";
        stream += "\x1b[1m" + std::to_string(100000 + line) + "\x1b[0m  X=" + std::to_string(line * 37 % 9973) +
                  " Y=" + std::to_string(line * 53 % 8191) + "  \x1b[4mshot\x1b[24m ok\t\x1b[K\r\n";
    }
    return stream;
}

const std::string& Stream()
{
    static const std::string stream = MakeStream();
    return stream;
}

void BM_TerminalModel(benchmark::State& state)
{
    TComTermModel model;
    const std::string& stream = Stream();
    for (auto _ : state) {
        for (std::size_t done = 0; done < stream.size(); done += kBlock)
            model.RxBuf(stream.data() + done, std::min(kBlock, stream.size() - done));
        benchmark::DoNotOptimize(model.CaretRow());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
}
BENCHMARK(BM_TerminalModel)->Unit(benchmark::kMillisecond);

void BM_TerminalModelAndView(benchmark::State& state)
{
    TComTerminal terminal;
    terminal.resize(terminal.CharSize().width() * 80 + 24, terminal.CharSize().height() * 24 + 24);
    terminal.show();
    const std::string& stream = Stream();
    for (auto _ : state) {
        std::size_t sincePaint = 0;
        for (std::size_t done = 0; done < stream.size(); done += kBlock) {
            const std::size_t count = std::min(kBlock, stream.size() - done);
            terminal.RxBuf(stream.data() + done, int(count));
            sincePaint += count;
            if (sincePaint >= kBytesPerPaint) {
                terminal.viewport()->repaint();
                sincePaint = 0;
            }
        }
        QCoreApplication::processEvents();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
}
BENCHMARK(BM_TerminalModelAndView)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

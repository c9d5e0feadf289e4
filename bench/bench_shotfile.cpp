// Saving and loading whole session files: shooters with 60 shots each, every
// shot with a 200-point aiming trace. 8 shooters make about 3.75 MB; the
// argument is the number of shooters, so the times show how they grow.
//
// Each file is also loaded and written by the XML layer alone (the same
// document, without the shooter/shot/curve reading and writing), so the two
// layers can be compared side by side:
//   BM_XmlLoad  - TMiniXMLParser::LoadFromFile of the session file
//   BM_XmlSave  - Build and SaveToFile of that document's tree
//   BM_LoadSessionFile, BM_SaveSessionFile - the whole session file
#include "BenchShooter.h"
#include "Globals.h"
#include "MiniXMLParser.h"
#include "Shotdata.h"
#include "Shotfile.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {


// The session file of the given number of shooters, written once.
struct TSessionFile {
    explicit TSessionFile(int shooters)
        : session(MakeBenchSession(shooters, 60))
        , path(dir.filePath("bench.shotfile.xml"))
    {
        TShotFileHandler h;
        h.SetSession(session.get());
        h.BuildShotFile();
        h.Save(path);
    }
    void Report(benchmark::State& state) const
    {
        const qint64 size = QFileInfo(path).size();
        state.counters["MB"] = double(size) / 1e6;
        state.SetBytesProcessed(state.iterations() * size);
    }

    QTemporaryDir dir;
    std::unique_ptr<TSession> session;
    QString path;
};

void BM_XmlLoad(benchmark::State& state)
{
    const TSessionFile file(int(state.range(0)));
    for (auto _ : state) {
        MiniXMLParser::TMiniXMLParser doc;
        if (!doc.LoadFromFile(file.path))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(doc.Root());
    }
    file.Report(state);
}

void BM_XmlSave(benchmark::State& state)
{
    const TSessionFile file(int(state.range(0)));
    MiniXMLParser::TMiniXMLParser doc;
    if (!doc.LoadFromFile(file.path))
        state.SkipWithError("load failed");
    for (auto _ : state) {
        doc.Build();
        doc.SaveToFile();
    }
    file.Report(state);
}

void BM_SaveSessionFile(benchmark::State& state)
{
    const TSessionFile file(int(state.range(0)));
    for (auto _ : state) {
        TShotFileHandler h;
        h.SetSession(file.session.get());
        h.BuildShotFile();
        h.Save(file.path);
    }
    file.Report(state);
}

void BM_LoadSessionFile(benchmark::State& state)
{
    const TSessionFile file(int(state.range(0)));
    for (auto _ : state) {
        TShotFileHandler h;
        h.LoadShotFile(file.path);
        benchmark::DoNotOptimize(h.Session()->ShooterCount());
    }
    file.Report(state);
}

}  // namespace

BENCHMARK(BM_XmlLoad)->Arg(1)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSessionFile)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlSave)->Arg(1)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSessionFile)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

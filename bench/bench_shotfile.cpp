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
//
// BM_Session16Load and BM_Session16Save work on 16 shooters of 28 or 112 shots
// (about 3.5 and 14 MB). When the build found the yardstick library, the
// BM_Yardstick16 pair parses the same file into that library's DOM and writes
// that DOM back through the same atomic file writer, so bytes/s give the
// ratio side by side in one run. The session pair includes the session model
// (reading it from the tree, or the tree from it); BM_Xml16Parse and
// BM_Xml16Write are the like-for-like pair: the same file parsed into our tree
// only, and a loaded tree written back to the file only.
#include "BenchShooter.h"
#include "Globals.h"
#include "MiniXMLParser.h"
#include "Shotdata.h"
#include "Shotfile.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

#ifdef TRAXEL_XML_YARDSTICK
#include <pugixml.hpp>

#include <string>
#endif

namespace {


// The session file of the given number of shooters, written once.
struct TSessionFile {
    explicit TSessionFile(int shooters, int shots = 60)
        : session(MakeBenchSession(shooters, shots))
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

// Parses the file into the XML tree alone, once per iteration.
void ParseLoop(benchmark::State& state, const TSessionFile& file)
{
    for (auto _ : state) {
        MiniXMLParser::TMiniXMLParser doc;
        if (!doc.LoadFromFile(file.path))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(doc.Root());
    }
    file.Report(state);
}

void BM_XmlLoad(benchmark::State& state) { ParseLoop(state, TSessionFile(int(state.range(0)))); }

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

// The session read from the file, or built from the session and written,
// once per iteration.
void LoadSessionLoop(benchmark::State& state, const TSessionFile& file)
{
    for (auto _ : state) {
        TShotFileHandler h;
        h.LoadShotFile(file.path);
        benchmark::DoNotOptimize(h.Session()->ShooterCount());
    }
    file.Report(state);
}

void SaveSessionLoop(benchmark::State& state, const TSessionFile& file)
{
    for (auto _ : state) {
        TShotFileHandler h;
        h.SetSession(file.session.get());
        h.BuildShotFile();
        h.Save(file.path);
    }
    file.Report(state);
}

void BM_SaveSessionFile(benchmark::State& state) { SaveSessionLoop(state, TSessionFile(int(state.range(0)))); }

void BM_LoadSessionFile(benchmark::State& state) { LoadSessionLoop(state, TSessionFile(int(state.range(0)))); }

// 16 shooters, the argument is the shots per shooter.
void BM_Session16Load(benchmark::State& state) { LoadSessionLoop(state, TSessionFile(16, int(state.range(0)))); }

void BM_Session16Save(benchmark::State& state) { SaveSessionLoop(state, TSessionFile(16, int(state.range(0)))); }

void BM_Xml16Parse(benchmark::State& state) { ParseLoop(state, TSessionFile(16, int(state.range(0)))); }

void BM_Xml16Write(benchmark::State& state)
{
    const TSessionFile file(16, int(state.range(0)));
    MiniXMLParser::TMiniXMLParser doc;
    if (!doc.LoadFromFile(file.path))
        state.SkipWithError("load failed");
    for (auto _ : state)
        doc.BuildAndSave();
    file.Report(state);
}

#ifdef TRAXEL_XML_YARDSTICK
void BM_Yardstick16Load(benchmark::State& state)
{
    const TSessionFile file(16, int(state.range(0)));
    const std::string path = file.path.toStdString();
    for (auto _ : state) {
        pugi::xml_document doc;
        if (!doc.load_file(path.c_str()))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(doc.first_child());
    }
    file.Report(state);
}

void BM_Yardstick16Save(benchmark::State& state)
{
    const TSessionFile file(16, int(state.range(0)));
    pugi::xml_document doc;
    if (!doc.load_file(file.path.toStdString().c_str()))
        state.SkipWithError("load failed");
    struct TWriter : pugi::xml_writer {
        std::string bytes;
        void write(const void* data, size_t size) override { bytes.append(static_cast<const char*>(data), size); }
    };
    for (auto _ : state) {
        TWriter w;
        doc.save(w, " ", pugi::format_indent | pugi::format_write_bom, pugi::encoding_utf8);
        WriteFileAtomically(file.path, QByteArray(w.bytes.data(), qsizetype(w.bytes.size())));
    }
    file.Report(state);
}
#endif

}  // namespace

BENCHMARK(BM_Session16Load)->Arg(28)->Arg(112)->Unit(benchmark::kMillisecond);
#ifdef TRAXEL_XML_YARDSTICK
BENCHMARK(BM_Yardstick16Load)->Arg(28)->Arg(112)->Unit(benchmark::kMillisecond);
#endif
BENCHMARK(BM_Xml16Parse)->Arg(28)->Arg(112)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Session16Save)->Arg(28)->Arg(112)->Unit(benchmark::kMillisecond);
#ifdef TRAXEL_XML_YARDSTICK
BENCHMARK(BM_Yardstick16Save)->Arg(28)->Arg(112)->Unit(benchmark::kMillisecond);
#endif
BENCHMARK(BM_Xml16Write)->Arg(28)->Arg(112)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlLoad)->Arg(1)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSessionFile)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlSave)->Arg(1)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSessionFile)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

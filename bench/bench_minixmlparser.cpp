// Load and Build throughput of session-like documents: shooters with 60 shots
// each, every shot with its ShotInfo and a 200-point aiming curve. Scale 1 is
// 8 shooters (about 5 MB), scale 4 is 32.
#include "Globals.h"
#include "MiniXMLParser.h"
#include "XmlNames.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace MiniXMLParser;
namespace N = XmlNames;

namespace {

struct TDocument {
    QStringList Lines;
    QByteArray Bytes;  // the file as SaveToFile writes it
};

TDocument MakeDocument(int scale)
{
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> coord(-900, 900);
    TMiniXMLParser doc;
    TXMLNode* root = doc.Root();
    root->SetName(N::ShotFile);
    root->SetAttributeValue(N::CreatedBy, N::CreatedByValue);
    TXMLNode* info = root->AddNode(N::SessionInfo);
    info->AddNode(N::Name, "Benchmark session");
    info->AddNode(N::Date, "2024-05-17 10:00");
    root->AddNode(N::TargetInfo)->AddNode(N::Target)->SetAttributeValue(N::Type, N::Ring);
    for (int s = 0; s < 8 * scale; ++s) {
        TXMLNode* shooter = root->AddNode(N::Shooter);
        shooter->SetAttributeFloat(N::ShooterIndex, s + 1);
        shooter->SetAttributeValue(N::Name, QString("Shooter %1").arg(s + 1));
        shooter->SetAttributeValue(N::Team, "Team 1");
        shooter->SetAttributeValue(N::SerialNumber, QString("SN%1").arg(1000 + s));
        for (int k = 0; k < 60; ++k) {
            TXMLNode* shot = shooter->AddNode(N::Shot);
            shot->SetAttributeFloat(N::ShotIndex, k);
            shot->SetAttributeFloat(N::X, coord(rng) * 0.1);
            shot->SetAttributeFloat(N::Y, coord(rng) * 0.1);
            shot->SetAttributeFloat(N::XNAU, coord(rng));
            shot->SetAttributeFloat(N::YNAU, coord(rng));
            shot->SetAttributeFloat(N::Revalm, coord(rng) * 0.1);
            shot->SetAttributeValue(N::FunctionMode, N::Classic);
            TXMLNode* si = shot->AddNode(N::ShotInfo);
            si->AddNode(N::Score, "9,7")->SetAttributeFloat(N::X, 0);
            si->AddNode(N::Sector, "3");
            si->AddNode(N::RingTarget, "0");
            si->AddNode(N::StartupCounter, "12");
            si->AddNode(N::Time, QString::number(100000 + k * 500));
            si->AddNode(N::Rotation, "-4");
            si->AddNode(N::AimingTime, "1800");
            TXMLNode* curve = shot->AddNode(N::Curve);
            curve->SetAttributeFloat(N::HitSampleIndex, -1);
            for (int i = 0; i < 200; ++i) {
                TXMLNode* pt = curve->AddNode(N::Pt);
                pt->SetAttributeFloat(N::PtIndex, i);
                pt->SetAttributeFloat(N::X, coord(rng) * 0.1);
                pt->SetAttributeFloat(N::Y, coord(rng) * 0.1);
            }
        }
    }
    doc.Build();
    TDocument d;
    d.Lines = doc.Lines();
    d.Bytes = "\xEF\xBB\xBF" + d.Lines.join("\r\n").toUtf8() + "\r\n";
    return d;
}

const TDocument& Document(int scale)
{
    static const TDocument one = MakeDocument(1);
    static const TDocument four = MakeDocument(4);
    return scale == 1 ? one : four;
}

void BM_Load(benchmark::State& state)
{
    const TDocument& d = Document(int(state.range(0)));
    TMiniXMLParser doc;
    for (auto _ : state) {
        doc.Lines() = d.Lines;
        if (!doc.Load())
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(doc.Root());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * d.Bytes.size());
    state.counters["MB"] = double(d.Bytes.size()) / 1e6;
}

void BM_Build(benchmark::State& state)
{
    const TDocument& d = Document(int(state.range(0)));
    TMiniXMLParser doc;
    doc.Lines() = d.Lines;
    if (!doc.Load())
        state.SkipWithError("load failed");
    for (auto _ : state) {
        doc.Build();
        benchmark::DoNotOptimize(doc.Lines().size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * d.Bytes.size());
}

// Decoding and line splitting on top of Load, as LoadFromFile does after reading.
void BM_LoadFromBytes(benchmark::State& state)
{
    const TDocument& d = Document(int(state.range(0)));
    TMiniXMLParser doc;
    for (auto _ : state) {
        if (!doc.LoadFromBytes(d.Bytes))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(doc.Root());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * d.Bytes.size());
}

// A root named "b" plus n "a"s, closed by "</" plus n "a"s plus the name: the
// lenient closing-tag match must stay linear (3n bytes; n = 1,000,000 is 3 MB).
void BM_LongClosingTag(benchmark::State& state)
{
    const QByteArray a(state.range(0), 'a');
    const QByteArray bytes = "<b" + a + ">\n</" + a + "b" + a + ">\n";
    TMiniXMLParser doc;
    for (auto _ : state) {
        if (!doc.LoadFromBytes(bytes))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(doc.Root());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
    state.counters["MB"] = double(bytes.size()) / 1e6;
}

}  // namespace

BENCHMARK(BM_LongClosingTag)->Arg(250000)->Arg(500000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Build)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFromBytes)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

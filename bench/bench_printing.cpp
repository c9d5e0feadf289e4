// A two-page printout to PDF, as the shooter list prints a session: two
// shooters, each shown by a review viewer, with 60 graded shots on a ring
// and silhouette target; one print dialog, then one page per shooter on the
// program's high-resolution printer. The goal is well under a second.
#include "AppPaths.h"
#include "AppSettings.h"
#include "FormShooter.h"
#include "MiniXMLParser.h"
#include "Printing.h"
#include "Prompts.h"
#include "Shotdata.h"
#include "UiBitmaps.h"
#include "UiGlobals.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kShots = 60;
constexpr int kSamples = 200;

TargetDescription MakeTarget()
{
    TargetDescription t;
    t.hasRing = 1;
    t.ringRecord.SetNameText(QStringLiteral("Bench ring"));
    t.ringRecord.SetHighestRing(10);
    t.ringRecord.SetMinimumRing(1);
    t.ringRecord.SetDiameterHighestRing(80);
    t.ringRecord.SetHitRingGap(80);
    t.ringRecord.SetDiameterBlackArea(600);
    t.ringRecord.SetDiameterInnerWhite(100);
    t.ringRecord.SetDiameterX(40);
    t.ringRecord.SetNominalDistance(100);
    t.ringRecord.SetCaliber(450);
    t.hasSilhouette = 1;
    t.silhouetteRecord.SetNameText(QStringLiteral("Bench silhouette"));
    t.silhouetteRecord.SetSize(200);
    t.silhouetteRecord.SetNominalDistance(100);
    for (int c = 0; c < 64; ++c) {
        for (int r = 0; r < 64; ++r) {
            const int dx = c - 32;
            int zone = (r >= 20 && dx * dx < 196) ? 1 : 0;
            if (r >= 24 && r < 36 && dx * dx < 25)
                zone = 2;
            if (zone == 0 && r >= 18 && dx * dx < 256)
                zone = 3;
            t.silhouetteMatrix.SetCell(c, r, zone);
        }
    }
    return t;
}

TShooter* AddShooter(TSession& session, const QString& name, const TargetDescription& target, unsigned seed)
{
    auto shooter = std::make_unique<TShooter>();
    shooter->name = name;
    shooter->targets.ringTargets[0] = target.ringRecord;
    shooter->targets.ringDefined[0] = 1;
    shooter->targets.silhouetteTargets[0] = target.silhouetteRecord;
    shooter->targets.silhouetteMatrices[0] = target.silhouetteMatrix;
    shooter->targets.silhouetteDefined[0] = 1;
    shooter->currentTarget = target;
    for (int s = 0; s < kShots; ++s) {
        auto shot = std::make_unique<TShot>();
        seed = seed * 1103515245u + 12345u;
        shot->raw.SetShotNumber(s + 1);
        shot->raw.SetFunctionMode(1);
        shot->raw.SetRingTargetIndex(0);
        shot->raw.SetSilhouetteTargetIndex(0);
        shot->raw.SetStartupCounter(1);
        shot->raw.SetX(int((seed >> 16) % 600) - 300);
        shot->raw.SetY(int((seed >> 4) % 600) - 300);
        shot->raw.SetScore(60 + int(seed % 49));
        shot->raw.SetClockSector(1 + s % 12);
        shot->raw.SetSilhouette(1 + s % 3);
        shot->raw.SetTime(uint32_t(66 + s * 300));
        shot->shotNumber = s + 1;
        shot->AllocateCurve(kSamples);
        for (int i = 0; i < kSamples; ++i) {
            seed = seed * 1103515245u + 12345u;
            shot->Curve()[i].SetX((kSamples - i) * 2 + int((seed >> 16) % 21) - 10);
            shot->Curve()[i].SetY((kSamples - i) + int((seed >> 8) % 21) - 10);
        }
        shooter->AddShot(std::move(shot));
    }
    return session.AddShooter(std::move(shooter));
}

// Confirms every print dialog with a PDF file.
class TPdfPrompts final : public IPrompts {
public:
    explicit TPdfPrompts(QString path)
        : path_(std::move(path))
    {
    }
    TMsgResult MessageBox(const QString& text, const QString&, TMsgButtons) override
    {
        qWarning("%s", qUtf8Printable(text));
        return TMsgResult::OK;
    }
    bool PrintDialog(QPrinter* printer) override
    {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(path_);
        return true;
    }

private:
    QString path_;
};

void BM_PrintTwoShooterPagesToPdf(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString pdf = folder.path() + QStringLiteral("/session.pdf");
    TPdfPrompts prompts(pdf);
    IPrompts* saved = SetPrompts(&prompts);

    TSession session;
    CurrentSession = &session;
    session.date = QStringLiteral("07.12.2026");
    const TargetDescription target = MakeTarget();
    std::vector<TShooter*> shooters;
    std::vector<std::unique_ptr<TFormShooter>> viewers;
    for (int i = 0; i < 2; ++i) {
        shooters.push_back(AddShooter(session, QStringLiteral("Shooter %1").arg(i + 1), target, 4711u + unsigned(i)));
        viewers.push_back(std::make_unique<TFormShooter>());
        ShooterViewers.push_back(viewers.back().get());
        viewers.back()->resize(640, 720);
        AttachShooterView(viewers.back().get(), nullptr, shooters.back(), false);
    }

    for (auto _ : state)
        PrintShooterPages(shooters);

    const qint64 bytes = QFileInfo(pdf).size() + QFileInfo(TPrinterDevice::NumberedFileName(pdf, 1)).size();
    state.counters["pdf_kB"] = double(bytes) / 1024.0;
    ShooterViewers.clear();
    viewers.clear();
    CurrentSession = nullptr;
    SetPrompts(saved);
}

} // namespace

BENCHMARK(BM_PrintTwoShooterPagesToPdf)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The program's folder with Bitmaps/ and the grading file beside the
    // build's bench folder.
    QDir::setCurrent(QCoreApplication::applicationDirPath() + QStringLiteral("/../runtime"));
    SetAppFolder(QDir::currentPath());
    LoadUIBitmaps();
    LoadShotStringBitmaps();
    LoadStatusBitmaps();
    auto settings = std::make_unique<MiniXMLParser::TXMLNode>();
    settings->SetName(QStringLiteral("TRAXELAppSettings"));
    SetSettingsRoot(std::move(settings));
    SetDefaultSettings();
    SessionMode = SessionClassic;

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

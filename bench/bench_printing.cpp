// A two-page printout to PDF, as the shooter list prints a session: two
// shooters, each shown by a review viewer, with 60 graded shots on a ring
// and silhouette target; one print dialog, then one page per shooter on the
// program's high-resolution printer. The goal is well under a second.
#include "AppPaths.h"
#include "AppSettings.h"
#include "BenchProgram.h"
#include "BenchShooter.h"
#include "FormShooter.h"
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

TShooter* AddShooter(TSession& session, const QString& name, const TargetDescription& target, unsigned seed)
{
    auto shooter = MakeBenchShooter(target, seed);
    shooter->name = name;
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
    const TargetDescription target = MakeBenchTarget();
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
    SetUpBenchProgram();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

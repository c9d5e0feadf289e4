#include "Printing.h"

#include "FormShooter.h"
#include "Globals.h"
#include "Prompts.h"
#include "Shotdata.h"
#include "Translation.h"
#include "UiGlobals.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPageLayout>
#include <QPrinter>

#include <algorithm>
#include <exception>
#include <memory>

namespace {

QPrinter* SharedPrinter = nullptr;

// Runs while the application object goes, before the print plugins unload.
void FreeSharedPrinter()
{
    delete SharedPrinter;
    SharedPrinter = nullptr;
}

constexpr double MmPerInch = 25.4;

} // namespace

QPrinter& ThePrinter()
{
    if (!SharedPrinter) {
        SharedPrinter = new QPrinter(QPrinter::HighResolution);
        qAddPostRoutine(FreeSharedPrinter);
    }
    return *SharedPrinter;
}

// ---- The printer as a print device ---------------------------------------------------------------

TPrinterDevice::TPrinterDevice(QPrinter& printer)
    : printer_(printer)
{
}

TPrinterDevice::~TPrinterDevice()
{
    if (painter_.isActive())
        painter_.end();
}

bool TPrinterDevice::ExecuteDialog() { return Prompts().PrintDialog(&printer_); }

QPainter* TPrinterDevice::BeginDoc()
{
    if (painter_.isActive() || !painter_.begin(&printer_)) {
        DebugLog(QStringLiteral("Printer %1 cannot start a document").arg(printer_.printerName()));
        return nullptr;
    }
    return &painter_;
}

bool TPrinterDevice::EndDoc()
{
    if (!painter_.isActive())
        return false;
    const bool ended = painter_.end();
    return ended && printer_.printerState() != QPrinter::Error;
}

QSize TPrinterDevice::PageSizePixels() const { return QSize(printer_.width(), printer_.height()); }

QSizeF TPrinterDevice::PaperSizeMm() const
{
    return printer_.pageLayout().fullRect(QPageLayout::Millimeter).size();
}

double TPrinterDevice::PixelsPerMm() const { return printer_.resolution() / MmPerInch; }

QString TPrinterDevice::FreeNumberedFileName(const QString& chosen, int& number)
{
    QString name;
    do
        name = NumberedFileName(chosen, number++ - 1);
    while (QFileInfo::exists(name));
    return name;
}

QString TPrinterDevice::NumberedFileName(const QString& chosen, int document)
{
    if (document <= 0 || chosen.isEmpty())
        return chosen;
    const QFileInfo info(chosen);
    const QString suffix = info.suffix();
    QString base = chosen;
    if (!suffix.isEmpty())
        base.chop(suffix.size() + 1);
    const QString numbered = base + QStringLiteral(" (%1)").arg(document + 1);
    return suffix.isEmpty() ? numbered : numbered + QLatin1Char('.') + suffix;
}

// ---- The viewer as the printout sees it --------------------------------------------------------

TShooter* TViewerPrintView::Shooter() const { return viewer_->Shooter(); }

void TViewerPrintView::PrepareForPrint() { viewer_->PrepareForPrint(); }

const TTargetRenderer& TViewerPrintView::Renderer() const { return viewer_->Renderer(); }

const TShotString& TViewerPrintView::Strip() const { return viewer_->Strip(); }

// ---- Printing shooters -------------------------------------------------------------------------

void PrintShooterPages(const std::vector<TShooter*>& shooters)
{
    QPrinter& printer = ThePrinter();
    TPrinterDevice device(printer);
    TThePrintManager manager;
    manager.Printer = &device;
    // The page is laid out upright; a true-size print before may have left
    // the shared printer in landscape.
    printer.setPageOrientation(QPageLayout::Portrait);
    if (!manager.ExecutePrintDialog())
        return;

    std::vector<std::unique_ptr<TViewerPrintView>> owned;
    std::vector<IShooterPrintView*> views;
    for (TFormShooter* viewer : ShooterViewers) {
        if (!viewer)
            continue;
        owned.push_back(std::make_unique<TViewerPrintView>(viewer));
        views.push_back(owned.back().get());
    }
    const auto shown = [&](const TShooter* shooter) {
        return std::any_of(views.begin(), views.end(), [&](const IShooterPrintView* v) { return v->Shooter() == shooter; });
    };

    // The operator chose the first file; the later ones take the next number
    // whose file does not exist yet, so that no file is overwritten unasked.
    const QString chosen = printer.outputFileName();
    QStringList failed;
    int documents = 0;
    int number = 2;
    BeginBusyCursor();
    for (TShooter* shooter : shooters) {
        // A shooter no viewer shows has no page.
        if (!shooter || !shown(shooter))
            continue;
        if (!chosen.isEmpty())
            printer.setOutputFileName(documents == 0 ? chosen : TPrinterDevice::FreeNumberedFileName(chosen, number));
        ++documents;
        manager.Shooter = shooter;
        bool printed = false;
        try {
            printed = manager.PrintShooter(views);
        } catch (const std::exception& e) {
            DebugLog(QStringLiteral("Print: %1").arg(QString::fromUtf8(e.what())));
        }
        if (!printed) {
            failed << (shooter->name.isEmpty() ? QStringLiteral("%1 %2").arg(Translate(QStringLiteral("Shooter")))
                                                                         .arg(shooter->index + 1)
                                               : shooter->name);
        }
    }
    EndBusyCursor();
    printer.setOutputFileName(chosen);
    if (!failed.isEmpty())
        Prompts().MessageBox(Translate(QStringLiteral("Printing failed")) + QStringLiteral(":\n") + failed.join(QLatin1Char('\n')),
                             Translate(QStringLiteral("Error")), TMsgButtons::OK);
}

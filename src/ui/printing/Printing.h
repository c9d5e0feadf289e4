// The program's printer and the printing roads of the screens.
//
// GUI thread only. One printer serves every print: the print dialog sets it
// up once and later prints keep that choice. It is high resolution, made on
// first use and freed when the application object goes.
#pragma once

#include "Printmanager.h"

#include <QPainter>
#include <QString>

#include <vector>

class QPrinter;
class TFormShooter;
class TShooter;

QPrinter& ThePrinter();

// The printer as the print manager draws on it. Each document is one print
// job. A session printed to a file puts its second and later documents under
// numbered names beside the chosen one ("out.pdf", "out (2).pdf"), skipping
// names whose files exist, so that it keeps every shooter's page.
class TPrinterDevice final : public IPrintDevice {
public:
    explicit TPrinterDevice(QPrinter& printer);
    ~TPrinterDevice() override;

    bool ExecuteDialog() override;
    QPainter* BeginDoc() override;
    bool EndDoc() override;
    QSize PageSizePixels() const override;
    QSizeF PaperSizeMm() const override;
    double PixelsPerMm() const override;

    // The file a document with this number (0-based) is written to when the
    // printer prints to chosen.
    static QString NumberedFileName(const QString& chosen, int document);
    // The first numbered name from number on ("out (2).pdf" for 2) whose file
    // does not exist; number is left one past it.
    static QString FreeNumberedFileName(const QString& chosen, int& number);

private:
    QPrinter& printer_;
    QPainter painter_;
    QString chosenFile_;
    int documents_ = 0;
};

// A viewer as the print manager sees it.
class TViewerPrintView final : public IShooterPrintView {
public:
    explicit TViewerPrintView(TFormShooter* viewer)
        : viewer_(viewer)
    {
    }
    TShooter* Shooter() const override;
    void PrepareForPrint() override;
    const TTargetRenderer& Renderer() const override;
    const TShotString& Strip() const override;

private:
    TFormShooter* viewer_;
};

// After one print dialog (which starts from portrait), prints each shooter's
// page as a document of its own, in the given order, through the open
// viewers. Nothing when the dialog is cancelled; the shooters whose page
// failed are named in one message at the end.
void PrintShooterPages(const std::vector<TShooter*>& shooters);

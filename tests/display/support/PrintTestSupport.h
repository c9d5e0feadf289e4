// Printers for the print manager's tests: pages kept as images, or PDF files
// read back with the poppler tools (each word with its box in millimetres),
// and a viewer over a shooter as the printout sees it.
#pragma once

#include "Printmanager.h"
#include "Prompts.h"
#include "Shotstring.h"
#include "Targetrenderer.h"

#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QPdfWriter;

// Prompts that answer OK and keep the texts of the boxes asked for.
class TRecordingPrompts final : public IPrompts {
public:
    TMsgResult MessageBox(const QString& text, const QString&, TMsgButtons) override
    {
        texts << text;
        return TMsgResult::OK;
    }
    QStringList texts;
};

// A printer whose documents are images of paper size at pixelsPerMm, drawn
// edge to edge.
class TImageDevice final : public IPrintDevice {
public:
    TImageDevice(QSizeF paperMm, double pixelsPerMm);
    bool ExecuteDialog() override { return answer; }
    QPainter* BeginDoc() override;
    bool EndDoc() override;
    QSize PageSizePixels() const override;
    QSizeF PaperSizeMm() const override { return paper; }
    double PixelsPerMm() const override { return scale; }

    QSizeF paper;
    double scale;
    bool answer = true;
    int begun = 0;
    QImage page;
    QPainter painter;
    std::vector<QImage> pages;
};

// A printer whose one document is a PDF file of the given paper, printed to
// the paper's edge at 600 dpi.
class TPdfDevice final : public IPrintDevice {
public:
    TPdfDevice(const QString& path, QPageSize::PageSizeId paper, bool landscape);
    ~TPdfDevice() override;
    bool ExecuteDialog() override { return true; }
    QPainter* BeginDoc() override;
    bool EndDoc() override;
    QSize PageSizePixels() const override;
    QSizeF PaperSizeMm() const override;
    double PixelsPerMm() const override;

    QString path;

private:
    std::unique_ptr<QPdfWriter> writer_;
    QPainter painter_;
};

// One word of a PDF page as pdftotext finds it, its box in mm from the top
// left of the paper.
struct TPdfWord {
    QString text;
    QRectF box;
};
// The words of the first page; empty when the file cannot be read.
std::vector<TPdfWord> PdfWords(const QString& pdf);
// The words whose boxes lie inside area (mm), in reading order: rows top
// down (words whose tops differ by less than half a word's height share a
// row), each row left to right.
std::vector<std::vector<TPdfWord>> PdfRows(const std::vector<TPdfWord>& words, const QRectF& area);
// The texts of a row's words.
QStringList Texts(const std::vector<TPdfWord>& row);

// A viewer: its own renderer and strip over the shooter.
class TTestView final : public IShooterPrintView {
public:
    TTestView(TShooter* shooter, const TargetDescription& target);
    TShooter* Shooter() const override { return shooter_; }
    void PrepareForPrint() override;
    const TTargetRenderer& Renderer() const override { return renderer; }
    const TShotString& Strip() const override { return strip; }

    TTargetRenderer renderer;
    TShotString strip;
    int prepared = 0;

private:
    TShooter* shooter_;
};

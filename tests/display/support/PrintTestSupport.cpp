#include "PrintTestSupport.h"

#include <QPageLayout>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr double MmPerPoint = 25.4 / 72.0;
constexpr int PdfDpi = 600;

} // namespace

TImageDevice::TImageDevice(QSizeF paperMm, double pixelsPerMm)
    : paper(paperMm)
    , scale(pixelsPerMm)
{
}

QPainter* TImageDevice::BeginDoc()
{
    ++begun;
    page = QImage(PageSizePixels(), QImage::Format_RGB32);
    page.fill(Qt::white);
    painter.begin(&page);
    return &painter;
}

bool TImageDevice::EndDoc()
{
    painter.end();
    pages.push_back(page);
    return true;
}

QSize TImageDevice::PageSizePixels() const { return QSize(int(paper.width() * scale), int(paper.height() * scale)); }

TPdfDevice::TPdfDevice(const QString& file, QPageSize::PageSizeId paper, bool landscape)
    : path(file)
    , writer_(std::make_unique<QPdfWriter>(file))
{
    writer_->setResolution(PdfDpi);
    writer_->setPageLayout(QPageLayout(QPageSize(paper), landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                       QMarginsF(0, 0, 0, 0)));
}

TPdfDevice::~TPdfDevice()
{
    if (painter_.isActive())
        painter_.end();
}

QPainter* TPdfDevice::BeginDoc() { return painter_.begin(writer_.get()) ? &painter_ : nullptr; }

bool TPdfDevice::EndDoc() { return painter_.end(); }

QSize TPdfDevice::PageSizePixels() const { return QSize(writer_->width(), writer_->height()); }

QSizeF TPdfDevice::PaperSizeMm() const { return writer_->pageLayout().fullRect(QPageLayout::Millimeter).size(); }

double TPdfDevice::PixelsPerMm() const { return PdfDpi / 25.4; }

std::vector<TPdfWord> PdfWords(const QString& pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"),
                  { QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                    QStringLiteral("1"), pdf, QStringLiteral("-") });
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    const QString html = QString::fromUtf8(process.readAllStandardOutput());
    static const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    std::vector<TPdfWord> words;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const auto mm = [&](int i) { return m.captured(i).toDouble() * MmPerPoint; };
        QString text = m.captured(5);
        text.replace(QStringLiteral("&amp;"), QStringLiteral("&"))
            .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&quot;"), QStringLiteral("\""));
        words.push_back({ text, QRectF(QPointF(mm(1), mm(2)), QPointF(mm(3), mm(4))) });
    }
    return words;
}

std::vector<std::vector<TPdfWord>> PdfRows(const std::vector<TPdfWord>& words, const QRectF& area)
{
    std::vector<TPdfWord> inside;
    for (const TPdfWord& w : words)
        if (area.contains(w.box))
            inside.push_back(w);
    std::sort(inside.begin(), inside.end(), [](const TPdfWord& a, const TPdfWord& b) { return a.box.top() < b.box.top(); });
    std::vector<std::vector<TPdfWord>> rows;
    for (const TPdfWord& w : inside) {
        if (rows.empty() || w.box.top() - rows.back().front().box.top() >= w.box.height() / 2)
            rows.emplace_back();
        rows.back().push_back(w);
    }
    for (auto& row : rows)
        std::sort(row.begin(), row.end(), [](const TPdfWord& a, const TPdfWord& b) { return a.box.left() < b.box.left(); });
    return rows;
}

QStringList Texts(const std::vector<TPdfWord>& row)
{
    QStringList texts;
    for (const TPdfWord& w : row)
        texts << w.text;
    return texts;
}

TTestView::TTestView(TShooter* shooter, const TargetDescription& target)
    : shooter_(shooter)
{
    renderer.Target = target;
    renderer.Shooter = shooter;
    renderer.SetSize(300, 300);
}

void TTestView::PrepareForPrint()
{
    ++prepared;
    renderer.SelectedShot = nullptr;
    renderer.Render(TTargetRenderer::ViewAllShots);
    strip.SetShots(shooter_);
    strip.Draw();
}

#include "ComTerminal.h"

#include "Globals.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QtMath>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int RefreshMs = 15;
constexpr int BlinkMs = 500;

QColor ToQColor(TTermColor color)
{
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

TTermColor FromQColor(const QColor& color)
{
    return TermRGB(color.red(), color.green(), color.blue());
}

bool SameLook(const TComTermChar& a, const TComTermChar& b)
{
    return a.FrontColor == b.FrontColor && a.BackColor == b.BackColor && a.Underline == b.Underline;
}

// The bytes a typed key sends: control keys by their code, Ctrl+letter as
// its control character, text in the 8-bit code page; empty for the rest.
QByteArray KeyBytes(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return QByteArray(1, '\r');
    case Qt::Key_Backspace: return QByteArray(1, '\b');
    case Qt::Key_Tab: return QByteArray(1, '\t');
    case Qt::Key_Escape: return QByteArray(1, '\x1b');
    default: break;
    }
    if ((event.modifiers() & Qt::ControlModifier) && event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
        return QByteArray(1, char(event.key() - Qt::Key_A + 1));
    return event.text().isEmpty() ? QByteArray() : ToCodePage(event.text());
}

} // namespace

TCustomComTerminal::TCustomComTerminal(QWidget* parent)
    : QAbstractScrollArea(parent), FModel(this), FRelay(this), FCaretTimer(new QTimer(this)),
      FRefreshTimer(new QTimer(this))
{
    const QFontMetricsF metrics(TerminalFont());
    FCharSize = QSize(std::max(qRound(metrics.horizontalAdvance(QStringLiteral("WWWWWWWWWW")) / 10), 1),
                      std::max(qCeil(metrics.height()), 1));
    FAscent = qRound(metrics.ascent());
    viewport()->setFont(TerminalFont());
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    resize(400, 250);

    FCaretTimer->setObjectName(QStringLiteral("TimerCaret"));
    FCaretTimer->setInterval(BlinkMs);
    connect(FCaretTimer, &QTimer::timeout, this, &TCustomComTerminal::BlinkCaret);
    FRefreshTimer->setObjectName(QStringLiteral("TimerRefresh"));
    FRefreshTimer->setSingleShot(true);
    FRefreshTimer->setInterval(RefreshMs);
    connect(FRefreshTimer, &QTimer::timeout, viewport(), qOverload<>(&QWidget::update));

    FRelay.SetRxHandler([this](std::string bytes) { RxBuf(bytes.data(), int(bytes.size())); });
    FRelay.SetRemovedHandler([this] { viewport()->update(); });
    ModelTouched();
}

TCustomComTerminal::~TCustomComTerminal()
{
    FRelay.Detach();
}

QFont TCustomComTerminal::TerminalFont()
{
    static const QFont font = [] {
        QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPointSize(9);
        f.setStyleHint(QFont::Monospace);
        f.setFixedPitch(true);
        // Whole-pixel cells: the spacing takes up the fraction of the advance,
        // so a run of text ends exactly where its cells end.
        const qreal advance = QFontMetricsF(f).horizontalAdvance(QLatin1Char('W'));
        f.setLetterSpacing(QFont::AbsoluteSpacing, std::max<qreal>(qRound(advance), 1) - advance);
        return f;
    }();
    return font;
}

template <class F>
void TCustomComTerminal::Guarded(F&& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        ReportError(e.what());
    } catch (...) {
        ReportError("unknown error");
    }
    ModelTouched();
}

void TCustomComTerminal::ReportError(const char* what)
{
    const QString message = QString::fromUtf8(what);
    DebugLog(QStringLiteral("Terminal: %1").arg(message));
    Q_EMIT PortError(message);
}

// ---- Port ---------------------------------------------------------------------------------

void TCustomComTerminal::SetComPort(TCustomComPort* port)
{
    try {
        FRelay.Attach(port);
    } catch (const std::exception& e) {
        ReportError(e.what());
    }
}

bool TCustomComTerminal::Connected() const
{
    return PortOpen();
}

void TCustomComTerminal::SetConnected(bool on)
{
    if (FRelay.Port())
        FRelay.Port()->SetConnected(on);
}

bool TCustomComTerminal::PortOpen() const
{
    return FRelay.Port() && FRelay.Port()->Connected();
}

void TCustomComTerminal::SendBytes(const std::string& bytes)
{
    try {
        FRelay.Port()->Write(bytes.data(), int(bytes.size()));
    } catch (const std::exception& e) {
        ReportError(e.what());
    } catch (...) {
        ReportError("unknown error");
    }
}

void TCustomComTerminal::NotifyStringReceived(const std::string& text)
{
    Q_EMIT StringReceived(QByteArray(text.data(), qsizetype(text.size())));
}

void TCustomComTerminal::NotifyCharPut(uint8_t c)
{
    Q_EMIT CharPut(char(c));
}

void TCustomComTerminal::NotifyUnhandledCode(TEscapeCode code, const TEscapeParams& params)
{
    QStringList texts;
    for (const std::string& p : params)
        texts << QString::fromStdString(p);
    Q_EMIT UnhandledCode(int(code), texts);
}

void TCustomComTerminal::RxBuf(const void* data, int count)
{
    Guarded([&] { FModel.RxBuf(data, std::size_t(std::max(count, 0))); });
}

// ---- Settings ---------------------------------------------------------------------------------

void TCustomComTerminal::SetColumns(int columns)
{
    FModel.SetColumns(columns);
    ModelTouched();
}

void TCustomComTerminal::SetRows(int rows)
{
    FModel.SetRows(rows);
    ModelTouched();
}

void TCustomComTerminal::SetCaret(TTermCaret caret)
{
    FModel.SetCaret(caret);
    ModelTouched();
}

QColor TCustomComTerminal::FontColor() const { return ToQColor(FModel.FontColor()); }
QColor TCustomComTerminal::BackColor() const { return ToQColor(FModel.BackColor()); }
QColor TCustomComTerminal::AltColor() const { return ToQColor(FModel.AltColor()); }

void TCustomComTerminal::SetFontColor(const QColor& color)
{
    FModel.SetFontColor(FromQColor(color));
    ModelTouched();
}

void TCustomComTerminal::SetBackColor(const QColor& color)
{
    FModel.SetBackColor(FromQColor(color));
    ModelTouched();
}

void TCustomComTerminal::SetAltColor(const QColor& color)
{
    FModel.SetAltColor(FromQColor(color));
}

// ---- Screen ------------------------------------------------------------------------------------

void TCustomComTerminal::WriteStr(const QByteArray& text)
{
    Guarded([&] { FModel.WriteStr(std::string_view(text.constData(), std::size_t(text.size()))); });
}

void TCustomComTerminal::ClearScreen()
{
    FModel.ClearScreen();
    ModelTouched();
}

void TCustomComTerminal::LoadFromStream(std::istream& in)
{
    Guarded([&] { FModel.LoadFromStream(in); });
}

void TCustomComTerminal::SendChar(uint8_t c)
{
    Guarded([&] { FModel.SendChar(c); });
}

void TCustomComTerminal::SendCode(TEscapeCode code, const TEscapeParams& params)
{
    Guarded([&] { FModel.SendCode(code, params); });
}

QPoint TCustomComTerminal::TopLeft() const
{
    return QPoint(horizontalScrollBar()->value() + 1, verticalScrollBar()->value() + 1);
}

void TCustomComTerminal::ModelTouched()
{
    if (FModel.TakeSizeChanged())
        UpdateScrollBars();
    if (!FModel.TakeChanged())
        return;
    FCaretShown = true;
    if (FCaretTimer->isActive())
        FCaretTimer->start();
    if (!FRefreshTimer->isActive())
        FRefreshTimer->start();
}

void TCustomComTerminal::UpdateScrollBars()
{
    const int visibleColumns = std::max(viewport()->width() / FCharSize.width(), 1);
    const int visibleRows = std::max(viewport()->height() / FCharSize.height(), 1);
    // setRange also pulls the current top-left cell back into the new range.
    horizontalScrollBar()->setRange(0, std::max(FModel.Columns() - visibleColumns, 0));
    horizontalScrollBar()->setPageStep(visibleColumns);
    verticalScrollBar()->setRange(0, std::max(FModel.Rows() - visibleRows, 0));
    verticalScrollBar()->setPageStep(visibleRows);
    viewport()->update();
}

// ---- Events ---------------------------------------------------------------------------------------

void TCustomComTerminal::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void TCustomComTerminal::scrollContentsBy(int, int)
{
    viewport()->update();
}

void TCustomComTerminal::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    FCaretShown = true;
    FCaretTimer->start();
    viewport()->update(CaretRect());
}

void TCustomComTerminal::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    FCaretTimer->stop();
    viewport()->update(CaretRect());
}

void TCustomComTerminal::BlinkCaret()
{
    FCaretShown = !FCaretShown;
    viewport()->update(CaretRect());
}

bool TCustomComTerminal::focusNextPrevChild(bool)
{
    return false; // Tab is a character for the port
}

void TCustomComTerminal::keyPressEvent(QKeyEvent* event)
{
    static constexpr std::pair<int, TTermKey> keys[] = {
        {Qt::Key_Home, TTermKey::Home}, {Qt::Key_Left, TTermKey::Left}, {Qt::Key_Up, TTermKey::Up},
        {Qt::Key_Right, TTermKey::Right}, {Qt::Key_Down, TTermKey::Down},
    };
    for (const auto& [key, termKey] : keys) {
        if (event->key() == key) {
            Guarded([&] { FModel.KeyDown(termKey); });
            return;
        }
    }
    const QByteArray bytes = KeyBytes(*event);
    if (bytes.isEmpty()) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    Guarded([&] {
        for (char c : bytes)
            FModel.SendChar(uint8_t(c));
    });
}

// ---- Painting --------------------------------------------------------------------------------------

QRect TCustomComTerminal::CaretRect() const
{
    const QPoint first = TopLeft();
    return QRect((FModel.CaretColumn() - first.x()) * FCharSize.width(),
                 (FModel.CaretRow() - first.y()) * FCharSize.height(), FCharSize.width(), FCharSize.height());
}

void TCustomComTerminal::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), ToQColor(FModel.BackColor()));
    painter.setFont(TerminalFont());
    const QPoint first = TopLeft();
    const int lastColumn = std::min(FModel.Columns(), first.x() + viewport()->width() / FCharSize.width());
    const int lastRow = std::min(FModel.Rows(), first.y() + viewport()->height() / FCharSize.height());
    for (int row = first.y(); row <= lastRow; ++row) {
        const int y = (row - first.y()) * FCharSize.height();
        if (y + FCharSize.height() > event->rect().top() && y <= event->rect().bottom())
            PaintRow(painter, row, y, first.x(), lastColumn);
    }
    if (hasFocus() && FCaretShown)
        PaintCaret(painter);
}

void TCustomComTerminal::PaintRow(QPainter& painter, int row, int y, int firstColumn, int lastColumn) const
{
    const TComTermChar* cells = FModel.Buffer().Row(row);
    QByteArray text;
    for (int column = firstColumn; column <= lastColumn;) {
        const TComTermChar& look = cells[column - 1];
        int end = column;
        text.clear();
        for (; end <= lastColumn && SameLook(cells[end - 1], look); ++end)
            text.append(cells[end - 1].Ch ? char(cells[end - 1].Ch) : ' ');
        const QRect box((column - firstColumn) * FCharSize.width(), y, int(text.size()) * FCharSize.width(),
                        FCharSize.height());
        painter.fillRect(box, ToQColor(look.BackColor));
        painter.setPen(ToQColor(look.FrontColor));
        if (text.trimmed().size() > 0)
            painter.drawText(box.left(), y + FAscent, FromCodePage(text));
        if (look.Underline)
            painter.drawLine(box.left(), y + FAscent + 1, box.right(), y + FAscent + 1);
        column = end;
    }
}

void TCustomComTerminal::PaintCaret(QPainter& painter) const
{
    QRect box = CaretRect();
    if (FModel.Caret() == tcNone)
        return;
    if (FModel.Caret() == tcUnderline)
        box.setTop(box.bottom() - 1);
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.fillRect(box, Qt::white);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

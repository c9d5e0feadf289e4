// A character-cell terminal window on a serial port: shows what the port
// receives through the VT100/ANSI or VT52 interpreter of its TComTermModel and
// sends typed keys to the port.
//
// Threads. The widget lives on the GUI thread. Received bytes arrive on the
// port's event thread at a TComLinkRelay, which hands them over in order
// with a queued call; the model, the painting and every write to the port
// (typed keys, answers to the remote side's queries) run on the GUI thread.
//
// Repainting. Model changes only start TimerRefresh (15 ms, single shot),
// which repaints the viewport once, so a fast stream costs one paint per
// tick however many blocks arrived. TimerCaret blinks the caret while the
// terminal has the focus; the caret is drawn in paintEvent.
//
// Errors. A port error while sending is caught, logged and reported through
// PortError; nothing escapes an event handler or slot. SetConnected raises
// the port's EComPort to its caller.
//
// Links. The terminal does not own its port. Either may go first: a port
// destroyed while linked unlinks the terminal (ComPort() reads nullptr).
#pragma once

#include "ComLinkRelay.h"
#include "ComTermModel.h"

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QStringList>

#include <iosfwd>

class QTimer;

class TCustomComTerminal : public QAbstractScrollArea, private ITermHost {
    Q_OBJECT
public:
    explicit TCustomComTerminal(QWidget* parent = nullptr);
    ~TCustomComTerminal() override;

    // The fixed-pitch font all terminals share: the system's, 9 points.
    static QFont TerminalFont();

    // ---- Port
    TCustomComPort* ComPort() const { return FRelay.Port(); }
    // Links to port (nullptr unlinks); a refused link is logged and leaves
    // the terminal unlinked.
    void SetComPort(TCustomComPort* port);
    bool Connected() const;
    void SetConnected(bool on);

    // ---- Settings (see TComTermModel)
    int Columns() const { return FModel.Columns(); }
    void SetColumns(int columns);
    int Rows() const { return FModel.Rows(); }
    void SetRows(int rows);
    bool LocalEcho() const { return FModel.LocalEcho(); }
    void SetLocalEcho(bool on) { FModel.SetLocalEcho(on); }
    bool SendLF() const { return FModel.SendLF(); }
    void SetSendLF(bool on) { FModel.SetSendLF(on); }
    bool WrapLines() const { return FModel.WrapLines(); }
    void SetWrapLines(bool on) { FModel.SetWrapLines(on); }
    bool Force7Bit() const { return FModel.Force7Bit(); }
    void SetForce7Bit(bool on) { FModel.SetForce7Bit(on); }
    bool AppendLF() const { return FModel.AppendLF(); }
    void SetAppendLF(bool on) { FModel.SetAppendLF(on); }
    TTermEmulation Emulation() const { return FModel.Emulation(); }
    void SetEmulation(TTermEmulation emulation) { FModel.SetEmulation(emulation); }
    TTermCaret Caret() const { return FModel.Caret(); }
    void SetCaret(TTermCaret caret);
    TArrowKeys ArrowKeys() const { return FModel.ArrowKeys(); }
    void SetArrowKeys(TArrowKeys keys) { FModel.SetArrowKeys(keys); }
    QColor FontColor() const;
    void SetFontColor(const QColor& color);
    QColor BackColor() const;
    void SetBackColor(const QColor& color);
    QColor AltColor() const;
    void SetAltColor(const QColor& color);

    // ---- Screen
    TComTermModel& Model() { return FModel; }
    const TComTermModel& Model() const { return FModel; }
    // Received bytes (what the port link delivers): any number, converted
    // as set and written through the interpreter.
    void RxBuf(const void* data, int count);
    // Through the interpreter onto the screen.
    void WriteStr(const QByteArray& text);
    void ClearScreen();
    void SaveToStream(std::ostream& out) const { FModel.SaveToStream(out); }
    void LoadFromStream(std::istream& in);
    void SendChar(uint8_t c);
    void SendCode(TEscapeCode code, const TEscapeParams& params = {});
    // The first visible cell (column, row), 1-based.
    QPoint TopLeft() const;
    QSize CharSize() const { return FCharSize; }
    QSize sizeHint() const override { return QSize(400, 250); }

Q_SIGNALS:
    void StringReceived(const QByteArray& text);
    void CharPut(char c);
    void UnhandledCode(int code, const QStringList& params);
    void PortError(const QString& message);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // ITermHost
    bool PortLinked() const override { return FRelay.Port() != nullptr; }
    bool PortOpen() const override;
    void SendBytes(const std::string& bytes) override;
    void NotifyStringReceived(const std::string& text) override;
    void NotifyCharPut(uint8_t c) override;
    void NotifyUnhandledCode(TEscapeCode code, const TEscapeParams& params) override;

    // After the model changed: scroll ranges, caret phase, repaint timer.
    void ModelTouched();
    void UpdateScrollBars();
    void BlinkCaret();
    QRect CaretRect() const;
    void PaintRow(QPainter& painter, int row, int y, int firstColumn, int lastColumn) const;
    void PaintCaret(QPainter& painter) const;
    void ReportError(const char* what);
    template <class F>
    void Guarded(F&& work);

    TComTermModel FModel;
    TComLinkRelay FRelay;
    QTimer* FCaretTimer;
    QTimer* FRefreshTimer;
    QSize FCharSize;
    int FAscent = 0;
    bool FCaretShown = true;
};

// The published form; all behaviour is in TCustomComTerminal.
class TComTerminal : public TCustomComTerminal {
public:
    using TCustomComTerminal::TCustomComTerminal;
};

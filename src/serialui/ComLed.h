// A small light (25 x 25 pixels) that shows one line signal or one kind of
// activity of a serial port: connection, CTS, DSR, RLSD, ring, receive or
// transmit.
//
// Threads. The widget lives on the GUI thread. The port reports changes on
// its event thread (and connection changes on the thread that opens or
// closes it); a TComLinkRelay queues each report to the GUI thread in order,
// where the state changes, TimerLed runs and StateChanged is emitted. So a
// pulse shorter than a GUI turn still shows as on, then off.
//
// The light stays on OffDelayMs after its signal goes off, so that a short
// pulse is seen; a ring lights it for RingDuration. A signal that comes on
// again meanwhile cancels the pending off.
//
// Errors. Reading the line state of a failing port is caught and logged; the
// light then shows off. Setting State while a port is linked raises EComPort
// 19. A port destroyed while linked unlinks the LED, which then shows off.
#pragma once

#include "ComLinkRelay.h"

#include <QPixmap>
#include <QWidget>

class QTimer;

enum TComLedSignal { lsConn, lsCTS, lsDSR, lsRLSD, lsRing, lsRx, lsTx };
enum TLedKind { lkRedLight, lkGreenLight, lkBlueLight, lkYellowLight, lkPurpleLight, lkBulb, lkCustom };
enum TLedState { lsOff, lsOn };

class TComLed : public QWidget {
    Q_OBJECT
public:
    static constexpr int OffDelayMs = 100;

    explicit TComLed(QWidget* parent = nullptr);
    ~TComLed() override;

    TCustomComPort* ComPort() const { return FRelay.Port(); }
    // Links to port and shows its current state (off without a port or when
    // the port is closed). A refused link is logged and leaves it unlinked.
    void SetComPort(TCustomComPort* port);
    TComLedSignal LedSignal() const { return FLedSignal; }
    void SetLedSignal(TComLedSignal signal);
    TLedKind Kind() const { return FKind; }
    void SetKind(TLedKind kind);
    TLedState State() const { return FState; }
    // Only without a linked port (else EComPort 19).
    void SetState(TLedState state);
    int RingDuration() const { return FRingDuration; }
    void SetRingDuration(int ms) { FRingDuration = ms; }
    // The glyphs drawn for on and off. Every kind but lkCustom draws its own
    // (SetKind replaces them); lkCustom shows the ones assigned here.
    const QPixmap& GlyphOn() const { return FGlyphOn; }
    const QPixmap& GlyphOff() const { return FGlyphOff; }
    void SetGlyphOn(const QPixmap& glyph);
    void SetGlyphOff(const QPixmap& glyph);

    QSize sizeHint() const override { return QSize(25, 25); }

Q_SIGNALS:
    void StateChanged(TLedState state);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void LinkEvent(TComLinkEvent event, bool on);
    void SignalChange(bool on);
    void RingDetect();
    void DoTimer();
    void ChangeState(TLedState state);
    bool IsStateOn();
    void ReadState();
    void MakeGlyphs();

    TComLinkRelay FRelay;
    TComLedSignal FLedSignal = lsConn;
    TLedKind FKind = lkRedLight;
    TLedState FState = lsOff;
    TLedState FFallback = lsOff;
    QPixmap FGlyphOn;
    QPixmap FGlyphOff;
    QTimer* FTimer;
    int FRingDuration = 1000;
};

#include "ComLed.h"

#include "Globals.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTimer>

namespace {

constexpr int GlyphSize = 17;

struct TLightColors {
    QColor on;
    QColor off;
};

TLightColors LightColors(TLedKind kind)
{
    switch (kind) {
    case lkRedLight: return {QColor(255, 48, 48), QColor(96, 0, 0)};
    case lkGreenLight: return {QColor(48, 230, 48), QColor(0, 80, 0)};
    case lkBlueLight: return {QColor(64, 128, 255), QColor(0, 24, 96)};
    case lkYellowLight: return {QColor(255, 230, 40), QColor(96, 88, 0)};
    case lkPurpleLight: return {QColor(210, 64, 255), QColor(72, 0, 96)};
    default: return {QColor(255, 240, 150), QColor(150, 150, 150)};
    }
}

QPixmap EmptyGlyph()
{
    QPixmap glyph(GlyphSize, GlyphSize);
    glyph.fill(Qt::transparent);
    return glyph;
}

// A round lamp: lit from the upper left when on, dark when off.
QPixmap DrawLight(const QColor& color, bool on)
{
    QPixmap glyph = EmptyGlyph();
    QPainter p(&glyph);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient shade(QPointF(6.5, 6.5), 9.0);
    shade.setColorAt(0.0, on ? color.lighter(170) : color.lighter(130));
    shade.setColorAt(1.0, on ? color : color.darker(130));
    p.setBrush(shade);
    p.setPen(QPen(QColor(40, 40, 40), 1.0));
    p.drawEllipse(QRectF(1.5, 1.5, GlyphSize - 3, GlyphSize - 3));
    return glyph;
}

// A light bulb on its screw base.
QPixmap DrawBulb(const QColor& color, bool on)
{
    QPixmap glyph = EmptyGlyph();
    QPainter p(&glyph);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.0));
    QRadialGradient shade(QPointF(7.0, 5.5), 7.0);
    shade.setColorAt(0.0, on ? Qt::white : color.lighter(120));
    shade.setColorAt(1.0, color);
    p.setBrush(shade);
    QPainterPath bulb;
    bulb.addEllipse(QRectF(2.5, 0.5, 12, 11));
    bulb.addRect(QRectF(6.0, 9.0, 5, 3));
    p.drawPath(bulb.simplified());
    p.setBrush(QColor(120, 120, 120));
    p.drawRect(QRectF(6.0, 12.0, 5, 4));
    return glyph;
}

} // namespace

TComLed::TComLed(QWidget* parent) : QWidget(parent), FRelay(this), FTimer(new QTimer(this))
{
    resize(25, 25);
    FTimer->setObjectName(QStringLiteral("TimerLed"));
    FTimer->setSingleShot(true);
    FTimer->setTimerType(Qt::PreciseTimer);
    connect(FTimer, &QTimer::timeout, this, &TComLed::DoTimer);
    FRelay.SetSignalHandler([this](TComLinkEvent event, bool on) { LinkEvent(event, on); });
    FRelay.SetRemovedHandler([this] { ReadState(); });
    MakeGlyphs();
}

TComLed::~TComLed()
{
    FRelay.Detach();
}

void TComLed::SetComPort(TCustomComPort* port)
{
    try {
        FRelay.Attach(port);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("LED: %1").arg(QString::fromUtf8(e.what())));
    }
    ReadState();
}

void TComLed::SetLedSignal(TComLedSignal signal)
{
    FLedSignal = signal;
    ReadState();
}

void TComLed::SetKind(TLedKind kind)
{
    FKind = kind;
    MakeGlyphs();
    update();
}

void TComLed::SetGlyphOn(const QPixmap& glyph)
{
    FGlyphOn = glyph;
    update();
}

void TComLed::SetGlyphOff(const QPixmap& glyph)
{
    FGlyphOff = glyph;
    update();
}

void TComLed::MakeGlyphs()
{
    if (FKind == lkCustom)
        return;
    const TLightColors colors = LightColors(FKind);
    if (FKind == lkBulb) {
        FGlyphOn = DrawBulb(colors.on, true);
        FGlyphOff = DrawBulb(colors.off, false);
    } else {
        FGlyphOn = DrawLight(colors.on, true);
        FGlyphOff = DrawLight(colors.off, false);
    }
}

void TComLed::SetState(TLedState state)
{
    if (FRelay.Port())
        throw EComPort(19);
    ChangeState(state);
}

// ---- Following the port (GUI thread) --------------------------------------------------------

void TComLed::ReadState()
{
    FTimer->stop();
    ChangeState(FRelay.Port() && FRelay.Port()->Connected() && IsStateOn() ? lsOn : lsOff);
}

bool TComLed::IsStateOn()
{
    try {
        switch (FLedSignal) {
        case lsConn: return FRelay.Port()->Connected();
        case lsCTS: return FRelay.Port()->Signals().Contains(csCTS);
        case lsDSR: return FRelay.Port()->Signals().Contains(csDSR);
        case lsRLSD: return FRelay.Port()->Signals().Contains(csRLSD);
        case lsRing:
        case lsRx:
        case lsTx: return false;
        }
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("LED: %1").arg(QString::fromUtf8(e.what())));
    } catch (...) {
        DebugLog(QStringLiteral("LED: reading the line state failed"));
    }
    return false;
}

void TComLed::LinkEvent(TComLinkEvent event, bool on)
{
    static constexpr TComLinkEvent followed[] = {leConn, leCTS, leDSR, leRLSD, leRing, leRx, leTx};
    if (event != followed[FLedSignal])
        return;
    if (event == leRing)
        RingDetect();
    else
        SignalChange(on);
}

void TComLed::SignalChange(bool on)
{
    if (on) {
        // Also when already on: an off that came in between must not win.
        FTimer->stop();
        ChangeState(lsOn);
        return;
    }
    if (FState == lsOff)
        return;
    FFallback = lsOff;
    FTimer->start(OffDelayMs);
}

void TComLed::RingDetect()
{
    FFallback = lsOff;
    FTimer->start(FRingDuration);
    ChangeState(lsOn);
}

void TComLed::DoTimer()
{
    FTimer->stop();
    ChangeState(FFallback);
}

void TComLed::ChangeState(TLedState state)
{
    if (state == FState)
        return;
    FState = state;
    Q_EMIT StateChanged(state);
    update();
}

void TComLed::paintEvent(QPaintEvent*)
{
    const QPixmap& glyph = FState == lsOn ? FGlyphOn : FGlyphOff;
    if (glyph.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap((width() - glyph.width()) / 2, (height() - glyph.height()) / 2, glyph);
}

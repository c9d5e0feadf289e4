#include "UiIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

const QColor UnitBody(0x30, 0x40, 0x58);
const QColor UnitLens(0x9c, 0xd0, 0xf0);

QPixmap Blank(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// The optical unit seen from the side: a body with its lens.
void DrawUnit(QPainter& p, int size, const QColor& body)
{
    const qreal s = size / 32.0;
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(3 * s, 9 * s, 20 * s, 12 * s), 2 * s, 2 * s);
    p.setBrush(UnitLens);
    p.drawEllipse(QRectF(18 * s, 11 * s, 8 * s, 8 * s));
}

void DrawCable(QPainter& p, int size)
{
    const qreal s = size / 32.0;
    QPainterPath cable;
    cable.moveTo(8 * s, 21 * s);
    cable.cubicTo(8 * s, 30 * s, 22 * s, 24 * s, 28 * s, 29 * s);
    p.setPen(QPen(UnitBody, 2 * s, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(cable);
}

void DrawRadio(QPainter& p, int size)
{
    const qreal s = size / 32.0;
    p.setPen(QPen(QColor(0x20, 0x60, 0xd0), 2 * s, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int r = 1; r <= 3; ++r) {
        const qreal d = 6 * s * r;
        p.drawArc(QRectF(24 * s - d / 2, 6 * s - d / 2, d, d), 200 * 16, 70 * 16);
    }
}

void DrawCross(QPainter& p, int size)
{
    const qreal s = size / 32.0;
    p.setPen(QPen(QColor(0xd0, 0x20, 0x20), 3 * s, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(19 * s, 3 * s), QPointF(29 * s, 13 * s));
    p.drawLine(QPointF(29 * s, 3 * s), QPointF(19 * s, 13 * s));
}

void DrawTick(QPainter& p, int size)
{
    const qreal s = size / 32.0;
    p.setPen(QPen(QColor(0x20, 0xa0, 0x30), 3 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath tick;
    tick.moveTo(18 * s, 8 * s);
    tick.lineTo(22 * s, 12 * s);
    tick.lineTo(30 * s, 2 * s);
    p.drawPath(tick);
}

}  // namespace

QPixmap UnitIcon(TUnitIcon kind, int size)
{
    QPixmap pixmap = Blank(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    DrawUnit(p, size, kind == TUnitIcon::None ? QColor(0xa0, 0xa0, 0xa0) : UnitBody);
    switch (kind) {
    case TUnitIcon::None: DrawCross(p, size); break;
    case TUnitIcon::Wired: DrawCable(p, size); break;
    case TUnitIcon::Bluetooth: DrawRadio(p, size); break;
    case TUnitIcon::Found: DrawTick(p, size); break;
    }
    return pixmap;
}

QPixmap HomeIcon(int size)
{
    QPixmap pixmap = Blank(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    QPolygonF house;
    house << QPointF(16 * s, 4 * s) << QPointF(29 * s, 15 * s) << QPointF(25 * s, 15 * s)
          << QPointF(25 * s, 28 * s) << QPointF(7 * s, 28 * s) << QPointF(7 * s, 15 * s) << QPointF(3 * s, 15 * s);
    p.setPen(Qt::NoPen);
    p.setBrush(UnitBody);
    p.drawPolygon(house);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(13 * s, 19 * s, 6 * s, 9 * s));
    return pixmap;
}

QPixmap SettingsIcon(bool advanced, int size)
{
    QPixmap pixmap = Blank(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    const QPointF centre(16 * s, 16 * s);
    const QColor colour = advanced ? QColor(0xc0, 0x60, 0x10) : UnitBody;
    p.setPen(QPen(colour, 4 * s, Qt::SolidLine, Qt::RoundCap));
    for (int k = 0; k < 8; ++k) {
        const qreal a = qDegreesToRadians(45.0 * k);
        p.drawLine(centre + QPointF(9 * s * qCos(a), 9 * s * qSin(a)), centre + QPointF(13 * s * qCos(a), 13 * s * qSin(a)));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(centre, 10 * s, 10 * s);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 4 * s, 4 * s);
    return pixmap;
}

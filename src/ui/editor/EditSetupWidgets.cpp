#include "EditSetupWidgets.h"

#include <QPainter>
#include <QPixmap>

namespace {

constexpr int SwitchWidth = 48;
constexpr int SwitchHeight = 16;

QPixmap SwitchPicture(bool on, const QString& word)
{
    QPixmap picture(SwitchWidth, SwitchHeight);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(on ? QColor(0x30, 0xA0, 0x40) : QColor(0xB0, 0xB0, 0xB0));
    p.drawRoundedRect(QRectF(0.5, 0.5, SwitchWidth - 1, SwitchHeight - 1), 7, 7);
    if (word.isEmpty()) {
        p.setBrush(Qt::white);
        const double x = on ? SwitchWidth - SwitchHeight : 0;
        p.drawEllipse(QRectF(x + 2, 2, SwitchHeight - 4, SwitchHeight - 4));
    } else {
        QFont font = p.font();
        font.setPixelSize(11);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, SwitchWidth, SwitchHeight), Qt::AlignCenter, word);
    }
    return picture;
}

} // namespace

QToolButton* MakeSwitch(QWidget* parent, const char* name)
{
    auto* picture = NamedControl<QToolButton>(parent, name);
    picture->setAutoRaise(true);
    picture->setIconSize(QSize(SwitchWidth, SwitchHeight));
    picture->setFixedSize(SwitchWidth + 4, SwitchHeight + 4);
    ShowSwitch(picture, false);
    return picture;
}

void ShowSwitch(QToolButton* picture, bool on)
{
    picture->setIcon(QIcon(SwitchPicture(on, QString())));
    picture->setProperty("switchedOn", on);
}

void ShowUnitSwitch(QToolButton* picture, const QString& word)
{
    picture->setIcon(QIcon(SwitchPicture(true, word)));
    picture->setProperty("switchWord", word);
}

QCheckBox* HiddenCheckBox(QWidget* parent, const char* name, const QString& text)
{
    auto* box = NamedControl<QCheckBox>(parent, name, text);
    box->hide();
    return box;
}

QPixmap BeamPicture(bool on)
{
    QPixmap picture(24, 24);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(on ? QColor(0xFF, 0x30, 0x30) : QColor(0x70, 0x70, 0x70));
    p.drawEllipse(QRectF(3, 3, 18, 18));
    return picture;
}

// The shooter viewer's layout: the panels, the button bar with its
// simplified form, and the timed message fitted into the window.
#include "FormShooter.h"

#include "AppSettings.h"
#include "Clock.h"
#include "FormShooterDevice.h"
#include "FormShooterWidgets.h"
#include "Globals.h"
#include "UiGlobals.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int64_t IgnoreDifficultyNs = 100 * 1000000LL;
constexpr int TopMargin = 2;
constexpr int BarRowHeight = 44;
constexpr int SecondRowHeight = 40;  // a button and its margin
constexpr int StripPanelHeight = 84;
constexpr int StripPanelMinFormHeight = 401;
constexpr int ArrowWidth = 24;
// The name field keeps room for a name of this many characters of average
// width; the buttons move to a second row before it gets less.
constexpr int NameChars = 20;
// The timed message: its margins when it has the room, the least it keeps
// when it has not, and its distance to the window's edges.
constexpr int MessageMarginX = 80;
constexpr int MessageMarginY = 40;
constexpr int MessageMinMargin = 8;
constexpr int MessageEdge = 4;

int WidestWord(const QFontMetrics& metrics, const QString& text)
{
    int widest = 0;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        widest = std::max(widest, metrics.horizontalAdvance(word));
    return widest;
}

} // namespace

// ---- Simplified button bar -------------------------------------------------------------------

void TFormShooter::FormMouseMove(QObject* sender, int x, int y)
{
    if (x == lastX_ && y == lastY_)
        return;
    lastX_ = x;
    lastY_ = y;
    if (simplifyUI_ && sender != ImageTarget
        && (sender == BitBtnShowAllButtons || sender == BitBtnZoomOut || sender == BitBtnZoomIn))
        x = PanelTop->width();
    const bool zeroing = device_ && ViewerDevice::Zeroing(*device_);
    if (zeroing || !buttonsHidden_ || y >= PanelTop->height() || x <= 0.8 * PanelTop->width())
        return;
    ignoreDifficultyUntilNs_ = MonotonicNs() + IgnoreDifficultyNs;
    buttonsHidden_ = false;
    TimerSimpleUIHideButtons->start();
    LayoutControls();
}

void TFormShooter::BitBtnShowAllButtonsClick() { FormMouseMove(BitBtnShowAllButtons, PanelTop->width(), 1); }

void TFormShooter::TimerSimpleUIHideButtonsTimer()
{
    buttonsHidden_ = true;
    TimerSimpleUIHideButtons->stop();
    LayoutControls();
}

void TFormShooter::RestartHideButtonsTimer()
{
    if (TimerSimpleUIHideButtons->isActive())
        TimerSimpleUIHideButtons->start();
}

// ---- Panels and button bar ---------------------------------------------------------------------

void TFormShooter::LayOutPanels()
{
    PanelShotString->setVisible(height() >= StripPanelMinFormHeight);
    const int stripHeight = PanelShotString->isHidden() ? 0 : StripPanelHeight;
    const int barHeight = BarHeight();
    PanelTop->setGeometry(0, 0, width(), barHeight);
    ImageTarget->setGeometry(0, barHeight, width(), std::max(1, height() - barHeight - stripHeight));
    PanelShotString->setGeometry(0, height() - StripPanelHeight, width(), StripPanelHeight);
    BitBtnLeftArrow->setGeometry(0, 0, ArrowWidth, StripPanelHeight);
    BitBtnRightArrow->setGeometry(width() - ArrowWidth, 0, ArrowWidth, StripPanelHeight);
    ScrollBoxShotString->setGeometry(ArrowWidth, 0, std::max(1, width() - 2 * ArrowWidth), StripPanelHeight);
    LayoutControls();
    if (PanelTimedMessage->isVisible())
        FitTimedMessage();
}

TFormShooter::TBarButtons TFormShooter::BarButtons(int shots, bool shown) const
{
    const bool ring = currentTarget_.hasRing != 0;
    TBarButtons b;
    b.difficulty = deviceMode_ == 1 && ring && shown && width() >= 301 && GetOptionBool(QStringLiteral("QuickGrading"));
    b.replay = ring && shots > 0 && shown;
    b.save = shots > 0 && shown && (device_ || GetNetworkMode() == QLatin1String("Monitor"));
    b.print = shots > 0 && shown;
    b.showAll = !shown;
    b.message = SessionMode == SessionMonitor && shown;
    return b;
}

int TFormShooter::NameFieldMinWidth() const
{
    // The field's frame and margins: what its size hint adds to its text.
    const QFontMetrics metrics = EditShooterName->fontMetrics();
    const int frame = EditShooterName->sizeHint().width() - 17 * metrics.horizontalAdvance(QLatin1Char('x'));
    return NameChars * metrics.averageCharWidth() + std::max(0, frame);
}

int TFormShooter::StatusGroupWidth() const
{
    // The status pictures counted whenever the unit can be started: the bar
    // keeps its rows when measuring starts and stops.
    if (ButtonStartStop->isHidden() && ImageStatus->isHidden())
        return TopMargin + 8;
    return TopMargin + ButtonStartStop->width() + ImageStatus->width() + ImageRotate->width() + RotationValueWidth() + 8;
}

int TFormShooter::RotationValueWidth() const
{
    return LabelRotation->fontMetrics().horizontalAdvance(QStringLiteral("-188")) + 4;
}

bool TFormShooter::BarNeedsSecondRow() const
{
    // Decided on every button the viewer shows once it has shots, so the
    // bar does not change its height with the first shot, nor when the
    // simplified bar shows its buttons.
    const TBarButtons b = BarButtons(std::max(1, ShotCount()), true);
    int buttons = TopMargin + BitBtnZoomIn->width() + 4;
    if (!SpeedButtonZeroing->isHidden())
        buttons += SpeedButtonZeroing->width();
    const std::pair<bool, const QWidget*> group[] = {{b.replay, BitBtnReplayMode},   {b.difficulty, BitBtnDifficulty},
                                                     {b.print, BitBtnPrintShooter},  {b.save, ButtonSave},
                                                     {b.message, BitBtnSendMessage}, {b.showAll, BitBtnShowAllButtons}};
    for (const auto& [visible, control] : group)
        if (visible)
            buttons += control->width();
    return width() - StatusGroupWidth() - buttons < NameFieldMinWidth();
}

int TFormShooter::BarHeight() const { return BarNeedsSecondRow() ? BarRowHeight + SecondRowHeight : BarRowHeight; }

void TFormShooter::LayoutControls()
{
    const TBarButtons b = BarButtons(ShotCount(), !buttonsHidden_);
    BitBtnDifficulty->setVisible(b.difficulty);
    BitBtnStance->hide();
    BitBtnReplayMode->setVisible(b.replay);
    ButtonSave->setVisible(b.save);
    BitBtnPrintShooter->setVisible(b.print);
    BitBtnShowAllButtons->setVisible(b.showAll);
    BitBtnSendMessage->setVisible(b.message);
    if (PanelTop->height() != BarHeight()) {
        // The bar takes or gives up its second row: the target follows.
        FormResize();
        return;
    }

    // The buttons from the right edge leftwards: beside the name, or in
    // the second row under it when the name would be left too little room.
    const bool twoRows = PanelTop->height() > BarRowHeight;
    const int buttonsTop = twoRows ? BarRowHeight : TopMargin;
    const int zoomX = PanelTop->width() - TopMargin - BitBtnZoomIn->width();
    BitBtnZoomIn->move(zoomX, buttonsTop);
    BitBtnZoomOut->move(zoomX, buttonsTop + BitBtnZoomIn->height());
    int x = zoomX;
    for (QWidget* w : std::initializer_list<QWidget*>{SpeedButtonZeroing, BitBtnReplayMode, BitBtnDifficulty,
                                                      BitBtnStance, BitBtnPrintShooter, ButtonSave, BitBtnSendMessage,
                                                      BitBtnShowAllButtons}) {
        if (w->isHidden())
            continue;
        x -= w->width();
        w->move(x, buttonsTop);
    }
    x = twoRows ? PanelTop->width() - TopMargin : x - 4;

    int left = TopMargin;
    for (QWidget* w : std::initializer_list<QWidget*>{ButtonStartStop, ImageStatus}) {
        if (w->isHidden())
            continue;
        w->move(left, (BarRowHeight - w->height()) / 2);
        left += w->width();
    }
    // The cant picture and its value sit in the status picture's place.
    ImageRotate->move(ImageStatus->pos());
    LabelRotation->setGeometry(ImageStatus->geometry());
    if (!ImageStatus->isHidden()) {
        ImageStatus->raise();
        ImageRotate->move(left, ImageStatus->y());
        left += ImageRotate->width();
        // The cant value beside its picture, not over it.
        LabelRotation->setGeometry(left, ImageStatus->y(), RotationValueWidth(), ImageStatus->height());
        left += RotationValueWidth();
    }
    const int editLeft = left + 8;
    EditShooterName->setGeometry(editLeft, 1, std::max(20, x - editLeft), 28);
    const int labelTop = 30;
    LabelSerialNumber->adjustSize();
    LabelSerialNumber2->adjustSize();
    LabelSerialNumber3->adjustSize();
    LabelSerialNumber->move(editLeft, labelTop);
    LabelSerialNumber2->move(LabelSerialNumber->x() + LabelSerialNumber->width() + 2, labelTop);
    LabelSerialNumber3->move(LabelSerialNumber2->x() + LabelSerialNumber2->width(), labelTop);
}

// ---- Timed message ---------------------------------------------------------------------------------

void TFormShooter::FitTimedMessage()
{
    // The margins shrink for a text wider than the window, then the text
    // wraps; a word wider than the window shortens it, the whole text in
    // the label's tip.
    const QFontMetrics metrics = LabelMessage->fontMetrics();
    const int room = std::max(1, width() - 2 * MessageEdge);
    const int textWidth = metrics.horizontalAdvance(timedMessage_);
    const int marginX = std::clamp((room - textWidth) / 2, MessageMinMargin, MessageMarginX);
    const int labelWidth = std::max(1, room - 2 * marginX);
    QString shown = timedMessage_;
    bool wrap = false;
    if (textWidth > labelWidth) {
        if (WidestWord(metrics, timedMessage_) > labelWidth)
            shown = metrics.elidedText(timedMessage_, Qt::ElideRight, labelWidth);
        else
            wrap = true;
    }
    LabelMessage->setWordWrap(wrap);
    LabelMessage->setText(shown);
    LabelMessage->setToolTip(shown == timedMessage_ ? QString() : timedMessage_);
    if (wrap)
        LabelMessage->resize(labelWidth, LabelMessage->heightForWidth(labelWidth));
    else
        LabelMessage->adjustSize();
    const int marginY = std::clamp((height() - 2 * MessageEdge - LabelMessage->height()) / 2, 0, MessageMarginY);
    PanelTimedMessage->resize(LabelMessage->width() + 2 * marginX, LabelMessage->height() + 2 * marginY);
    LabelMessage->move(marginX, marginY);
    PanelTimedMessage->move((width() - PanelTimedMessage->width()) / 2, (height() - PanelTimedMessage->height()) / 2);
}

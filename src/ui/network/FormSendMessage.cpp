#include "FormSendMessage.h"

#include "FormKeys.h"
#include "FormNetworkControl.h"
#include "NamedControl.h"
#include "Prompts.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiGlobals.h"

#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextCursor>
#include <QTimer>

namespace {

constexpr int DisplayLines = 6;
constexpr int DisplayColumns = 10;
constexpr int MessageSentShowMs = 5000;

} // namespace

TFormSendMessage::TFormSendMessage(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("FormSendMessage"));
    setWindowTitle(QStringLiteral("Send Message"));
    textAll_ = Translate(QStringLiteral("ALL"));
    textMessageSent_ = Translate(QStringLiteral("Message sent"));
    textNoConnection_ = Translate(QStringLiteral("No connection"));
    BuildControls();
    RegisterTranslateTable(TranslateOrderSendMessage, this,
                           {{QStringLiteral("Caption"), TTranslateKind::Caption},
                            {QStringLiteral("LabelEnterMessage"), TTranslateKind::Caption},
                            {QStringLiteral("LabelEnterMessage"), TTranslateKind::Center}});
    RegisterHints(TranslateOrderSendMessage, this, {{"BitBtnSend", "Send"}, {"BitBtnClose", "Close"}});
}

TFormSendMessage::~TFormSendMessage() { UnregisterTranslateTables(this); }

void TFormSendMessage::BuildControls()
{
    setFixedSize(300, 330);
    LabelEnterMessage = NamedControl<QLabel>(this, "LabelEnterMessage");
    LabelEnterMessage->setText(QStringLiteral("Enter message"));
    // As wide as the form, text centred: a translation of any length stays
    // in the middle once the label is centred again.
    LabelEnterMessage->setAlignment(Qt::AlignCenter);
    LabelEnterMessage->setGeometry(0, 12, width(), 20);
    LabelSendTo = NamedControl<QLabel>(this, "LabelSendTo");
    LabelSendTo->setAlignment(Qt::AlignCenter);
    LabelSendTo->setGeometry(0, 36, width(), 20);

    MemoMessage = NamedControl<QPlainTextEdit>(this, "MemoMessage");
    MemoMessage->setGeometry(70, 62, 160, 170);
    MemoMessage->setStyleSheet(QStringLiteral("QPlainTextEdit { background: black; color: #40ff40; }"));
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPointSize(12);
    MemoMessage->setFont(mono);
    MemoMessage->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoMessage->installEventFilter(this);
    MemoMessage->setTabChangesFocus(true);

    BitBtnSend = NamedControl<QPushButton>(this, "BitBtnSend");
    BitBtnSend->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
    BitBtnSend->setGeometry(40, 250, 100, 36);
    BitBtnClose = NamedControl<QPushButton>(this, "BitBtnClose");
    BitBtnClose->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    BitBtnClose->setGeometry(160, 250, 100, 36);

    PanelMessageSent = NamedControl<QLabel>(this, "PanelMessageSent");
    PanelMessageSent->setAlignment(Qt::AlignCenter);
    PanelMessageSent->setFrameShape(QFrame::Panel);
    PanelMessageSent->setAutoFillBackground(true);
    PanelMessageSent->setGeometry(50, 120, 200, 50);
    PanelMessageSent->setText(textMessageSent_);
    PanelMessageSent->hide();

    TimerHideMessage = new QTimer(this);
    TimerHideMessage->setObjectName(QStringLiteral("TimerHideMessage"));
    TimerHideMessage->setSingleShot(true);
    TimerHideMessage->setInterval(MessageSentShowMs);

    connect(BitBtnSend, &QPushButton::clicked, this, &TFormSendMessage::BitBtnSendClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &TFormSendMessage::BitBtnCloseClick);
    connect(TimerHideMessage, &QTimer::timeout, this, &TFormSendMessage::TimerHideMessageTimer);
    InstallFormKeys(this, BitBtnSend, BitBtnClose);
}

void TFormSendMessage::SetRecipient(const QString& recipient)
{
    recipient_ = recipient;
    LabelSendTo->setText(QStringLiteral(" => ") + (recipient == QLatin1String("ALL") ? textAll_ : recipient));
    CenterInParent(LabelSendTo);
}

void TFormSendMessage::SetSendGlyph(const QIcon& glyph)
{
    if (!glyph.isNull())
        BitBtnSend->setIcon(glyph);
}

void TFormSendMessage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

bool TFormSendMessage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == MemoMessage && event->type() == QEvent::KeyRelease)
        MemoMessageKeyUp();
    return QWidget::eventFilter(watched, event);
}

void TFormSendMessage::MemoMessageKeyUp()
{
    QStringList lines = MemoMessage->toPlainText().split(QLatin1Char('\n'));
    int beeps = 0;
    while (lines.size() > DisplayLines) {
        lines.removeLast();
        ++beeps;
    }
    for (QString& line : lines) {
        if (line.size() > DisplayColumns) {
            line.truncate(DisplayColumns);
            ++beeps;
        }
    }
    if (beeps == 0)
        return;
    for (int i = 0; i < beeps; ++i)
        Prompts().Beep();
    MemoMessage->setPlainText(lines.join(QLatin1Char('\n')));
    MemoMessage->moveCursor(QTextCursor::End);
}

void TFormSendMessage::BitBtnSendClick()
{
    QString text = MemoMessage->toPlainText().split(QLatin1Char('\n')).join(QStringLiteral("\r\n"));
    if (text.isEmpty())
        text = QStringLiteral(" ");
    if (recipient_.isEmpty())
        return;
    int written = 0;
    if (sender) {
        written = sender(recipient_, text);
    } else if (auto* network = dynamic_cast<TFormNetworkControl*>(FormNetworkControl)) {
        written = network->SendMessageRequest(recipient_, text);
    }
    Prompts().Beep();
    PanelMessageSent->setText(written > 0 ? textMessageSent_ : textNoConnection_);
    PanelMessageSent->show();
    PanelMessageSent->raise();
    TimerHideMessage->start();
}

void TFormSendMessage::TimerHideMessageTimer()
{
    TimerHideMessage->stop();
    PanelMessageSent->hide();
}

void TFormSendMessage::BitBtnCloseClick() { hide(); }

// "Send Message": the instructor's short text for one remote shooter or for
// all of them, kept within a unit's display (6 lines of 10 characters).
//
// GUI thread. One instance, created with the forms, shown modeless by the
// link's ShowSendMessage (a viewer with its shooter's serial, the shooter
// panel with "ALL"). Owns its controls and TimerHideMessage, which hides the
// confirmation panel again. Registers its translation table (Caption,
// LabelEnterMessage, which is re-centred afterwards) and removes it in the
// destructor. The text goes out through the network control form.
#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

class TFormSendMessage : public QWidget {
    Q_OBJECT
public:
    explicit TFormSendMessage(QWidget* parent = nullptr);
    ~TFormSendMessage() override;

    // A serial number or "ALL"; shown after " => ".
    void SetRecipient(const QString& recipient);
    QString Recipient() const { return recipient_; }
    void SetSendGlyph(const QIcon& glyph);

    // Sends the memo's text (one blank when empty) to the recipient through
    // sender (the network control form's SendMessageRequest when unset),
    // beeps and shows for a while "Message sent", or "No connection" when no
    // node got it.
    void BitBtnSendClick();
    void BitBtnCloseClick();
    // Keeps the memo within 6 lines of 10 characters, one beep per line
    // removed or cut.
    void MemoMessageKeyUp();
    void TimerHideMessageTimer();

    // Returns the number of connections the text was written to.
    std::function<int(const QString& recipient, const QString& text)> sender;

protected:
    // Centred on the screen each time it is shown.
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();

    QString recipient_;
    QString textMessageSent_;
    QString textNoConnection_;
    QString textAll_;
    QPlainTextEdit* MemoMessage = nullptr;
    QLabel* LabelEnterMessage = nullptr;
    QLabel* LabelSendTo = nullptr;
    QPushButton* BitBtnSend = nullptr;
    QPushButton* BitBtnClose = nullptr;
    QLabel* PanelMessageSent = nullptr;
    QTimer* TimerHideMessage = nullptr;
};

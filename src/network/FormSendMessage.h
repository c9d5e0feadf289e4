// Text messages from the instructor to shooters. Not built yet.
#pragma once

#include <QWidget>

class TFormSendMessage : public QWidget {
    Q_OBJECT
public:
    explicit TFormSendMessage(QWidget* parent = nullptr);
    ~TFormSendMessage() override;
};

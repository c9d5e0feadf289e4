#include "FormSendMessage.h"

TFormSendMessage::TFormSendMessage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormSendMessage"));
}

TFormSendMessage::~TFormSendMessage() = default;

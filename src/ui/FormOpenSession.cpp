#include "FormOpenSession.h"

TFormOpenSession::TFormOpenSession(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormOpenSession"));
    setWindowTitle(QStringLiteral("Open Previous Session"));
}

TFormOpenSession::~TFormOpenSession() = default;

void TFormOpenSession::OpenSessionFile(const QString&) {}

#include "FormStartupSplash.h"

TFormStartupSplash::TFormStartupSplash(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormStartupSplash"));
    setWindowTitle(QStringLiteral("TRAXEL"));
}

TFormStartupSplash::~TFormStartupSplash() = default;

#include "FormApplicationSettings.h"

TFormApplicationSettings::TFormApplicationSettings(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormApplicationSettings"));
    setWindowTitle(QStringLiteral("Application Settings"));
}

TFormApplicationSettings::~TFormApplicationSettings() = default;

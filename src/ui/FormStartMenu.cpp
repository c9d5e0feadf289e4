#include "FormStartMenu.h"

TFormStartMenu::TFormStartMenu(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormStartMenu"));
    setWindowTitle(QStringLiteral("TRAXEL"));
}

TFormStartMenu::~TFormStartMenu() = default;

void TFormStartMenu::ShowInFront()
{
    show();
    raise();
    activateWindow();
}

void TFormStartMenu::ShowSessionFinished() { ShowInFront(); }
void TFormStartMenu::UpdateDeviceCounts() {}
void TFormStartMenu::ApplyNetworkModeLayout() {}
void TFormStartMenu::AppendLog(const QString&) {}
void TFormStartMenu::BitBtnOpenSessionClick() {}

#include "FormShooterList.h"

TFormShooterList::TFormShooterList(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormShooterList"));
    setWindowTitle(QStringLiteral("Shooters and Sessions"));
}

TFormShooterList::~TFormShooterList() = default;

void TFormShooterList::ShowInFront()
{
    show();
    raise();
    activateWindow();
}

void TFormShooterList::FillShooterGrid() {}
void TFormShooterList::FillTeamCombo() {}

#include "FormSearchShooterName.h"

TFormSearchShooterName::TFormSearchShooterName(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormSearchShooterName"));
    setWindowTitle(QStringLiteral("Search Shooter"));
}

TFormSearchShooterName::~TFormSearchShooterName() = default;

void TFormSearchShooterName::SetTeam(const TTeam*, const QString&) {}
QString TFormSearchShooterName::SelectedName() const { return QString(); }

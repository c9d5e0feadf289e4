#include "FormShooterPanel.h"

TFormShooterPanel::TFormShooterPanel(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormShooterPanel"));
    setWindowTitle(QStringLiteral("Control"));
}

TFormShooterPanel::~TFormShooterPanel() = default;

void TFormShooterPanel::ShowSingleViewer(TFormShooter*) {}
void TFormShooterPanel::ArrangePanelButtons() {}
void TFormShooterPanel::LayoutPanelButtons() {}
bool TFormShooterPanel::CloseSession() { return true; }

void ShowSessionViewers() {}

#include "FormSelectSetup.h"

TFormSelectSetup::TFormSelectSetup(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormSelectSetup"));
    setWindowTitle(QStringLiteral("Training Setup"));
}

TFormSelectSetup::~TFormSelectSetup() = default;

void TFormSelectSetup::SetModeDynamic(bool) {}
void TFormSelectSetup::EnableSetupButtons() {}
void TFormSelectSetup::DisableSetupButtons() {}
bool TFormSelectSetup::Programming() const { return false; }
void TFormSelectSetup::ShowDeviceCount(const QString&, const QPixmap&) {}
bool TFormSelectSetup::ReloadSetupList(const QString&) { return false; }

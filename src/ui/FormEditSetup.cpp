#include "FormEditSetup.h"

TFormEditSetup::TFormEditSetup(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormEditSetup"));
    setWindowTitle(QStringLiteral("Training Options"));
}

TFormEditSetup::~TFormEditSetup() = default;

bool TFormEditSetup::EditSetup(TTargetSetup&) { return false; }

#include "FormPrintSetup.h"

TFormPrintSetup::TFormPrintSetup(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormPrintSetup"));
    setWindowTitle(QStringLiteral("Print Setup"));
}

TFormPrintSetup::~TFormPrintSetup() = default;

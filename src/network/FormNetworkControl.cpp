#include "FormNetworkControl.h"

TFormNetworkControl::TFormNetworkControl(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormNetworkControl"));
}

TFormNetworkControl::~TFormNetworkControl() = default;

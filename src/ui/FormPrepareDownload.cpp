#include "FormPrepareDownload.h"

TFormPrepareDownload::TFormPrepareDownload(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormPrepareDownload"));
    setWindowTitle(QStringLiteral("Download"));
}

TFormPrepareDownload::~TFormPrepareDownload() = default;

void TFormPrepareDownload::SetClearShotsAfterDownload(bool) {}
void TFormPrepareDownload::ShowDeviceCount(const QString&, const QPixmap&) {}
void TFormPrepareDownload::OnPortArrival(int) {}
void TFormPrepareDownload::OnPortRemoval(int) {}
void TFormPrepareDownload::OnSuspend() {}
void TFormPrepareDownload::OnResume() {}

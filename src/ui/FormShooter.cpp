#include "FormShooter.h"

TFormShooter::TFormShooter(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormShooter"));
}

TFormShooter::~TFormShooter() = default;

void TFormShooter::OnSamples() {}
void TFormShooter::OnShot() {}
TShooter* TFormShooter::ViewShooter() const { return nullptr; }
void TFormShooter::AttachDevice(TDevice*) {}
void TFormShooter::StartAfterReconnect() {}
TShooter* TFormShooter::Shooter() const { return nullptr; }
TDevice* TFormShooter::Device() const { return nullptr; }
int TFormShooter::ComNumber() const { return 0; }
int TFormShooter::DeviceMode() const { return 1; }
void TFormShooter::SetDeviceMode(int) {}
void TFormShooter::SetViewerNumber(int) {}
void TFormShooter::ButtonStartStopClick() {}
void TFormShooter::EnableSampleStreamCheck(bool) {}
void TFormShooter::HideDeviceStatus() {}
void TFormShooter::UnbindDevice() {}
void TFormShooter::UpdateShotString() {}
void TFormShooter::SelectShot(int) {}
void TFormShooter::SpeedButtonZeroingClick(QObject*) {}
int TFormShooter::ReplayState() const { return 0; }
void TFormShooter::SetReplayState(int) {}
void TFormShooter::BitBtnReplayModeClick() {}
bool TFormShooter::HasRing() const { return false; }
QString TFormShooter::TargetName() const { return QString(); }
void TFormShooter::ShowShooterName() {}
void TFormShooter::ShowTimedMessage(const QString&, int) {}

void AttachShooterView(TFormShooter*, TDevice*, TShooter*, bool) {}
void ShowNetworkMessage(TFormShooter*, const QString&) {}

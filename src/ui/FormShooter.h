// The shooter viewer ("Shooter Viewer %d"): one window per shooter of the
// running session, showing the target, the live aim point, the shots with
// score and trace, and the shot strip.
//
// GUI thread, except OnSamples and OnShot, which the device calls on its
// port's event thread under the device lock: they only set atomics and post
// one queued call. A viewer unlinks itself from its device before it goes.
#pragma once

#include "Device.h"
#include "DeviceManager.h"

#include <QWidget>

class TShooter;

class TFormShooter : public QWidget, public IDeviceEventListener, public IShooterViewLink {
    Q_OBJECT
public:
    explicit TFormShooter(QWidget* parent = nullptr);
    ~TFormShooter() override;

    // ---- IDeviceEventListener (event thread) ----
    void OnSamples() override;
    void OnShot() override;

    // ---- IShooterViewLink (the device manager's re-attach) ----
    TShooter* ViewShooter() const override;
    void AttachDevice(TDevice* device) override;
    void StartAfterReconnect() override;

    TShooter* Shooter() const;
    TDevice* Device() const;
    // The port of the bound device; kept when the device is lost.
    int ComNumber() const;
    // 1 classic (ring), 2 dynamic; set before binding.
    int DeviceMode() const;
    void SetDeviceMode(int mode);
    // The caption "Shooter Viewer %d" with number (1-based).
    void SetViewerNumber(int number);

    // Start or stop measuring (nothing without a device).
    void ButtonStartStopClick();
    void EnableSampleStreamCheck(bool on);
    void HideDeviceStatus();
    // Device link := null (the listener unlinked first) and HideDeviceStatus;
    // the COM number stays, so a returning unit is bound again.
    void UnbindDevice();

    void UpdateShotString();
    void SelectShot(int index);
    // Zeroing on or off; sender null: the panel's button (no question asked).
    void SpeedButtonZeroingClick(QObject* sender);
    int ReplayState() const;
    void SetReplayState(int state);
    void BitBtnReplayModeClick();
    // The viewer's current target has a ring / its name.
    bool HasRing() const;
    QString TargetName() const;
    // EditShooterName := the shooter's name.
    void ShowShooterName();
    void ShowTimedMessage(const QString& text, int ms);
};

// Binds viewer to device (may be null) and shooter; live: the programming
// code and the re-attach after a scan (the viewer becomes the device's
// listener), else review layout.
void AttachShooterView(TFormShooter* viewer, TDevice* device, TShooter* shooter, bool live);

// A text from the monitor for this shooter: shown on screen and sent to the
// unit's display.
void ShowNetworkMessage(TFormShooter* viewer, const QString& text);

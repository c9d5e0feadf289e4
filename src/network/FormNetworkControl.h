// The network link between a shooter PC ("Node") and an instructor PC
// ("Monitor"). Not built yet: the link stays inactive.
#pragma once

#include "NetworkLink.h"

#include <QWidget>

class TFormNetworkControl : public QWidget, public INetworkLink {
    Q_OBJECT
public:
    explicit TFormNetworkControl(QWidget* parent = nullptr);
    ~TFormNetworkControl() override;

    bool ClientActive() const override { return false; }
    void ConnectClient(const QString&, int) override {}
    void CloseClient() override {}
    void SendDataOut(int) override {}
    void AskNetworkRetry() override {}
    bool ServerActive() const override { return false; }
    void StartMonitor(int) override {}
    void StopMonitor() override {}
    int ShooterLinkCount() const override { return 0; }
    void ShowSendMessage(const QString&, const QIcon&) override {}
    void HideSendMessage() override {}
};

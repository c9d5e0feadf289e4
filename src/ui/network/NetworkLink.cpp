#include "NetworkLink.h"

namespace {

class TInactiveNetworkLink final : public INetworkLink {
public:
    bool ClientActive() const override { return false; }
    void ConnectClient(const QString&, int) override {}
    void CloseClient() override {}
    void SendDataOut(int) override {}
    void AskNetworkRetry() override {}
    bool ServerActive() const override { return false; }
    bool StartMonitor(int) override { return false; }
    void StopMonitor() override {}
    int ShooterLinkCount() const override { return 0; }
    void ShowSendMessage(const QString&, const QIcon&) override {}
    void HideSendMessage() override {}
};

INetworkLink* Installed = nullptr;

}  // namespace

INetworkLink& NetworkLink()
{
    static TInactiveNetworkLink inactive;
    return Installed ? *Installed : inactive;
}

void SetNetworkLink(INetworkLink* link) { Installed = link; }

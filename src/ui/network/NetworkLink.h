// What the screens need of the network link. The screens reach the network
// control form only through this interface, which the program entry installs
// once. Until then, and in tests
// that do not install one, an inactive link answers: no socket is active and
// every request does nothing.
//
// GUI thread only.
#pragma once

#include <QString>

class QIcon;

class INetworkLink {
public:
    virtual ~INetworkLink() = default;

    // ---- Node (this PC serves a monitor) ----
    virtual bool ClientActive() const = 0;
    // Connects the node's client socket to the monitor.
    virtual void ConnectClient(const QString& host, int port) = 0;
    virtual void CloseClient() = 0;
    // Sends the data-out message of shooter number (1-based) after a shot.
    virtual void SendDataOut(int shooterNumber) = 0;
    // Asks the operator whether to retry the lost monitor connection.
    virtual void AskNetworkRetry() = 0;

    // ---- Monitor (this PC watches nodes) ----
    virtual bool ServerActive() const = 0;
    // Listens on port; false (reported to the operator) when the port
    // cannot be had, and nothing listens then.
    virtual bool StartMonitor(int port) = 0;
    // Drops the shooter links and stops listening; the box is unchecked.
    virtual void StopMonitor() = 0;
    // Remote shooters linked to local viewers.
    virtual int ShooterLinkCount() const = 0;

    // ---- Text messages ----
    // Shows the send-message form for recipient (a serial number or "ALL").
    virtual void ShowSendMessage(const QString& recipient, const QIcon& glyph) = 0;
    virtual void HideSendMessage() = 0;
};

INetworkLink& NetworkLink();
// Not owned; nullptr restores the inactive link.
void SetNetworkLink(INetworkLink* link);

// The network control form: the link between a shooter PC ("Node") and an
// instructor PC ("Monitor") as the screens see it. Created with the forms
// and never shown; it implements INetworkLink (installed by CreateForms) and
// INetworkStatusProvider (installed here, removed in the destructor) for the
// viewers' network icon.
//
// GUI thread only. Owns the node connection (TNetNode) and the monitor
// (TNetMonitor), which hold the protocol and the sockets; this form turns
// their events into viewers, messages on screen and questions:
// - monitor: every remote shooter gets a viewer without device
//   (AttachShooterView(viewer, nullptr, ...)), tiled by ShowSessionViewers;
//   viewers are made a few per slice of the event loop after their shooter
//   was announced, and tiled once the burst is made;
//   the viewers belong to ShooterViewers and the session like any others.
// - node: a text from the monitor goes to the viewers whose shooter has the
//   serial named (ShowNetworkMessage stops a measuring unit and waits on its
//   own); a lost connection posts the retry question, asked after the
//   socket's handler has returned (also when the node dropped a monitor
//   that reads nothing), and a retry reconnects after
//   UiTimings().networkRetryWaitMs by a timer, never by waiting.
// - the viewers' network icons follow the links: a viewer whose link came
//   or went is drawn again, and viewers are placed again when viewers were
//   added. Both wait for one zero-time continuation, so a burst of
//   connections costs one placement, and the drawing is spread over slices
//   of the event loop.
// - an undecodable message is logged; at most one non-modal box tells of it
//   at a time, and the message sits on the clipboard only while it shows.
#pragma once

#include "NetMonitor.h"
#include "NetNode.h"
#include "NetworkLink.h"
#include "NetworkStatusProvider.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <vector>

#include <QMessageBox>

class TFormShooter;

class TFormNetworkControl : public QWidget, public INetworkLink, public INetworkStatusProvider {
    Q_OBJECT
public:
    explicit TFormNetworkControl(QWidget* parent = nullptr);
    ~TFormNetworkControl() override;

    // ---- INetworkLink ----
    bool ClientActive() const override;
    void ConnectClient(const QString& host, int port) override;
    void CloseClient() override;
    void SendDataOut(int shooterNumber) override;
    void AskNetworkRetry() override;
    bool ServerActive() const override;
    bool StartMonitor(int port) override;
    void StopMonitor() override;
    int ShooterLinkCount() const override;
    void ShowSendMessage(const QString& recipient, const QIcon& glyph) override;
    void HideSendMessage() override;

    // ---- INetworkStatusProvider ----
    TNetworkIcon IconFor(const QString& serialNumber) const override;
    bool NetworkDisabled() const override;

    // The text for recipient (a serial or "ALL"); the number of connections
    // it was written to.
    int SendMessageRequest(const QString& recipient, const QString& text);

    TNetNode& Node() { return node_; }
    TNetMonitor& Monitor() { return monitor_; }
    // The box telling of an undecodable message, while it shows.
    QMessageBox* DecodeErrorBox() const { return decodeErrorBox_; }

private:
    // ---- Monitor events ----
    void RemoteShooterLinked(TShooterOnNode& record, bool existed);
    void RemoteShotsClearing(TShooterOnNode& record);
    void RemoteShotsCleared(TShooterOnNode& record);
    void RemoteNameAnnounced(TShooterOnNode& record);
    void RemoteTargetInfo(TShooterOnNode& record);
    void RemoteShot(TShooterOnNode& record, int shotIndex, bool stored);
    void ConnectionsChanged();
    // ---- Viewers after link changes (coalesced) ----
    void IconDue(TFormShooter* viewer);
    void AllIconsDue();
    void ScheduleRefresh();
    void Refresh();
    // Makes the viewer of the next due record; false when none was due any more.
    bool MakeDueViewer();
    // ---- Node events ----
    void HandleSendMessage(const QString& serial, const QString& text);
    void ConnectionLost();
    void Reconnect();
    void ShowDecodeError(const QByteArray& message);

    TNetNode node_;
    TNetMonitor monitor_;
    QTimer* retryTimer_ = nullptr;  // the wait between closing and reconnecting
    bool wanted_ = false;        // a connection to the monitor is wanted (between connect and close)
    bool retryGuard_ = false;    // the retry question is being asked
    bool retryPosted_ = false;   // the question is queued
    bool refreshPosted_ = false;
    bool clearingHeldShots_ = false;  // between the two calls around a reset
    std::vector<QPointer<TFormShooter>> placedViewers_;  // as the last placement left them
    std::vector<QString> viewersDue_;                    // serials of records still without a viewer
    std::vector<QPointer<TFormShooter>> newViewers_;     // shown once placed
    std::vector<QPointer<TFormShooter>> iconsDue_;       // to be drawn with their link as it is
    QPointer<QMessageBox> decodeErrorBox_;
    QString clipboardText_;      // what the box put on the clipboard
};

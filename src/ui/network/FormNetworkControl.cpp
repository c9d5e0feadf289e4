#include "FormNetworkControl.h"

#include "AppSettings.h"
#include "FormSendMessage.h"
#include "FormShooter.h"
#include "FormShooterPanel.h"
#include "Globals.h"
#include "Prompts.h"
#include "Shotdata.h"
#include "Targetrenderer.h"
#include "Translation.h"
#include "UiGlobals.h"
#include "XmlNames.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <utility>

namespace {

TFormShooter* Viewer(const TShooterOnNode& record) { return qobject_cast<TFormShooter*>(record.viewer.data()); }

bool SessionHasShooters() { return CurrentSession && CurrentSession->ShooterCount() > 0; }

// Drawing the viewers after link changes: a slice ends after this long.
constexpr qint64 RefreshSliceMs = 8;

// Placing a viewer does not draw it again: its network icon would show the
// link as it was at its last drawing.
void RenderViewersNetworkState()
{
    for (TFormShooter* viewer : ShooterViewers)
        if (viewer)
            viewer->RenderNetworkState();
}

// Runs a handler of a socket event; nothing it throws leaves it.
template <class F>
void Guarded(const char* what, F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Network %1: %2").arg(QString::fromLatin1(what), QString::fromUtf8(e.what())));
    }
}

} // namespace

TFormNetworkControl::TFormNetworkControl(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormNetworkControl"));
    setWindowTitle(QStringLiteral("Network"));

    node_.session = [] { return CurrentSession; };
    node_.dataoutMode = [] { return GetOptionBool(QString::fromLatin1(XmlNames::DataoutMode)); };
    node_.onTextMessage = [this](const QString& serial, const QString& text) {
        Guarded("text message", [&] { HandleSendMessage(serial, text); });
    };
    node_.onConnectionChanged = [this] {
        AllIconsDue();
        ConnectionsChanged();
    };
    node_.onConnectionError = [this](const QString&) { ConnectionLost(); };
    node_.onDecodeError = [this](const QString&, const QByteArray& message) { ShowDecodeError(message); };

    monitor_.onLinked = [this](TShooterOnNode& r, bool existed) { RemoteShooterLinked(r, existed); };
    monitor_.beforeShotsCleared = [this](TShooterOnNode& r) { RemoteShotsClearing(r); };
    monitor_.afterShotsCleared = [this](TShooterOnNode& r) { RemoteShotsCleared(r); };
    monitor_.onNameAnnounced = [this](TShooterOnNode& r) { RemoteNameAnnounced(r); };
    monitor_.onTargetInfo = [this](TShooterOnNode& r) { RemoteTargetInfo(r); };
    monitor_.onShot = [this](TShooterOnNode& r, int index, bool stored) { RemoteShot(r, index, stored); };
    monitor_.onConnectionsChanged = [this] { ConnectionsChanged(); };
    monitor_.onLinkChanged = [this](TShooterOnNode& r) { IconDue(Viewer(r)); };
    monitor_.onDecodeError = [this](const QString&, const QByteArray& message) { ShowDecodeError(message); };

    retryTimer_ = new QTimer(this);
    retryTimer_->setObjectName(QStringLiteral("TimerNetworkRetry"));
    retryTimer_->setSingleShot(true);
    connect(retryTimer_, &QTimer::timeout, this, &TFormNetworkControl::Reconnect);

    SetNetworkStatusProvider(this);
}

TFormNetworkControl::~TFormNetworkControl()
{
    if (NetworkStatusProvider() == this)
        SetNetworkStatusProvider(nullptr);
    node_.onConnectionChanged = nullptr;
    node_.onConnectionError = nullptr;
    monitor_.onConnectionsChanged = nullptr;
    monitor_.onLinkChanged = nullptr;
    monitor_.Stop();
    node_.Close();
    delete decodeErrorBox_.data();
}

// ---- Node ------------------------------------------------------------------------------

bool TFormNetworkControl::ClientActive() const { return node_.Active(); }

void TFormNetworkControl::ConnectClient(const QString& host, int port)
{
    wanted_ = true;
    retryTimer_->stop();
    node_.Connect(host, port);
}

void TFormNetworkControl::CloseClient()
{
    // Also no reconnect and no question after the session has closed.
    wanted_ = false;
    retryTimer_->stop();
    node_.Close();
}

void TFormNetworkControl::SendDataOut(int shooterNumber)
{
    Guarded("data-out", [&] { node_.SendDataOut(shooterNumber, SessionMode == SessionClassic); });
}

void TFormNetworkControl::ConnectionLost()
{
    // Asked once the socket's handler has returned, not inside it.
    if (retryPosted_)
        return;
    retryPosted_ = true;
    QTimer::singleShot(0, this, [this] {
        retryPosted_ = false;
        if (wanted_)
            AskNetworkRetry();
    });
}

void TFormNetworkControl::AskNetworkRetry()
{
    if (retryGuard_)
        return;
    retryGuard_ = true;
    const QPointer<TFormNetworkControl> self(this);
    if (SessionHasShooters()) {
        ShowSessionViewers();
        RenderViewersNetworkState();
    }
    const TMsgResult answer = Prompts().MessageBox(Translate(QStringLiteral("Network connection problem. Attempt retry?")),
                                                   Translate(QStringLiteral("Error")), TMsgButtons::YesNo);
    if (!self)
        return;
    node_.Close();
    if (answer == TMsgResult::Yes) {
        retryTimer_->setInterval(UiTimings().networkRetryWaitMs);
        retryTimer_->start();
    }
    retryGuard_ = false;
}

void TFormNetworkControl::Reconnect()
{
    if (wanted_ && !node_.Active() && !node_.Host().isEmpty())
        node_.Connect(node_.Host(), node_.Port());
}

void TFormNetworkControl::HandleSendMessage(const QString& serial, const QString& text)
{
    const bool all = serial == QLatin1String("ALL");
    // A copy: a viewer may go while the texts are handed out.
    const std::vector<TFormShooter*> viewers = ShooterViewers;
    for (TFormShooter* viewer : viewers) {
        TShooter* shooter = viewer ? viewer->Shooter() : nullptr;
        if (shooter && (all || shooter->SerialNumber() == serial))
            ShowNetworkMessage(viewer, text);
    }
    Prompts().Beep();
}

// ---- Monitor ---------------------------------------------------------------------------

bool TFormNetworkControl::ServerActive() const { return monitor_.Listening(); }

bool TFormNetworkControl::StartMonitor(int port)
{
    monitor_.SetSession(CurrentSession);
    if (port < 0 || port > 65535 || !monitor_.Start(quint16(port))) {
        Prompts().MessageBox(FormatDisplayText(Translate(QStringLiteral("could not listen on port %d")), {double(port)}),
                             Translate(QStringLiteral("Error")), TMsgButtons::OK);
        return false;
    }
    return true;
}

void TFormNetworkControl::StopMonitor()
{
    // Every linked shooter of the session keeps a viewer, also one still due.
    while (!viewersDue_.empty())
        MakeDueViewer();
    monitor_.Stop();
    // No record is linked any more.
    AllIconsDue();
    ScheduleRefresh();
}

int TFormNetworkControl::ShooterLinkCount() const { return monitor_.RecordCount(); }

int TFormNetworkControl::SendMessageRequest(const QString& recipient, const QString& text)
{
    return monitor_.SendMessageRequest(recipient, text);
}

void TFormNetworkControl::RemoteShooterLinked(TShooterOnNode& record, bool existed)
{
    if (existed) {
        for (TFormShooter* viewer : ShooterViewers)
            if (viewer && viewer->Shooter() == record.shooter)
                record.viewer = viewer;
        if (record.viewer)
            return;
    }
    // Made a few at a time: a summary may announce dozens of shooters.
    // Until then the record has no viewer and nothing is shown for it; the
    // viewer shows its shooter as it is by then.
    viewersDue_.push_back(record.serialNumber);
    ScheduleRefresh();
}

bool TFormNetworkControl::MakeDueViewer()
{
    const QString serial = viewersDue_.front();
    viewersDue_.erase(viewersDue_.begin());
    TShooterOnNode* record = monitor_.FindShooterLink(serial);
    // Closing the session deletes its shooters before the monitor stops.
    if (!record || record->viewer || !record->shooter || !CurrentSession
        || CurrentSession->FindShooter(serial) != record->shooter)
        return false;
    auto* viewer = new TFormShooter;
    record->viewer = viewer;
    ShooterViewers.push_back(viewer);
    viewer->SetViewerNumber(int(ShooterViewers.size()));
    AttachShooterView(viewer, nullptr, record->shooter, false);
    if (!record->name.isEmpty())
        viewer->ShowShooterName();
    // Placed and shown with the others of the same burst.
    newViewers_.push_back(viewer);
    return true;
}

void TFormNetworkControl::RemoteShotsClearing(TShooterOnNode& record)
{
    // The viewer lets go of every shot before they are deleted; without
    // shots it holds none and shows nothing that changes.
    TFormShooter* viewer = Viewer(record);
    clearingHeldShots_ = viewer && record.shooter->ShotCount() > 0;
    if (clearingHeldShots_)
        viewer->SelectShot(-1);
}

void TFormNetworkControl::RemoteShotsCleared(TShooterOnNode& record)
{
    TFormShooter* viewer = Viewer(record);
    if (viewer && clearingHeldShots_)
        viewer->SelectShot(-1);
    clearingHeldShots_ = false;
}

void TFormNetworkControl::RemoteNameAnnounced(TShooterOnNode& record)
{
    // Every summary announces every shooter again: only what changed is shown anew.
    TFormShooter* viewer = Viewer(record);
    if (!viewer)
        return;
    const auto* edit = viewer->findChild<QLineEdit*>(QStringLiteral("EditShooterName"));
    if (!record.name.isEmpty() && (!edit || edit->text() != record.name))
        viewer->ShowShooterName();
    if (viewer->Strip().ShotCount() != record.shooter->ShotCount())
        viewer->UpdateShotString();
}

void TFormNetworkControl::RemoteTargetInfo(TShooterOnNode& record)
{
    TFormShooter* viewer = Viewer(record);
    if (viewer && record.shooter->ShotCount() == 0)
        AttachShooterView(viewer, nullptr, record.shooter, false);
}

void TFormNetworkControl::RemoteShot(TShooterOnNode& record, int shotIndex, bool)
{
    TFormShooter* viewer = Viewer(record);
    if (!viewer)
        return;
    if (shotIndex == 0) {
        viewer->UpdateShotString();
        viewer->SelectShot(0);
    }
    // Drawn with the other shots of its batch.
    viewer->ShotsArrived();
}

void TFormNetworkControl::ConnectionsChanged() { ScheduleRefresh(); }

void TFormNetworkControl::IconDue(TFormShooter* viewer)
{
    if (!viewer || std::find(iconsDue_.begin(), iconsDue_.end(), viewer) != iconsDue_.end())
        return;
    iconsDue_.push_back(viewer);
    ScheduleRefresh();
}

void TFormNetworkControl::AllIconsDue()
{
    for (TFormShooter* viewer : ShooterViewers)
        IconDue(viewer);
}

void TFormNetworkControl::ScheduleRefresh()
{
    if (refreshPosted_)
        return;
    refreshPosted_ = true;
    QTimer::singleShot(0, this, [this] {
        refreshPosted_ = false;
        Guarded("viewers", [this] { Refresh(); });
    });
}

void TFormNetworkControl::Refresh()
{
    QElapsedTimer clock;
    clock.start();
    while (!viewersDue_.empty()) {
        if (clock.elapsed() >= RefreshSliceMs) {
            ScheduleRefresh();
            return;
        }
        MakeDueViewer();
    }
    // Placed again only when viewers were added since the last placement.
    const bool placed = placedViewers_.size() == ShooterViewers.size()
        && std::equal(ShooterViewers.begin(), ShooterViewers.end(), placedViewers_.begin(),
                      [](const TFormShooter* v, const QPointer<TFormShooter>& p) { return v == p.data(); });
    if (!placed && SessionHasShooters() && !ShooterViewers.empty()) {
        ShowSessionViewers();
        placedViewers_.assign(ShooterViewers.begin(), ShooterViewers.end());
    }
    for (const QPointer<TFormShooter>& viewer : std::exchange(newViewers_, {}))
        if (viewer)
            viewer->show();
    clock.restart();
    while (!iconsDue_.empty()) {
        if (clock.elapsed() >= RefreshSliceMs) {
            ScheduleRefresh();
            return;
        }
        const QPointer<TFormShooter> viewer = iconsDue_.front();
        iconsDue_.erase(iconsDue_.begin());
        if (viewer && std::find(ShooterViewers.begin(), ShooterViewers.end(), viewer.data()) != ShooterViewers.end())
            viewer->RenderNetworkState();
    }
}

// ---- Both ------------------------------------------------------------------------------

void TFormNetworkControl::ShowSendMessage(const QString& recipient, const QIcon& glyph)
{
    auto* form = qobject_cast<TFormSendMessage*>(FormSendMessage);
    if (!form)
        return;
    form->SetSendGlyph(glyph);
    form->SetRecipient(recipient);
    form->show();
    form->raise();
}

void TFormNetworkControl::HideSendMessage()
{
    if (FormSendMessage)
        FormSendMessage->hide();
}

TNetworkIcon TFormNetworkControl::IconFor(const QString& serialNumber) const
{
    const QString mode = GetNetworkMode();
    if (mode == QLatin1String(XmlNames::ModeNode))
        return node_.Connected() ? TNetworkIcon::Connected : TNetworkIcon::NotConnected;
    if (mode == QLatin1String(XmlNames::ModeMonitor))
        return monitor_.LinkConnected(serialNumber) ? TNetworkIcon::Connected : TNetworkIcon::NotConnected;
    return TNetworkIcon::None;
}

bool TFormNetworkControl::NetworkDisabled() const
{
    return GetNetworkMode() == QLatin1String(XmlNames::ModeDisable);
}

void TFormNetworkControl::ShowDecodeError(const QByteArray& message)
{
    // Logged already; one box at a time, however many bad messages come.
    if (decodeErrorBox_)
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, Translate(QStringLiteral("Error")),
                                Translate(QStringLiteral("Error decoding message. Clipboard contains message.")),
                                QMessageBox::Ok);
    box->setObjectName(QStringLiteral("DecodeErrorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    decodeErrorBox_ = box;
    clipboardText_ = FromCodePage(message);
    if (QClipboard* clipboard = QApplication::clipboard())
        clipboard->setText(clipboardText_);
    connect(box, &QObject::destroyed, this, [this] {
        QClipboard* clipboard = QApplication::clipboard();
        if (clipboard && clipboard->text() == clipboardText_)
            clipboard->clear();
        clipboardText_.clear();
    });
    box->show();
}

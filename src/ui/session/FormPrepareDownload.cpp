#include "FormPrepareDownload.h"

#include "Device.h"
#include "DeviceManager.h"
#include "FormKeys.h"
#include "FormShooter.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "Globals.h"
#include "NamedControl.h"
#include "Prompts.h"
#include "Shotdata.h"
#include "Targetrenderer.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiGlobals.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <memory>

namespace {

const QString EnterNameText = QStringLiteral("Enter name here");

QString Tr(const char* text)
{
    return Translate(QString::fromLatin1(text));
}

QString ComLine(const char* format, std::initializer_list<double> args)
{
    return QStringLiteral("\n") + FormatDisplayText(Tr(format), args);
}

} // namespace

// ---- The units, as this form sees them ---------------------------------------------------

namespace DownloadUnits {

std::vector<TDevice*> Connected()
{
    return DeviceManagerInstance ? DeviceManagerInstance->Connected() : std::vector<TDevice*> {};
}

bool IsConnected(const TDevice* device)
{
    const std::vector<TDevice*> list = Connected();
    return std::find(list.begin(), list.end(), device) != list.end();
}

bool Downloading(const TDevice& device)
{
    return device.Async().downloadActive.load() && !device.Async().downloadFinished.load();
}

bool WaitingToFinish(const TDevice& device)
{
    const TDeviceAsyncState& a = device.Async();
    return a.downloadActive.load() && a.downloadFinished.load() && !a.downloadHandled.load();
}

bool Handled(const TDevice& device)
{
    return device.Async().downloadFinished.load() && device.Async().downloadHandled.load();
}

// Stored shots that did not come. Once a download has walked every bank,
// each one the unit announced either came or is missing, also where the
// device layer did not list it.
int MissingShots(const TDownloadProgress& progress, bool walked)
{
    const int listed = int(progress.missing.size());
    return walked ? std::max(listed, progress.announced - progress.received) : listed;
}

// A unit given up on keeps its shots and downloads again on the next visit;
// its shooter left with the closed session, so it gets a new one: without a
// shooter its shots would go nowhere and its banks be cleared.
void GiveShooterIfNone(TDevice& device)
{
    if (device.Shooter() || !CurrentSession || device.ShotTotal() <= 0)
        return;
    auto shooter = std::make_unique<TShooter>();
    shooter->SetIdentity(device.Name(), device.SettingsBlocks());
    device.SetShooter(CurrentSession->AddShooter(std::move(shooter)));
}

// Starts the download of a unit that has not downloaded yet; true when it runs.
bool StartDownload(TDevice& device)
{
    const TDeviceAsyncState& a = device.Async();
    if (device.ComNumber() <= 0 || a.downloadActive.load() || a.downloadFinished.load())
        return false;
    GiveShooterIfNone(device);
    device.StartAsyncDownload();
    return a.downloadActive.load();
}

// A unit parked while its download ran (its port went, or the machine went
// to sleep), before the screen took its shots.
bool LeftDuringDownload(const TDevice& device)
{
    const TDeviceAsyncState& a = device.Async();
    return a.downloadActive.load() && !a.downloadHandled.load() && device.ComNumber() > 0;
}

// Downloading, or downloaded and not yet taken (a download that went on
// while the screen was closed).
bool Pending(const TDevice& device)
{
    return device.Identifying() || Downloading(device) || WaitingToFinish(device);
}

} // namespace DownloadUnits

// ---- Port names ----------------------------------------------------------------------------

int ComNumberFromPortName(const QString& name)
{
    if (!name.startsWith(QLatin1String("COM")))
        return 0;
    const QString digits = QStringLiteral("0") + name.mid(3, 3);
    bool ok = false;
    const int number = digits.toInt(&ok, 10);
    // toInt accepts a sign and blanks around the digits; a port name does not.
    const bool plain = std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    return ok && plain ? number : -1;
}

// ---- Construction ------------------------------------------------------------------------

TFormPrepareDownload::TFormPrepareDownload(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormPrepareDownload"));
    setWindowTitle(QStringLiteral("Download"));
    BuildControls();
    BuildLayout();
    RegisterTranslation();
    InstallFormKeys(this, nullptr, ButtonCancel);
    resize(420, 300);
}

TFormPrepareDownload::~TFormPrepareDownload()
{
    UnregisterTranslateTables(this);
}

void TFormPrepareDownload::BuildControls()
{
    LabelDevices = NamedControl<QLabel>(this, "LabelDevices");
    LabelDevices->setText(QStringLiteral("Units Present In Ports"));
    LabelDevices->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelDevices->setMinimumHeight(90);
    LabelInsertOpticalUnits = NamedControl<QLabel>(this, "LabelInsertOpticalUnits");
    LabelInsertOpticalUnits->setText(QStringLiteral("Connect Kallix Devices"));
    QFont big = LabelInsertOpticalUnits->font();
    big.setBold(true);
    big.setPointSize(big.pointSize() + 4);
    LabelInsertOpticalUnits->setFont(big);
    LabelEnterName = NamedControl<QLabel>(this, "LabelEnterName");
    LabelEnterName->setText(QStringLiteral("Shooter name"));
    EditEnterName = NamedControl<QLineEdit>(this, "EditEnterName");
    EditEnterName->setText(Translate(EnterNameText));
    ButtonCancel = NamedControl<QPushButton>(this, "ButtonCancel");
    ButtonCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    ProgressBarShotDownload = NamedControl<QProgressBar>(this, "ProgressBarShotDownload");
    ProgressBarShotDownload->setRange(0, 1);
    ProgressBarShotDownload->setValue(0);
    CheckBoxClearShotsAfterDownload = NamedControl<QCheckBox>(this, "CheckBoxClearShotsAfterDownload");
    CheckBoxClearShotsAfterDownload->setText(QStringLiteral("Clear device after download"));
    CheckBoxClearShotsAfterDownload->setChecked(true);
    CheckBoxClearShotsAfterDownload->hide();
    LabelDeviceCount = NamedControl<QLabel>(this, "LabelDeviceCount");
    LabelDeviceCount->setText(QStringLiteral("0 (0)"));
    ImageDeviceCountIcon = NamedControl<QLabel>(this, "ImageDeviceCountIcon");
    ImageDeviceCount = NamedControl<QLabel>(this, "ImageDeviceCount");
    ImageDeviceCount->setPixmap(style()->standardIcon(QStyle::SP_BrowserReload).pixmap(24, 24));
    ImageDeviceCount->setToolTip(Translate(QStringLiteral("Click to reconnect device(s)")));

    TimerProgressBar = new QTimer(this);
    TimerProgressBar->setObjectName(QStringLiteral("TimerProgressBar"));
    TimerProgressBar->setInterval(UiTimings().downloadPollMs);
    TimerResume = new QTimer(this);
    TimerResume->setSingleShot(true);
    TimerResume->setTimerType(Qt::PreciseTimer); // never before the wait is over
    TimerHeldEvents = new QTimer(this);
    TimerHeldEvents->setSingleShot(true);
    TimerHeldEvents->setInterval(std::max(1, UiTimings().downloadPollMs));

    connect(ButtonCancel, &QPushButton::clicked, this, &TFormPrepareDownload::ButtonCancelClick);
    connect(TimerProgressBar, &QTimer::timeout, this, &TFormPrepareDownload::TimerProgressBarTimer);
    connect(TimerResume, &QTimer::timeout, this, [this] { Post({TEvent::Arrival, 0}); });
    connect(TimerHeldEvents, &QTimer::timeout, this, [this] { RunEvents(); });
}

void TFormPrepareDownload::BuildLayout()
{
    auto* name = new QHBoxLayout;
    name->addWidget(LabelEnterName);
    name->addWidget(EditEnterName, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ImageDeviceCountIcon);
    bottom->addWidget(LabelDeviceCount);
    bottom->addWidget(ImageDeviceCount);
    bottom->addStretch(1);
    bottom->addWidget(ButtonCancel);

    auto* page = new QVBoxLayout(this);
    page->addWidget(LabelInsertOpticalUnits, 0, Qt::AlignHCenter);
    page->addWidget(LabelDevices, 1);
    page->addLayout(name);
    page->addWidget(ProgressBarShotDownload);
    page->addWidget(CheckBoxClearShotsAfterDownload);
    page->addLayout(bottom);
}

void TFormPrepareDownload::RegisterTranslation()
{
    using K = TTranslateKind;
    RegisterTranslateTable(TranslateOrderPrepareDownload, this,
                           {{QStringLiteral("LabelInsertOpticalUnits"), K::Caption},
                            {QStringLiteral("LabelEnterName"), K::Caption},
                            {QStringLiteral("LabelDevices"), K::Caption},
                            {QStringLiteral("Caption"), K::Caption},
                            {QStringLiteral("CheckBoxClearShotsAfterDownload"), K::Caption}});
    RegisterHints(TranslateOrderPrepareDownload, this, {{"ButtonCancel", "Cancel"}});
    RegisterTranslateTable(TranslateOrderFinalCentering, this,
                           {{QStringLiteral("LabelInsertOpticalUnits"), K::Center}});
}

// ---- Simple handlers ---------------------------------------------------------------------

void TFormPrepareDownload::SetClearShotsAfterDownload(bool clear)
{
    CheckBoxClearShotsAfterDownload->setChecked(clear);
}

void TFormPrepareDownload::ShowDeviceCount(const QString& text, const QPixmap& icon)
{
    LabelDeviceCount->setText(text);
    ImageDeviceCountIcon->setPixmap(icon);
}

void TFormPrepareDownload::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormPrepareDownload::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    FormClose();
}

void TFormPrepareDownload::FormShow()
{
    failedUnits_.clear();
    startedUnits_.clear();
    losses_.clear();
    unplugged_.clear();
    closedForViewers_ = false;
    EditEnterName->setEnabled(true);
    const bool started = StartReadyUnits(true);
    // Units still identifying (a rescan after a replug) start once they are
    // ready, and a download that ran on after Cancel is still to be taken;
    // the poll waits for them.
    const std::vector<TDevice*> units = DownloadUnits::Connected();
    downloading_ = started || std::any_of(units.begin(), units.end(), [](const TDevice* d) { return DownloadUnits::Pending(*d); });
    StartPolling(true);
    if (!started)
        LabelDevices->setText(Tr("Nothing to download"));
}

bool TFormPrepareDownload::StartReadyUnits(bool opening)
{
    bool started = false;
    try {
        for (TDevice* device : DownloadUnits::Connected()) {
            // A unit identified for a download while the screen shows starts
            // it by itself at the end of its identification.
            const bool startsItself = !opening && device->Async().autoDownload.load();
            // A unit a scan has only just opened is not identifying yet:
            // its counts are still to come.
            if (!device->Found() || device->Identifying() || startsItself || startedUnits_.count(device))
                continue;
            startedUnits_.insert(device);
            started = DownloadUnits::StartDownload(*device) || started;
        }
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Download start failed: ") + QString::fromUtf8(e.what()));
    }
    return started;
}

bool TFormPrepareDownload::DownloadScreenShowing() const
{
    // Closed for the viewers while a scan runs: the units that scan brings
    // still download, but not a unit that arrives once it is over, even
    // before the poll has seen it end.
    const bool scanning = DeviceManagerInstance && DeviceManagerInstance->Scanning();
    return SessionMode == SessionDownload && (isVisible() || (closedForViewers_ && scanning));
}

void TFormPrepareDownload::FormClose()
{
    closedForViewers_ = false;
    SessionMode = SessionNone;
    hide();
    if (FormStartMenu)
        FormStartMenu->ShowInFront();
}

void TFormPrepareDownload::ButtonCancelClick()
{
    downloading_ = false;
    StartPolling(false);
    EditEnterName->setEnabled(true);
    FormClose();
}

void TFormPrepareDownload::StartPolling(bool on)
{
    if (on)
        TimerProgressBar->start(UiTimings().downloadPollMs);
    else
        TimerProgressBar->stop();
}

// ---- Progress ----------------------------------------------------------------------------

void TFormPrepareDownload::TimerProgressBarTimer()
{
    // A finishing step below us lets events through: wait for it. A scan
    // does not stop the poll: a unit plugged in downloads during it.
    if (!downloading_ || finishing_ > 0)
        return;
    try {
        ProgressTick();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Download: ") + QString::fromUtf8(e.what()));
    }
}

bool TFormPrepareDownload::UnitSilent(const TDevice* device) const
{
    return DeviceTickMs() - device->Async().activityTick.load() > UiTimings().downloadSilenceMs;
}

void TFormPrepareDownload::ProgressTick()
{
    QString text = Tr("Downloading:");
    bool busy = false;
    int received = 0;
    int total = 0;
    if (DownloadScreenShowing())
        StartReadyUnits(false);
    NoteUnitsGone();
    const std::vector<TDevice*> units = DownloadUnits::Connected();
    for (TDevice* device : units) {
        // A finishing step before this one let events through.
        if (!DownloadUnits::IsConnected(device))
            continue;
        FinishIfDue(device);
        if (!DownloadUnits::IsConnected(device))
            continue;
        busy = busy || device->Identifying() || DownloadUnits::Downloading(*device);
        text += UnitLines(device, received, total);
    }
    // Units that left the list are no longer shown; forget them.
    std::erase_if(failedUnits_, [&](const TDevice* d) { return !DownloadUnits::IsConnected(d); });
    std::erase_if(startedUnits_, [&](const TDevice* d) { return !DownloadUnits::IsConnected(d); });

    const QString away = AwayLines();

    ProgressBarShotDownload->setRange(0, std::max(total, 1));
    ProgressBarShotDownload->setValue(received);
    // A scan may still bring units: nothing is over until it ends, but the
    // viewers of the units done so far are not kept waiting behind it.
    const bool scanning = DeviceManagerInstance && DeviceManagerInstance->Scanning();
    if (busy) {
        EditEnterName->setEnabled(true);
        // To the front as the progress moves, not on every look.
        if (LabelDevices->text() != text + away) {
            LabelDevices->setText(text + away);
            raise();
        }
    } else if (!scanning || !ShooterViewers.empty()) {
        ShowFinishedState(away);
    } else if (!away.isEmpty()) {
        LabelDevices->setText(away.mid(1));
    }
    if (!scanning)
        closedForViewers_ = false;
    downloading_ = busy || scanning;
    if (!downloading_) {
        StartPolling(false);
        ReportLosses();
    }
}

// A unit is finished once its last shot came, or given up on once it
// reported an error or went quiet; the others go on either way.
void TFormPrepareDownload::FinishIfDue(TDevice* device)
{
    if (device->Identifying())
        return;
    if (DownloadUnits::WaitingToFinish(*device)) {
        FinishUnit(device, false, false);
        return;
    }
    if (!DownloadUnits::Downloading(*device))
        return;
    const bool aborted = device->Async().abort.load();
    const bool silent = UnitSilent(device);
    if (!aborted && !silent)
        return;
    DebugLog(QStringLiteral("COM%1: download %2; %3 shots kept")
                 .arg(device->ComNumber())
                 .arg(aborted ? QStringLiteral("aborted by the unit") : QStringLiteral("timed out"))
                 .arg(device->DownloadProgress().received));
    failedUnits_.insert(device);
    FinishUnit(device, true, silent && !aborted);
}

QString TFormPrepareDownload::UnitLines(TDevice* device, int& received, int& total) const
{
    const int com = device->ComNumber();
    QString lines;
    if (failedUnits_.count(device) || (device->Async().abort.load() && DownloadUnits::Downloading(*device)))
        lines += ComLine("COM%d: Error", {double(com)});
    const bool back = unplugged_.count(com) > 0 && failedUnits_.count(device) == 0
        && !DownloadUnits::Downloading(*device) && !DownloadUnits::Handled(*device);
    if (back)
        lines += ComLine("COM%d: plugged in again; reading the unit", {double(com)});
    if (device->Identifying())
        return lines;
    const TDownloadProgress progress = device->DownloadProgress();
    if (failedUnits_.count(device) == 0 && DownloadUnits::Handled(*device)) {
        lines += ComLine("COM%d: Ready", {double(com)});
    } else if (DownloadUnits::Downloading(*device)) {
        received += progress.received;
        total += progress.announced;
        lines += ComLine("COM%d: %d/%d", {double(com), double(progress.received), double(progress.announced)});
    }
    // A unit given up on shows its error only: what it never sent is not lost.
    int missing = 0;
    if (failedUnits_.count(device) == 0 && DownloadUnits::Handled(*device))
        missing = DownloadUnits::MissingShots(progress, true);
    else if (DownloadUnits::Downloading(*device))
        missing = DownloadUnits::MissingShots(progress, false);
    if (missing > 0)
        lines += ComLine("COM%d: %d missing", {double(com), double(missing)});
    return lines;
}

void TFormPrepareDownload::ShowFinishedState(const QString& away)
{
    if (ShooterViewers.empty()) {
        if (DownloadUnits::Connected().empty()) {
            LabelDevices->setText(Tr("Insert optical units") + away);
        } else {
            LabelDevices->setText(Tr("Nothing to download") + away);
            EditEnterName->setEnabled(false);
        }
        return;
    }
    LabelDevices->setText(Tr("Download done"));
    // Closed once, as the viewers open; a unit finished later shows its own.
    if (!isVisible())
        return;
    closedForViewers_ = DeviceManagerInstance && DeviceManagerInstance->Scanning();
    hide();
    ShowSessionViewers();
}

// Units whose port went during their download are parked by whoever saw it
// go (the removal, a scan, a suspend). The shots that came leave the session
// with their shooter: the unit keeps them all, and a unit plugged in again is
// read afresh and downloads them in full.
void TFormPrepareDownload::NoteUnitsGone()
{
    if (!DeviceManagerInstance)
        return;
    for (TDevice* device : DeviceManagerInstance->Reconnecting()) {
        if (!DownloadUnits::LeftDuringDownload(*device))
            continue;
        const int com = device->ComNumber();
        const TDownloadProgress progress = device->DownloadProgress();
        DebugLog(QStringLiteral("COM%1: unplugged during the download; %2 of %3 stored shots had come, the unit keeps them")
                     .arg(com).arg(progress.received).arg(progress.announced));
        device->MarkDownloadHandled();
        unplugged_.insert(com);
        TShooter* partial = device->Shooter();
        device->SetShooter(nullptr);
        if (partial && CurrentSession)
            CurrentSession->TakeShooter(partial);
    }
}

// The lines of the units unplugged during their download that are not back.
QString TFormPrepareDownload::AwayLines() const
{
    const std::vector<TDevice*> units = DownloadUnits::Connected();
    QString lines;
    for (int com : unplugged_) {
        if (std::none_of(units.begin(), units.end(), [com](const TDevice* d) { return d->ComNumber() == com; }))
            lines += ComLine("COM%d: unplugged during the download; the unit keeps its stored shots", {double(com)});
    }
    return lines;
}

// One box for every unit that did not deliver all its shots, scored: which
// unit, how many, and that the unit still holds them.
void TFormPrepareDownload::ReportLosses()
{
    if (losses_.empty())
        return;
    // Every shot may have come with some left unscored: the heading must not
    // tell of shots the banks no longer hold.
    const bool missing = std::any_of(losses_.begin(), losses_.end(), [](const TUnitLoss& l) { return l.missing > 0; });
    QString text = missing ? Tr("Not every stored shot was downloaded:") : Tr("Not every downloaded shot was scored:");
    for (const TUnitLoss& loss : losses_) {
        const std::initializer_list<double> counts = {double(loss.com), double(loss.missing), double(loss.announced)};
        if (loss.missing > 0) {
            if (loss.end == TUnitLoss::Aborted)
                text += ComLine("COM%d: the unit stopped the download; %d of %d stored shots missing", counts);
            else if (loss.end == TUnitLoss::Silent)
                text += ComLine("COM%d: the unit stopped answering; %d of %d stored shots missing", counts);
            else
                text += ComLine("COM%d: %d of %d stored shots missing", counts);
            text += ComLine("COM%d: the unit keeps all its stored shots", {double(loss.com)});
        }
        if (loss.unscored > 0)
            text += ComLine("COM%d: %d shots not scored: the unit's targets could not be read",
                            {double(loss.com), double(loss.unscored)});
    }
    // Taken before the box runs its wait: a download ending meanwhile
    // reports its own.
    losses_.clear();
    Prompts().MessageBox(text, Tr("Information"), TMsgButtons::OK);
}

// ---- Finishing a unit --------------------------------------------------------------------

void TFormPrepareDownload::FinishUnit(TDevice* device, bool failed, bool silent)
{
    struct TFinishingScope {
        int& depth;
        explicit TFinishingScope(int& d) : depth(d) { ++depth; }
        ~TFinishingScope() { --depth; }
        TFinishingScope(const TFinishingScope&) = delete;
        TFinishingScope& operator=(const TFinishingScope&) = delete;
    } scope(finishing_);

    // Handled first: nothing below may finish this unit a second time.
    device->MarkDownloadHandled();
    const TDownloadProgress progress = device->DownloadProgress();
    const int com = device->ComNumber();
    unplugged_.erase(com);
    TUnitLoss loss;
    loss.end = !failed ? TUnitLoss::Complete : silent ? TUnitLoss::Silent : TUnitLoss::Aborted;
    loss.com = com;
    loss.announced = progress.announced;
    loss.missing = failed ? std::max(0, progress.announced - progress.received) : DownloadUnits::MissingShots(progress, true);
    if (!failed && loss.missing > 0) {
        DebugLog(QStringLiteral("COM%1: %2 of %3 stored shots missing")
                     .arg(com).arg(DownloadUnits::MissingShots(progress, true)).arg(progress.announced));
        for (const TStoredShotRef& lost : progress.missing)
            DebugLog(QStringLiteral("COM%1: bank %2 shot %3 missing").arg(com).arg(lost.bank).arg(lost.index + 1));
    }
    // A silent unit would keep the screen waiting for every target it cannot send.
    if (!silent)
        device->ReadMissingTargets();
    loss.unscored = device->RescoreDownloadedShots().skipped;
    if (loss.missing > 0 || loss.unscored > 0)
        losses_.push_back(loss);

    TShooter* shooter = device->Shooter();
    if (shooter) {
        NameShooterOfUnit(shooter);
        auto* viewer = new TFormShooter;
        AttachShooterView(viewer, device, shooter, false);
        ShooterViewers.push_back(viewer);
        ShowSessionViewers();
        viewer->show();
        viewer->raise();
    }
    // The viewer keeps the shooter; unlinked before the banks are cleared, so
    // nothing that runs meanwhile can take it from the unit's side.
    device->SetShooter(nullptr);
    ClearBanksIfComplete(device, failed);

    LabelDevices->setText(Tr("Device is ready for training"));
    Prompts().Beep();
    ProgressBarShotDownload->setValue(0);
    // Events held while this ran.
    if (finishing_ == 1)
        QTimer::singleShot(0, this, [this] { RunEvents(); });
}

void TFormPrepareDownload::NameShooterOfUnit(TShooter* shooter)
{
    const QString placeholder = Translate(EnterNameText);
    const QString typed = EditEnterName->text();
    if (typed != placeholder) {
        shooter->name = typed;
        EditEnterName->setText(placeholder);
    } else {
        shooter->name = placeholder;
    }
}

void TFormPrepareDownload::ClearBanksIfComplete(TDevice* device, bool failed)
{
    if (!CheckBoxClearShotsAfterDownload->isChecked())
        return;
    const TDownloadProgress progress = device->DownloadProgress();
    const bool complete = !failed && DownloadUnits::MissingShots(progress, true) == 0;
    const int com = device->ComNumber();
    if (!complete) {
        DebugLog(QStringLiteral("COM%1: %2 of %3 stored shots arrived; the unit keeps them")
                     .arg(com).arg(progress.received).arg(progress.announced));
        return;
    }
    if (!device->ClearShotBanks())
        DebugLog(QStringLiteral("COM%1: clearing the stored shots failed").arg(com));
}

#include "FormStartMenu.h"

#include "AppSettings.h"
#include "Application.h"
#include "Device.h"
#include "DeviceEvents.h"
#include "DeviceManager.h"
#include "DiagnosticsLog.h"
#include "FormApplicationSettings.h"
#include "FormKeys.h"
#include "FormOpenSession.h"
#include "FormPrepareDownload.h"
#include "FormSelectSetup.h"
#include "FormShooter.h"
#include "FormShooterPanel.h"
#include "Globals.h"
#include "NetworkLink.h"
#include "PictureButton.h"
#include "Prompts.h"
#include "Shotdata.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiBitmaps.h"
#include "UiGlobals.h"
#include "UiIcons.h"
#include "XmlNames.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>

namespace {

constexpr int FormWidth = 480;
constexpr int FormHeight = 500;
constexpr int MemoHeight = 220;

template <class T>
T* Named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* PictureSource(QWidget* parent, const char* name, const QPixmap& picture)
{
    auto* label = Named(new QLabel(parent), name);
    label->setPixmap(picture);
    label->hide();
    return label;
}

QPixmap Picture(const QString& name)
{
    const TUiBitmap& bitmap = UiBitmap(name);
    return bitmap.Loaded() ? QPixmap::fromImage(bitmap.image) : QPixmap();
}

bool MonitorMode()
{
    return GetNetworkMode() == QLatin1String(XmlNames::ModeMonitor);
}

}  // namespace

TFormStartMenu::TFormStartMenu(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormStartMenu"));
    setWindowTitle(QStringLiteral("TRAXEL"));
    setWindowRole(QStringLiteral("FormStartMenu"));
    DebugLog(QStringLiteral("TRAXEL 2.1"));
    DebugLog(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    BuildControls();
    PlaceLogos();
    RegisterTranslation();
    ConnectLog();
    InstallFormKeys(this, nullptr, nullptr);

    TimerUpdateDeviceCounts = Named(new QTimer(this), "TimerUpdateDeviceCounts");
    TimerUpdateDeviceCounts->setInterval(UiTimings().deviceCountMs);
    connect(TimerUpdateDeviceCounts, &QTimer::timeout, this, &TFormStartMenu::TimerUpdateDeviceCountsTimer);
    TimerUpdateDeviceCounts->start();
}

TFormStartMenu::~TFormStartMenu()
{
    UnregisterTranslateTables(this);
    if (reconnecting_)
        EndBusyCursor();
}

// ---- Controls ------------------------------------------------------------------------

void TFormStartMenu::BuildControls()
{
    setFixedSize(FormWidth, FormHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    ImageKallixApplication = Named(new QLabel(QStringLiteral("TRAXEL"), this), "ImageKallixApplication");
    QFont title = font();
    title.setPointSize(28);
    title.setBold(true);
    ImageKallixApplication->setFont(title);
    ImageKallixApplication->setAlignment(Qt::AlignCenter);
    ImageKallixApplication->setGeometry(0, 0, 250, 200);
    ImageLogo2 = Named(new QLabel(this), "ImageLogo2");
    ImageLogo2->setGeometry(0, 0, 250, 200);
    ImageLogo2->hide();
    ImageHome = Named(new QLabel(this), "ImageHome");
    ImageHome->setPixmap(HomeIcon());
    ImageHome->setGeometry(FormWidth - 48, 16, 32, 32);
    Label1 = Named(new QLabel(QStringLiteral("Instructor's Workstation"), this), "Label1");
    QFont bold = font();
    bold.setPointSize(12);
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setWordWrap(true);
    Label1->setGeometry(262, 60, FormWidth - 274, 60);
    ImageLogo3 = Named(new QLabel(this), "ImageLogo3");
    ImageLogo3->setGeometry(262, 130, 200, 60);
    ImageLogo3->hide();

    BuildButtons();
    BuildStatusBar();

    ImageDevicesNone = PictureSource(this, "ImageDevicesNone", UnitIcon(TUnitIcon::None));
    ImageDevicesWired = PictureSource(this, "ImageDevicesWired", UnitIcon(TUnitIcon::Wired));
    ImageDevicesBluetooth = PictureSource(this, "ImageDevicesBluetooth", UnitIcon(TUnitIcon::Bluetooth));
    ImageAdvancedSettings = PictureSource(this, "ImageAdvancedSettings", SettingsIcon(true));
    ImageDeviceCount->setPixmap(ImageDevicesNone->pixmap());

    MemoLog = Named(new QPlainTextEdit(this), "MemoLog");
    MemoLog->setReadOnly(true);
    MemoLog->setMaximumBlockCount(TDiagnosticsLog::MaxLines);
    MemoLog->setGeometry(8, FormHeight, FormWidth - 16, MemoHeight - 8);
    MemoLog->hide();
}

void TFormStartMenu::BuildButtons()
{
    auto* column = new QWidget(this);
    column->setGeometry(40, 210, FormWidth - 80, 216);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    const auto add = [&](const char* name, const QString& text, QStyle::StandardPixmap icon) {
        auto* button = Named(new QPushButton(style()->standardIcon(icon), text, column), name);
        button->setMinimumHeight(48);
        button->setIconSize(QSize(24, 24));
        QFont f = button->font();
        f.setPointSize(11);
        button->setFont(f);
        layout->addWidget(button);
        return button;
    };
    BitBtnClassicTraining = add("BitBtnClassicTraining", QStringLiteral("Classic Operation"), QStyle::SP_MediaPlay);
    BitBtnDynamicTraining = add("BitBtnDynamicTraining", QStringLiteral("Set Shooting Training"), QStyle::SP_MediaPlay);
    BitBtnDownloadSession =
        add("BitBtnDownloadSession", QStringLiteral("Download Last Session "), QStyle::SP_ArrowDown);
    BitBtnOpenSession = add("BitBtnOpenSession", QStringLiteral("Open Previous Session "), QStyle::SP_DialogOpenButton);
    BitBtnMonitorTraining =
        add("BitBtnMonitorTraining", QStringLiteral("Monitor Training Session"), QStyle::SP_ComputerIcon);
    layout->addStretch(1);
    BitBtnClassicTraining->hide();
    BitBtnMonitorTraining->hide();

    connect(BitBtnClassicTraining, &QPushButton::clicked, this, &TFormStartMenu::BitBtnClassicTrainingClick);
    connect(BitBtnDynamicTraining, &QPushButton::clicked, this, &TFormStartMenu::BitBtnDynamicTrainingClick);
    connect(BitBtnDownloadSession, &QPushButton::clicked, this, &TFormStartMenu::BitBtnDownloadSessionClick);
    connect(BitBtnOpenSession, &QPushButton::clicked, this, &TFormStartMenu::BitBtnOpenSessionClick);
    connect(BitBtnMonitorTraining, &QPushButton::clicked, this, &TFormStartMenu::BitBtnMonitorTrainingClick);
}

void TFormStartMenu::BuildStatusBar()
{
    LabelWaitingForConnections =
        Named(new QLabel(QStringLiteral("Waiting For Connections"), this), "LabelWaitingForConnections");
    LabelWaitingForConnections->setAlignment(Qt::AlignCenter);
    LabelWaitingForConnections->setGeometry(0, 428, FormWidth, 20);
    LabelWaitingForConnections->hide();

    const int y = FormHeight - 56;
    ImageDeviceCount = Named(new TPictureButton(this), "ImageDeviceCount");
    ImageDeviceCount->setGeometry(16, y + 4, 32, 32);
    ImageDeviceCount->setCursor(Qt::PointingHandCursor);
    ImageDeviceCount->setToolTip(QStringLiteral("Click to reconnect device(s)"));
    connect(ImageDeviceCount, &TPictureButton::Clicked, this, &TFormStartMenu::ImageDeviceCountClick);
    LabelDeviceCount = Named(new QLabel(QStringLiteral("0 (0)"), this), "LabelDeviceCount");
    QFont bold = font();
    bold.setPointSize(12);
    bold.setBold(true);
    LabelDeviceCount->setFont(bold);
    LabelDeviceCount->setGeometry(54, y + 8, 60, 24);
    LabelDeviceCount->installEventFilter(this);
    LabelPorts = Named(new QLabel(QStringLiteral("Ports"), this), "LabelPorts");
    LabelPorts->setGeometry(116, y + 10, 230, 20);

    ButtonAppSettings = Named(new QPushButton(QIcon(SettingsIcon(false)), QString(), this), "ButtonAppSettings");
    ButtonAppSettings->setToolTip(QStringLiteral("Application Settings"));
    ButtonAppSettings->setIconSize(QSize(28, 28));
    ButtonAppSettings->setGeometry(FormWidth - 112, y, 44, 40);
    BitBtnClose = Named(new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), QString(), this),
                        "BitBtnClose");
    BitBtnClose->setToolTip(QStringLiteral("Quit Application"));
    BitBtnClose->setIconSize(QSize(28, 28));
    BitBtnClose->setGeometry(FormWidth - 60, y, 44, 40);
    connect(ButtonAppSettings, &QPushButton::clicked, this, &TFormStartMenu::ButtonAppSettingsClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &TFormStartMenu::BitBtnCloseClick);
}

void TFormStartMenu::PlaceLogos()
{
    if (IsAdvancedMode())
        ShowAdvancedSettingsIcon();
    QPixmap logo = Picture(BitmapFiles::Logo2);
    if (logo.isNull())
        logo = Picture(BitmapFiles::Logo);
    if (!logo.isNull()) {
        ImageLogo2->setPixmap(logo.scaled(250, 200, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        ImageLogo2->show();
        ImageKallixApplication->hide();
    }
    const QPixmap logo3 = Picture(BitmapFiles::Logo3);
    if (!logo3.isNull()) {
        ImageLogo3->setPixmap(logo3);
        ImageLogo3->show();
    }
}

void TFormStartMenu::ShowAdvancedSettingsIcon()
{
    ButtonAppSettings->setIcon(QIcon(ImageAdvancedSettings->pixmap()));
}

void TFormStartMenu::RegisterTranslation()
{
    using K = TTranslateKind;
    RegisterTranslateTable(TranslateOrderStartMenu, this,
                           {{QStringLiteral("Label1"), K::Caption},
                            {QStringLiteral("LabelWaitingForConnections"), K::Caption},
                            {QStringLiteral("LabelPorts"), K::Caption},
                            {QStringLiteral("BitBtnClassicTraining"), K::Caption},
                            {QStringLiteral("BitBtnDynamicTraining"), K::Caption},
                            {QStringLiteral("BitBtnDownloadSession"), K::Caption},
                            {QStringLiteral("BitBtnOpenSession"), K::Caption},
                            {QStringLiteral("BitBtnMonitorTraining"), K::Caption},
                            {QStringLiteral("ButtonAppSettings"), K::Hint},
                            {QStringLiteral("BitBtnClose"), K::Hint},
                            {QStringLiteral("ImageDeviceCount"), K::Hint}});
    RegisterTranslateTable(TranslateOrderFinalCentering, this,
                           {{QStringLiteral("LabelWaitingForConnections"), K::Center}});
}

// ---- Diagnostics log -----------------------------------------------------------------

void TFormStartMenu::ConnectLog()
{
    TDiagnosticsLog* log = DiagnosticsLog();
    if (!log)
        return;
    connect(log, &TDiagnosticsLog::LinesQueued, this, &TFormStartMenu::TakeLogLines);
    TakeLogLines();
}

void TFormStartMenu::TakeLogLines()
{
    if (TDiagnosticsLog* log = DiagnosticsLog()) {
        const QStringList lines = log->Take();
        if (!lines.isEmpty())
            MemoLog->appendPlainText(lines.join(QLatin1Char('\n')));
    }
}

void TFormStartMenu::AppendLog(const QString& line)
{
    MemoLog->appendPlainText(line);
}

void TFormStartMenu::LabelDeviceCountClick()
{
    const bool show = !MemoLog->isVisible();
    setFixedSize(FormWidth, show ? FormHeight + MemoHeight : FormHeight);
    MemoLog->setVisible(show);
}

// ---- Showing -------------------------------------------------------------------------

void TFormStartMenu::ShowInFront()
{
    show();
    raise();
    activateWindow();
}

void TFormStartMenu::ShowSessionFinished()
{
    LabelWaitingForConnections->setText(Translate(QStringLiteral("Session Finished")));
    CenterInParent(LabelWaitingForConnections);
    ShowInFront();
}

void TFormStartMenu::showEvent(QShowEvent* event)
{
    ApplyNetworkModeLayout();
    ImageDeviceCount->setToolTip(Translate(QStringLiteral("Click to reconnect device(s)")));
    QWidget::showEvent(event);
}

void TFormStartMenu::ApplyNetworkModeLayout()
{
    const bool monitor = MonitorMode();
    BitBtnMonitorTraining->setVisible(monitor);
    BitBtnDynamicTraining->setVisible(!monitor);
    BitBtnDownloadSession->setVisible(!monitor);
    if (!monitor)
        LabelWaitingForConnections->hide();
}

bool TFormStartMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && watched == LabelDeviceCount)
        LabelDeviceCountClick();
    return QWidget::eventFilter(watched, event);
}

// ---- Operations ----------------------------------------------------------------------

void TFormStartMenu::ShowOperation(QWidget* form)
{
    if (form) {
        form->show();
        form->raise();
        form->activateWindow();
    }
    hide();
}

void TFormStartMenu::BitBtnClassicTrainingClick()
{
    SessionMode = SessionClassic;
    if (FormSelectSetup)
        FormSelectSetup->SetModeDynamic(false);
    ShowOperation(FormSelectSetup);
}

void TFormStartMenu::BitBtnDynamicTrainingClick()
{
    SessionMode = SessionDynamic;
    if (FormSelectSetup)
        FormSelectSetup->SetModeDynamic(true);
    ShowOperation(FormSelectSetup);
}

void TFormStartMenu::BitBtnDownloadSessionClick()
{
    SessionMode = SessionDownload;
    if (FormPrepareDownload)
        FormPrepareDownload->SetClearShotsAfterDownload(
            GetOptionBool(QString::fromLatin1(XmlNames::ClearShotsAfterDownload)));
    ShowOperation(FormPrepareDownload);
    if (CurrentSession)
        CurrentSession->date = SessionDateText();
}

void TFormStartMenu::BitBtnOpenSessionClick()
{
    INetworkLink& link = NetworkLink();
    if (link.ServerActive()) {
        link.StopMonitor();
        LabelWaitingForConnections->hide();
    }
    SessionMode = SessionOpenFile;
    ShowOperation(FormOpenSession);
}

void TFormStartMenu::BitBtnMonitorTrainingClick()
{
    INetworkLink& link = NetworkLink();
    if (link.ServerActive()) {
        link.StopMonitor();
        LabelWaitingForConnections->hide();
        SessionMode = SessionNone;
        return;
    }
    // Without a Network element the server keeps the port it had.
    MiniXMLParser::TXMLNode* root = SettingsRoot();
    if (root && root->FindNode(QString::fromLatin1(XmlNames::Network)))
        monitorPort_ = MonitorPortSetting();
    if (!link.StartMonitor(monitorPort_))
        return;  // reported by the link; no monitoring session begins
    LabelWaitingForConnections->setText(Translate(QStringLiteral("Waiting For Connections")));
    LabelWaitingForConnections->show();
    CenterInParent(LabelWaitingForConnections);
    SessionMode = SessionMonitor;
}

void TFormStartMenu::ButtonAppSettingsClick()
{
    if (SessionMode == SessionMonitor && NetworkLink().ServerActive())
        BitBtnMonitorTrainingClick();
    if (!FormApplicationSettings)
        return;
    QPointer<TFormStartMenu> self(this);
    const int result = FormApplicationSettings->exec();
    if (self && result == QDialog::Accepted)
        ApplyNetworkModeLayout();
}

// ---- Device counts -------------------------------------------------------------------

void TFormStartMenu::UpdateDeviceCounts()
{
    TimerUpdateDeviceCountsTimer();
}

void TFormStartMenu::ShowScanProgress(const QString& text)
{
    LabelPorts->setText(text);
}

void TFormStartMenu::TimerUpdateDeviceCountsTimer()
{
    TDeviceManager* manager = DeviceManagerInstance;
    if (!manager)
        return;
    // Also reports a finished scan and drops the units that did not identify.
    const int identifying = manager->CheckScanComplete();
    const int found = manager->FoundDeviceCount();
    const std::vector<TConnectedUnit> units = ConnectedUnits();

    QString text = QString::number(found);
    if (identifying > 0)
        text += QStringLiteral(" (%1)").arg(identifying);
    LabelDeviceCount->setText(text);

    const bool monitor = MonitorMode();
    if (FormSelectSetup) {
        if (identifying == 0 && found > 0 && !monitor && !FormSelectSetup->Programming())
            FormSelectSetup->EnableSetupButtons();
        else if (identifying > 0 || found == 0 || monitor)
            FormSelectSetup->DisableSetupButtons();
    }

    // A reconnect in progress keeps them off until its scan has returned.
    const bool available = identifying == 0 && !reconnecting_;
    BitBtnDownloadSession->setEnabled(available);
    BitBtnOpenSession->setEnabled(available);

    const int icon = found == 0 ? 0 : (!units.empty() && units.front().bluetooth ? 2 : 1);
    if (icon != deviceIcon_) {
        deviceIcon_ = icon;
        const QLabel* source = icon == 0 ? ImageDevicesNone : icon == 1 ? ImageDevicesWired : ImageDevicesBluetooth;
        ImageDeviceCount->setPixmap(source->pixmap());
    }
    const QPixmap picture = ImageDeviceCount->pixmap();
    if (FormSelectSetup)
        FormSelectSetup->ShowDeviceCount(text, picture);
    if (FormPrepareDownload)
        FormPrepareDownload->ShowDeviceCount(text, picture);

    if (monitor) {
        const int links = NetworkLink().ShooterLinkCount();
        LabelDeviceCount->setText(QString::number(links));
        if (links >= 1 && isVisible())
            hide();
    }

    QString ports;
    if (identifying > 0)
        for (const TConnectedUnit& unit : units)
            if (unit.identifying && unit.com > 0)
                ports += QStringLiteral(" COM%1").arg(unit.com);
    LabelPorts->setText(ports);
}

// ---- Reconnect all -------------------------------------------------------------------

void TFormStartMenu::ImageDeviceCountClick()
{
    if (reconnecting_)
        return;
    TDeviceManager* manager = TDeviceManager::Instance();
    if (manager->Scanning() || (FormSelectSetup && FormSelectSetup->Programming())) {
        DebugLog(QStringLiteral("Reconnect refused: a scan or a programming is running"));
        return;
    }
    reconnecting_ = true;
    ImageDeviceCount->setEnabled(false);
    SetOperationButtonsEnabled(false);
    repaint();
    BeginBusyCursor();
    manager->reconnectAll = true;
    try {
        ReleaseConnectedDevices();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Reconnect: ") + QString::fromUtf8(e.what()));
    }
    QTimer::singleShot(UiTimings().reconnectAllWaitMs, this, &TFormStartMenu::FinishReconnectAll);
}

void TFormStartMenu::ReleaseConnectedDevices()
{
    TDeviceManager* manager = DeviceManagerInstance;
    if (!manager)
        return;
    for (TDevice* device : manager->Connected()) {
        bool boundToViewer = false;
        for (TFormShooter* viewer : ShooterViewers) {
            if (viewer && viewer->Device() == device) {
                viewer->UnbindDevice();
                boundToViewer = true;
            }
        }
        // A viewer's unit is parked with its port number: the rescan gives
        // it back to the viewer, which keeps its shooter.
        if (boundToViewer) {
            manager->MoveToReconnect(device);
            continue;
        }
        // Closed first: no shot reaches the shooter while it is judged.
        device->ClosePort();
        TShooter* shooter = device->Shooter();
        bool shownByViewer = false;
        for (TFormShooter* viewer : ShooterViewers)
            shownByViewer = shownByViewer || (viewer && shooter && viewer->Shooter() == shooter);
        if (shooter && (shownByViewer || shooter->ShotCount() > 0))
            device->UnlinkShooter(shooter);  // stays in the session
        manager->DropDevice(device);
    }
}

void TFormStartMenu::FinishReconnectAll()
{
    QPointer<TFormStartMenu> self(this);
    try {
        TDeviceManager* manager = TDeviceManager::Instance();
        // Parked units back to their viewers first; a new scan would open
        // their ports as new units without a viewer.
        if (!manager->Reconnecting().empty())
            manager->ScanPorts(false, true, false);
        if (self)
            manager->ScanPorts(true, true, false);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Reconnect scan failed: ") + QString::fromUtf8(e.what()));
    }
    if (!self)
        return;  // the destructor ended the busy cursor
    EndBusyCursor();
    reconnecting_ = false;
    ImageDeviceCount->setEnabled(true);
    SetOperationButtonsEnabled(true);
    UpdateDeviceCounts();
}

void TFormStartMenu::SetOperationButtonsEnabled(bool enabled)
{
    for (QPushButton* button :
         {BitBtnClassicTraining, BitBtnDynamicTraining, BitBtnDownloadSession, BitBtnOpenSession})
        button->setEnabled(enabled);
}

// ---- Quitting ------------------------------------------------------------------------

bool TFormStartMenu::SessionClosedForQuit()
{
    if (quitting_ || !SessionUnsaved.load() || !FormShooterPanel)
        return true;
    return FormShooterPanel->CloseSession();
}

void TFormStartMenu::BitBtnCloseClick()
{
    if (!SessionClosedForQuit())
        return;
    try {
        SaveApplicationSettings();
    } catch (const std::exception& e) {
        Prompts().MessageBox(QString::fromUtf8(e.what()), Translate(QStringLiteral("Error")), TMsgButtons::OK);
    }
    quitting_ = true;
    close();
}

void TFormStartMenu::closeEvent(QCloseEvent* event)
{
    if (!SessionClosedForQuit()) {
        event->ignore();
        return;
    }
    quitting_ = true;
    event->accept();
    TerminateApplication();
}

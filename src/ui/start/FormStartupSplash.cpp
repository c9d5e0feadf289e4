#include "FormStartupSplash.h"

#include "AppSettings.h"
#include "Clock.h"
#include "DeviceEvents.h"
#include "DeviceManager.h"
#include "FormNameListEditor.h"
#include "FormStartMenu.h"
#include "Globals.h"
#include "Targetrenderer.h"
#include "Translation.h"
#include "UiBitmaps.h"
#include "UiGlobals.h"
#include "UiIcons.h"
#include "XmlNames.h"

#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <exception>

namespace {

constexpr int FallbackWidth = 600;
constexpr int FallbackHeight = 300;
constexpr int Border = 2;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text = QString())
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    // Clicks anywhere on the splash reach ImageSplash below.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

QTimer* MakeTimer(QObject* parent, const char* name, int intervalMs)
{
    auto* timer = new QTimer(parent);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setInterval(intervalMs);
    return timer;
}

QPixmap Picture(const QString& name)
{
    const TUiBitmap& bitmap = UiBitmap(name);
    return bitmap.Loaded() ? QPixmap::fromImage(bitmap.image) : QPixmap();
}

}  // namespace

TFormStartupSplash::TFormStartupSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    clock_.start();
    ageAtCreation_ = std::max<int64_t>(0, ProcessAgeMs());
    setObjectName(QStringLiteral("FormStartupSplash"));
    setWindowTitle(QStringLiteral("TRAXEL"));
    setWindowRole(QStringLiteral("FormStartupSplash"));
    BuildControls();
    PlacePictures();
    FormCreate();
}

TFormStartupSplash::~TFormStartupSplash() = default;

void TFormStartupSplash::BuildControls()
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, QColor(0x20, 0x30, 0x48));
    setPalette(pal);

    ImageSplash = new QLabel(this);
    ImageSplash->setObjectName(QStringLiteral("ImageSplash"));
    ImageSplash->installEventFilter(this);
    Bevel = new QFrame(this);
    Bevel->setObjectName(QStringLiteral("Bevel"));
    Bevel->setFrameShape(QFrame::Box);
    Bevel->setAttribute(Qt::WA_TransparentForMouseEvents);
    Bevel->hide();

    ImageApplicationLogo = MakeLabel(this, "ImageApplicationLogo");
    ImageVendorLogo = MakeLabel(this, "ImageVendorLogo");
    ImageDeviceStatus = MakeLabel(this, "ImageDeviceStatus");
    ImageDeviceFound = MakeLabel(this, "ImageDeviceFound");
    ImageDeviceFound->setPixmap(UnitIcon(TUnitIcon::Found));
    ImageDeviceFound->hide();
    LabelDevicesInPorts = MakeLabel(this, "LabelDevicesInPorts", QStringLiteral("Devices In Ports"));
    LabelReleaseDate = MakeLabel(this, "LabelReleaseDate", QStringLiteral("2014-11-20"));
    LabelCompanyName = MakeLabel(this, "LabelCompanyName", QStringLiteral("Tavrik"));
    LabelVersion = MakeLabel(this, "LabelVersion", QStringLiteral("Version 2.1.3"));
    QFont bold = LabelDevicesInPorts->font();
    bold.setBold(true);
    LabelDevicesInPorts->setFont(bold);
    LabelCompanyName->setFont(bold);

    const TUiTimings& t = UiTimings();
    TimerStartScan = MakeTimer(this, "TimerStartScan", t.splashStartScanMs);
    TimerStartScan->setSingleShot(true);
    TimerUpdateStatus = MakeTimer(this, "TimerUpdateStatus", t.splashStatusMs);
    TimerHideSplash = MakeTimer(this, "TimerHideSplash", t.splashHideMs);
    connect(TimerStartScan, &QTimer::timeout, this, &TFormStartupSplash::TimerStartScanTimer);
    connect(TimerUpdateStatus, &QTimer::timeout, this, &TFormStartupSplash::TimerUpdateStatusTimer);
    connect(TimerHideSplash, &QTimer::timeout, this, &TFormStartupSplash::TimerHideSplashTimer);
}

// The splash picture sets the size; without it the fixed layout stays.
void TFormStartupSplash::PlacePictures()
{
    const QPixmap splash = Picture(BitmapFiles::Start);
    int width = FallbackWidth;
    int height = FallbackHeight;
    if (!splash.isNull()) {
        ImageSplash->setPixmap(splash);
        width = splash.width() + 2 * Border;
        height = splash.height() + 2 * Border;
        ImageApplicationLogo->move(splash.width() - 255, 50);
        // The texts stand on the picture.
        QPalette pal = palette();
        pal.setColor(QPalette::WindowText, Qt::white);
        setPalette(pal);
    } else {
        ImageApplicationLogo->move(175, 35);
        Bevel->setGeometry(0, 0, width, height);
        Bevel->show();
    }
    setFixedSize(width, height);
    ImageSplash->setGeometry(0, 0, width, height);
    ImageSplash->setAlignment(Qt::AlignCenter);

    const QPixmap logo = Picture(BitmapFiles::Logo);
    if (!logo.isNull()) {
        ImageApplicationLogo->setPixmap(logo);
        ImageApplicationLogo->resize(logo.size());
    }
    const QPixmap vendor = Picture(BitmapFiles::Vendor);
    if (!vendor.isNull()) {
        ImageVendorLogo->setPixmap(vendor);
        ImageVendorLogo->setGeometry(width - vendor.width() - 16, height - vendor.height() - 14, vendor.width(),
                                     vendor.height());
    }

    ImageDeviceStatus->setGeometry(20, height - 78, 32, 32);
    LabelDevicesInPorts->setGeometry(20, height - 40, width - 180, 20);
    LabelVersion->setGeometry(20, 20, 220, 18);
    LabelReleaseDate->setGeometry(20, 38, 220, 18);
    LabelCompanyName->setGeometry(20, 56, 220, 18);
}

void TFormStartupSplash::FormCreate()
{
    try {
        TDeviceManager::Instance()->EnumeratePorts();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Port list failed: ") + QString::fromUtf8(e.what()));
    }
    SetStatus(QString());
    TimerStartScan->start();
}

bool TFormStartupSplash::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ImageSplash) {
        if (event->type() == QEvent::Paint)
            LogFirstPaint();
        else if (event->type() == QEvent::MouseButtonRelease)
            ImageSplashClick();
    }
    return QWidget::eventFilter(watched, event);
}

void TFormStartupSplash::ShowScanProgress(const QString& text)
{
    SetStatus(text);
}

void TFormStartupSplash::SetStatus(const QString& text)
{
    LabelDevicesInPorts->setText(text);
    Q_EMIT StatusShown(text);
}

// ---- Timers --------------------------------------------------------------------------

void TFormStartupSplash::TimerStartScanTimer()
{
    TimerStartScan->stop();
    scanStarted_ = true;
    scanStartMs_ = NowMs();
    TimerUpdateStatus->start();
    QPointer<TFormStartupSplash> self(this);
    try {
        // Pumps events until the units have settled.
        TDeviceManager::Instance()->ScanPorts(true, true, false);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Scan failed: ") + QString::fromUtf8(e.what()));
    }
    if (!self)
        return;
    scanEndMs_ = NowMs();
    LoadTeamNameList();
}

void TFormStartupSplash::TimerUpdateStatusTimer()
{
    TDeviceManager* manager = DeviceManagerInstance;
    if (!manager)
        return;
    const int identifying = manager->CheckScanComplete();
    if (identifying > 0) {
        SetStatus(ScanningText(identifying));
        if (IdentifyLimitPassed()) {
            TimerUpdateStatus->stop();
            if (!menuShown_) {
                DebugLog(QStringLiteral("Units still identifying; start menu shown"));
                ShowStartMenu();
            }
        }
        return;
    }
    const bool any = !ConnectedUnits().empty();
    if (any)
        ImageDeviceStatus->setPixmap(ImageDeviceFound->pixmap());
    SetStatus(FoundText());
    // Ports still being opened: the list is shown again next second, over
    // the scan's own progress line, until the scan is over.
    if (manager->Scanning())
        return;
    scanSeenEndedMs_ = NowMs();
    TimerUpdateStatus->stop();
    if (!menuShown_) {
        hideTimerStartMs_ = NowMs();
        TimerHideSplash->start();
    }
}

void TFormStartupSplash::TimerHideSplashTimer()
{
    if (menuShown_) {
        TimerHideSplash->stop();
        return;
    }
    // Not yet: the timer tries again one interval later.
    if (ReadyForStartMenu())
        ShowStartMenu();
}

void TFormStartupSplash::ImageSplashClick()
{
    // While units are identifying the splash stays and the hide timer keeps
    // trying; once the menu is up a click changes nothing.
    if (!menuShown_ && ReadyForStartMenu())
        ShowStartMenu();
}

// ---- Texts ---------------------------------------------------------------------------

QString TFormStartupSplash::ScanningText(int identifying) const
{
    const std::vector<TConnectedUnit> units = ConnectedUnits();
    QString text = FormatDisplayText(Translate(QStringLiteral("Scanning %d")), {double(identifying)})
        + QStringLiteral(": ");
    for (const TConnectedUnit& unit : units)
        if (unit.identifying && unit.com >= 1)
            text += QStringLiteral(" COM%1").arg(unit.com);
    for (const TConnectedUnit& unit : units)
        if (!(unit.identifying && unit.com >= 1) && unit.found)
            text += QStringLiteral(" COM%1").arg(unit.com);
    return text;
}

QString TFormStartupSplash::FoundText() const
{
    const std::vector<TConnectedUnit> units = ConnectedUnits();
    if (units.empty())
        return Translate(QStringLiteral("No devices found."));
    QString text = Translate(QStringLiteral("Found devices: "));
    for (const TConnectedUnit& unit : units)
        text += QStringLiteral(" COM%1").arg(unit.com);
    return text;
}

// ---- Start menu ----------------------------------------------------------------------

bool TFormStartupSplash::IdentifyLimitPassed() const
{
    return scanStarted_ && NowMs() - scanStartMs_ >= UiTimings().splashIdentifyLimitMs;
}

bool TFormStartupSplash::ReadyForStartMenu()
{
    if (IdentifyLimitPassed())
        return true;
    TDeviceManager* manager = DeviceManagerInstance;
    if (!manager)
        return true;
    if (manager->Scanning())
        return false;
    return manager->CheckScanComplete() == 0;
}

void TFormStartupSplash::ShowStartMenu()
{
    if (menuShown_)
        return;
    menuShown_ = true;
    TimerHideSplash->stop();
    hide();
    if (FormStartMenu)
        FormStartMenu->ShowInFront();

    const int64_t shown = NowMs();
    int64_t inTimers = scanStarted_ ? scanStartMs_ - ageAtCreation_ : shown - ageAtCreation_;
    if (scanSeenEndedMs_ >= 0 && scanEndMs_ >= 0)
        inTimers += std::max<int64_t>(0, scanSeenEndedMs_ - scanEndMs_);
    if (hideTimerStartMs_ >= 0)
        inTimers += shown - hideTimerStartMs_;
    const int64_t scanMs = scanEndMs_ >= 0 ? scanEndMs_ - scanStartMs_ : -1;
    DebugLog(QStringLiteral("Start menu shown %1 ms after process start, %2 ms of it in the splash's timers; "
                            "the scan took %3 ms")
                 .arg(shown)
                 .arg(inTimers)
                 .arg(scanMs));
}

void TFormStartupSplash::LoadTeamNameList()
{
    const QString file = GetOptionString(QString::fromLatin1(XmlNames::TeamNameListFile));
    if (file.trimmed().isEmpty() || !QFileInfo::exists(file) || !FormNameListEditor)
        return;
    try {
        if (FormNameListEditor->LoadNameList(file)) {
            FormNameListEditor->TeamsToGrid();
            FormNameListEditor->ShootersToGrid();
        }
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Name list %1: %2").arg(file, QString::fromUtf8(e.what())));
    }
}

int64_t TFormStartupSplash::NowMs() const
{
    return ageAtCreation_ + clock_.elapsed();
}

void TFormStartupSplash::LogFirstPaint()
{
    if (painted_)
        return;
    painted_ = true;
    DebugLog(QStringLiteral("Splash painted %1 ms after process start").arg(NowMs()));
}

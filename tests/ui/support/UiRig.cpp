#include "UiRig.h"

#include "AppPaths.h"
#include "AppSettings.h"
#include "AppStartup.h"
#include "Application.h"
#include "Device.h"
#include "DeviceFrames.h"
#include "DeviceManager.h"
#include "FormSelectSetup.h"
#include "FormShooter.h"
#include "FormStartMenu.h"
#include "FormStartupSplash.h"
#include "Globals.h"
#include "NameList.h"
#include "PortRegistry.h"
#include "Shotdata.h"
#include "TestFiles.h"
#include "TestTargets.h"
#include "Translation.h"
#include "UiGlobals.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTest>
#include <QTimer>

#include <thread>

namespace {

TMsgResult SilentAnswer(TMsgButtons buttons)
{
    switch (buttons) {
    case TMsgButtons::OK: return TMsgResult::OK;
    case TMsgButtons::OKCancel: return TMsgResult::Cancel;
    case TMsgButtons::YesNo: return TMsgResult::No;
    case TMsgButtons::YesNoCancel: return TMsgResult::Cancel;
    case TMsgButtons::AbortRetryIgnore: return TMsgResult::Abort;
    }
    return TMsgResult::Cancel;
}

void ShortenTimings()
{
    TUiTimings& t = UiTimings();
    t = TUiTimings {};
    t.splashStartScanMs = 50;
    t.splashStatusMs = 50;
    t.splashHideMs = 100;
    t.splashIdentifyLimitMs = 10000;
    t.deviceCountMs = 50;
    t.reconnectAllWaitMs = 200;
    t.parkedReopenMs = 100;
    t.viewerShotHoldMs = 300;
    t.viewerTimedMessageMs = 300;
    t.viewerHideButtonsMs = 300;
    t.viewerReconnectWaitMs = 200;
    t.viewerNetworkTextWaitMs = 200;
    t.networkRetryWaitMs = 0;
    t.viewerDisplayLineMs = 20;
    t.resumeWaitMs = 200;
    t.savedPanelMs = 300;
}

void ShortenDeviceTimings()
{
    TDeviceManagerTimings& t = TDeviceManager::Instance()->timings;
    t.afterOpenMs = 80;
    t.bluetoothExtraMs = 10;
    t.reconnectPauseMs = t.openWaitStepMs = t.settleStepMs = 20;
    t.openWaitLimitMs = 3000;
    t.settleSteps = 2;
}

class TAppEnvironment final : public ::testing::Environment {
public:
    explicit TAppEnvironment(TApplication* app)
        : app_(app)
    {
    }
    void TearDown() override { delete app_; }

private:
    TApplication* app_;
};

}  // namespace

// ---- TScriptedPrompts ----

TMsgResult TScriptedPrompts::MessageBox(const QString& text, const QString& caption, TMsgButtons buttons)
{
    shown.push_back({text, caption, buttons});
    if (!queued.empty()) {
        const TMsgResult answer = queued.front();
        queued.pop_front();
        return answer;
    }
    return SilentAnswer(buttons);
}

QString TScriptedPrompts::OpenFileName(const TFileRequest& request)
{
    fileRequests.push_back(request);
    if (fileAnswers.empty())
        return QString();
    const QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

QString TScriptedPrompts::SaveFileName(const TFileRequest& request) { return OpenFileName(request); }

bool TScriptedPrompts::ChooseColour(uint32_t*) { return false; }

bool TScriptedPrompts::PrintDialog(QPrinter* printer)
{
    ++printDialogs;
    if (printAnswers.empty())
        return false;
    const TPrintAnswer answer = printAnswers.front();
    printAnswers.pop_front();
    return answer(printer);
}

TScriptedPrompts::TPrintAnswer TScriptedPrompts::PrintToPdf(const QString& path, bool landscape)
{
    return [path, landscape](QPrinter* printer) {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(path);
        printer->setPageSize(QPageSize(QPageSize::A4));
        printer->setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        return true;
    };
}

int TScriptedPrompts::Count(const QString& text) const
{
    int n = 0;
    for (const TShown& s : shown)
        n += s.text == text ? 1 : 0;
    return n;
}

QStringList TScriptedPrompts::Texts() const
{
    QStringList texts;
    for (const TShown& s : shown)
        texts << s.text;
    return texts;
}

// ---- UiRigTest ----

void UiRigTest::SetUpTestSuite()
{
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "traxel_ui_test";
        static char* argv[] = {name, nullptr};
        // Deleted when the test program's run ends, not at exit: by then Qt's
        // own globals (the input devices QTest clicks with) are gone.
        ::testing::AddGlobalTestEnvironment(new TAppEnvironment(new TApplication(argc, argv)));
        TApplication::setQuitOnLastWindowClosed(false);
    }
}

void UiRigTest::SetUp()
{
    ASSERT_TRUE(tmp_.isValid());
    for (const char* sub : {"data", "sys", "byid", "dev"})
        ASSERT_TRUE(QDir(tmp_.path()).mkpath(QString::fromLatin1(sub)));
    // The program takes the current directory as its folder and the generic
    // data location as its data folder.
    savedCwd_ = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QStringLiteral(TRAXEL_RUNTIME_DIR)));
    qputenv("XDG_DATA_HOME", DataPath().toUtf8());
    SetAppDataFolder(DataPath());
    ASSERT_TRUE(QDir().mkpath(PortsFolder()));

    TPortRegistry& registry = TPortRegistry::Instance();
    registry.SetSysfsRoot(tmp_.filePath(QStringLiteral("sys")).toStdString());
    registry.SetByIdFolder(tmp_.filePath(QStringLiteral("byid")).toStdString());
    registry.SetDevFolder(tmp_.filePath(QStringLiteral("dev")).toStdString());
    registry.SetPortsFolder(PortsFolder().toStdString());
    registry.Reset();

    ShortenTimings();
    SetPrompts(&prompts);
    ResetTranslation();
}

void UiRigTest::TearDown()
{
    StopProgram();
    units.clear();
    SetPrompts(nullptr);
    SetNetworkLink(nullptr);
    SetDebugLogSink({});
    ResetTranslation();
    TPortRegistry::Instance().SetPortsFolder(std::string());
    TPortRegistry::Instance().Reset();
    QDir::setCurrent(savedCwd_);
}

bool UiRigTest::StartProgram(const std::function<void()>& formsCreated)
{
    started_ = true;
    TDeviceManager::Instance();
    ShortenDeviceTimings();
    if (!ApplicationStartup())
        return false;
    CreateForms(networkForms);
    if (formsCreated)
        formsCreated();
    FormStartupSplash->show();
    return true;
}

bool UiRigTest::WaitForStartMenu(std::chrono::milliseconds limit)
{
    return WaitFor([] { return FormStartMenu && FormStartMenu->isVisible(); }, limit);
}

void UiRigTest::StopProgram()
{
    if (!started_)
        return;
    started_ = false;
    DestroyForms();
    ApplicationShutdown();
    SetSettingsRoot(nullptr);
    SessionMode = SessionNone;
    SessionUnsaved.store(false);
}

unitsim::TSimUnit& UiRigTest::AddUnit(int number, const std::string& name)
{
    unitsim::UnitConfig config;
    config.name = name;
    return AddUnit(number, config);
}

unitsim::TSimUnit& UiRigTest::AddUnit(int number, const unitsim::UnitConfig& config)
{
    units.push_back(std::make_unique<unitsim::TSimUnit>(config));
    const QString link = PortsFolder() + QStringLiteral("/COM%1").arg(number);
    EXPECT_TRUE(units.back()->SetPortLink(link.toStdString()));
    return *units.back();
}

void UiRigTest::RemoveUnit(unitsim::TSimUnit& unit)
{
    std::erase_if(units, [&](const auto& owned) { return owned.get() == &unit; });
}

bool UiRigTest::WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
}

bool UiRigTest::ClickWhenReady(QWidget* widget, std::chrono::milliseconds limit)
{
    if (!widget || !WaitFor([widget] { return widget->isVisible() && widget->isEnabled(); }, limit))
        return false;
    Click(widget);
    return true;
}

void UiRigTest::ClearReceived()
{
    for (auto& unit : units)
        unit->ClearReceived();
}

bool UiRigTest::ScanUnits(int n)
{
    TDeviceManager* manager = TDeviceManager::Instance();
    if (!manager->Scanning())
        manager->ScanPorts(true, true, false);
    // A unit that missed the first stop (its port not yet raw on a busy
    // machine) is asked again every 3 s, up to three times: the limit leaves
    // room for that.
    return WaitFor([&] {
        manager->CheckScanComplete();
        return manager->FoundDeviceCount() == n && manager->IdentifyingDeviceCount() == 0;
    }, std::chrono::seconds(30));
}

void UiRigTest::StartTraining(int n)
{
    for (int i = 0; i < n; ++i)
        AddUnit(41 + i, unitsim::UnitName("KBR", 41 + i));
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(WaitForStartMenu());
    ASSERT_TRUE(ScanUnits(n));
    SetOptionString(QStringLiteral("StartAutomatically"), QStringLiteral("true"));
    Click(Control(FormStartMenu, "BitBtnDynamicTraining"));
    QPushButton* start = Control(FormSelectSetup, "ButtonStart");
    ASSERT_TRUE(WaitFor([&] { return start->isEnabled(); }));
    Click(start);
    ASSERT_TRUE(WaitFor([&] {
        if (FormSelectSetup->Programming() || ShooterViewers.size() != std::size_t(n))
            return false;
        for (const auto& unit : units)
            if (!unit->Measuring())
                return false;
        return true;
    }));
    for (TFormShooter* viewer : ShooterViewers)
        ASSERT_NE(viewer->Device(), nullptr);
    prompts.shown.clear();
}

void UiRigTest::FireAndWait(const std::vector<std::pair<int16_t, int16_t>>& hits)
{
    std::vector<int> before;
    for (TFormShooter* viewer : ShooterViewers)
        before.push_back(viewer->Shooter()->ShotCount());
    for (std::size_t i = 0; i < units.size(); ++i) {
        for (const auto& [x, y] : hits)
            units[i]->FireShot(RingShot(x + 7 * int(i), y));
    }
    ASSERT_TRUE(WaitFor([&] {
        for (std::size_t k = 0; k < ShooterViewers.size(); ++k) {
            const TFormShooter* viewer = ShooterViewers[k];
            const int expected = before[k] + int(hits.size());
            if (viewer->Shooter()->ShotCount() != expected || viewer->DrawPending()
                || viewer->Strip().EntryCount() != expected)
                return false;
        }
        return true;
    }));
}

int UiRigTest::ExitCodeOf(const std::function<void()>& action)
{
    QTimer run;  // owned here: a timer left queued would end the next run's loop
    run.setSingleShot(true);
    QObject::connect(&run, &QTimer::timeout, [&] {
        action();
        // A loop started after the program asked to end returns -1 at once.
        QEventLoop probe;
        QTimer::singleShot(0, &probe, [&probe] { probe.exit(0); });
        if (probe.exec() == 0)
            QCoreApplication::exit(StillRunning);
    });
    run.start(0);
    return QCoreApplication::exec();
}

QString UiRigTest::DataPath() const { return tmp_.filePath(QStringLiteral("data")); }

QString UiRigTest::PortsFolder() const { return DataPath() + QStringLiteral("/Tavrik/TRAXEL/Ports"); }

// ---- Forms and units ----

void Click(QWidget* widget, QPoint at)
{
    ASSERT_NE(widget, nullptr);
    // Qt drops a click on a disabled control without a word and delivers one
    // to a hidden control no user could reach; either way the test would go
    // on as if the operator had clicked. Tests wait for the state a user
    // would see before clicking.
    EXPECT_TRUE(widget->isVisible()) << "click on hidden " << widget->objectName().toStdString();
    EXPECT_TRUE(widget->isEnabled()) << "click on disabled " << widget->objectName().toStdString();
    QTest::mouseClick(widget, Qt::LeftButton, {}, at.isNull() ? widget->rect().center() : at);
}

bool ActivateWindow(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window, 5000);
}

void PressKey(int key, Qt::KeyboardModifiers modifiers)
{
    QWidget* target = QApplication::focusWidget();
    if (!target)
        target = QApplication::activeWindow();
    ASSERT_NE(target, nullptr) << "no window takes keys";
    QTest::keyClick(target, Qt::Key(key), modifiers);
}

bool TabTo(QWidget* form, const char* name)
{
    const int round = int(form->findChildren<QWidget*>().size()) + 1;
    for (int i = 0; i < round; ++i) {
        const QWidget* focus = QApplication::focusWidget();
        if (focus && focus->objectName() == QLatin1String(name))
            return true;
        PressKey(Qt::Key_Tab);
    }
    return false;
}

TFormShooter* AddViewer(TDevice* device, TShooter* shooter, bool live)
{
    auto* viewer = new TFormShooter;
    ShooterViewers.push_back(viewer);
    AttachShooterView(viewer, device, shooter, live);
    return viewer;
}

unitsim::SimShot RingShot(int x, int y)
{
    unitsim::SimShot shot;
    shot.x = int16_t(x);
    shot.y = int16_t(y);
    shot.functionMode = 1;
    return shot;
}

int CountFrames(const unitsim::TSimUnit& unit, const std::function<bool(const unitsim::ReceivedFrame&)>& pred)
{
    const auto frames = unit.Received();
    return int(std::count_if(frames.begin(), frames.end(), pred));
}

bool AllWrittenArrived(TDevice* device)
{
    return device && device->SendAndWait(BuildRequestInfo(32), ReplyShotBankCounts, 30000);
}

bool IsStopFrame(const unitsim::ReceivedFrame& f) { return f.Letter() == 'a' && f.Arg(1) == 2 && f.Arg(3) == 33; }
bool IsStartFrame(const unitsim::ReceivedFrame& f) { return f.Letter() == 'a' && f.Arg(3) == 32; }

std::vector<TShotKey> ShotKeys(TShooter* shooter)
{
    std::vector<TShotKey> shots;
    for (const TShot* shot : shooter->SnapshotShots())
        shots.emplace_back(shot->raw.XNAU(), shot->raw.YNAU(), shot->raw.Score());
    return shots;
}

std::map<QString, QString> FileListing(const QString& folder)
{
    std::map<QString, QString> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        files[info.filePath()] = QString::number(info.size()) + QLatin1Char(' ')
                                 + info.lastModified().toString(Qt::ISODateWithMs);
    }
    return files;
}

void SetFileAge(const QString& path, int secondsOld)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite)) << path.toStdString();
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-secondsOld), QFileDevice::FileModificationTime));
}

QString WriteFile(const QString& path, const QByteArray& bytes)
{
    EXPECT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    WriteAll(path, bytes);
    return path;
}

// ---- Name lists ----

void FillNameList(TShooterNameFileHandler& names, const QString& teams)
{
    while (names.TeamCount() > 0)
        names.DeleteTeam(0);
    for (const QString& team : teams.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        TTeam* added = names.AddTeam(team.section(QLatin1Char(':'), 0, 0));
        const QString shooters = team.section(QLatin1Char(':'), 1);
        for (const QString& name : shooters.isEmpty() ? QStringList() : shooters.split(QLatin1Char(',')))
            added->AddName(name);
    }
}

QString DescribeNameList(const TShooterNameFileHandler& names)
{
    QStringList teams;
    for (int i = 0; i < names.TeamCount(); ++i) {
        const TTeam* team = names.GetTeam(i);
        QStringList shooters;
        for (int k = 0; k < team->NameCount(); ++k)
            shooters << team->GetName(k)->Name;
        teams << team->Name() + QLatin1Char(':') + shooters.join(QLatin1Char(','));
    }
    return teams.join(QLatin1Char(';'));
}

void TypeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(c.toUpper().unicode()), QString(c), Qt::NoModifier);
}

// Font configuration keeps its caches until exit and Qt never releases them;
// under the leak checker that is noise, not a fault of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

// ---- Sessions built without units ----

TargetDescription NamedRing(const QString& name)
{
    TargetDescription target = GoldenRing();
    target.ringRecord.SetNameText(name);
    return target;
}

TShooter* AddShooterWithShots(TSession& session, const QString& name, int serial, const TargetDescription& target,
                              int shots)
{
    auto shooter = std::make_unique<TShooter>();
    shooter->name = name;
    shooter->SetSerialNumber(QString::fromStdString(unitsim::UnitName("KBR", serial)));
    shooter->currentTarget = target;
    if (target.hasRing) {
        shooter->targets.ringTargets[0] = target.ringRecord;
        shooter->targets.ringDefined[0] = 1;
    }
    if (target.hasSilhouette) {
        shooter->targets.silhouetteTargets[0] = target.silhouetteRecord;
        shooter->targets.silhouetteMatrices[0] = target.silhouetteMatrix;
        shooter->targets.silhouetteDefined[0] = 1;
    }
    for (int i = 0; i < shots; ++i) {
        auto shot = std::make_unique<TShot>();
        shot->raw.SetShotNumber(i + 1);
        shot->raw.SetXNAU(10 * i);
        shot->raw.SetYNAU(-5 * i);
        shot->raw.SetRingTargetIndex(target.hasRing ? 0 : RawShotRecord::NoTarget);
        shot->raw.SetSilhouetteTargetIndex(target.hasSilhouette ? 0 : RawShotRecord::NoTarget);
        shot->raw.SetFunctionMode(target.hasRing ? 1 : 2);
        shot->raw.SetStartupCounter(1);
        shot->raw.SetTime(uint32_t(66 * (i + 1)));
        shot->raw.SetScore(100 - i);
        shooter->AddShot(std::move(shot));
    }
    return session.AddShooter(std::move(shooter));
}

// The download screen: stored shots fetched from simulated units, each unit
// finished once with a review viewer, its banks cleared only when all came;
// units that fail or fall silent; port changes and suspend/resume.
#include "Device.h"
#include "DeviceFrames.h"
#include "DeviceManager.h"
#include "FormPrepareDownload.h"
#include "FormShooterPanel.h"
#include "FormSelectSetup.h"
#include "FormStartMenu.h"
#include "Globals.h"
#include "TestTargets.h"
#include "UiRig.h"

#include <QElapsedTimer>
#include <QtAlgorithms>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTimer>

#include <map>
#include <optional>
#include <tuple>
#include <utility>

namespace {

using unitsim::FaultKind;

class DownloadTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        UiTimings().downloadSilenceMs = 1000;
        clock_.start();
    }

    // The port of COM<com> arrives; true once its scan is over with found
    // units in all.
    bool PlugIn(int com, int found)
    {
        FormPrepareDownload->OnPortArrival(com);
        return WaitFor([found] {
            return DeviceManagerInstance->FoundDeviceCount() == found && !DeviceManagerInstance->Scanning()
                && DeviceManagerInstance->CheckScanComplete() == 0;
        });
    }

    // A unit behind COM<com> holding counts[bank] classic shots on ring target 0.
    unitsim::TSimUnit& Unit(int com, const std::vector<int>& counts)
    {
        unitsim::TSimUnit& unit = AddUnit(com, unitsim::UnitName("KBR", com));
        unit.SetRingTarget(0, GoldenRingRecord().b);
        for (std::size_t bank = 0; bank < counts.size(); ++bank) {
            for (int i = 0; i < counts[bank]; ++i)
                unit.AddStoredShot(int(bank), Shot(40 * i - 200, 15 * i), 3);
        }
        return unit;
    }

    static unitsim::SimShot Shot(int x, int y)
    {
        unitsim::SimShot shot = RingShot(x, y);
        shot.ringTarget = 0;
        return shot;
    }

    // Starts the program and has its units identified.
    void Connect(int count)
    {
        ASSERT_TRUE(StartProgram());
        SetDebugLogSink([this](const QString& line) { log_.push_back({clock_.elapsed(), line}); });
        ASSERT_TRUE(ScanUnits(count));
        prompts.shown.clear(); // the start-up's own
    }

    void OpenDownload(bool clear)
    {
        SessionMode = SessionDownload;
        FormPrepareDownload->SetClearShotsAfterDownload(clear);
        FormPrepareDownload->show();
    }

    QString Status() const { return FormPrepareDownload->findChild<QLabel*>("LabelDevices")->text(); }
    bool WaitForStatus(const QString& text) { return WaitFor([&] { return Status() == text; }); }
    bool StatusShows(const QString& line) { return WaitFor([&] { return Status().contains(line); }); }
    // Every unit finished, the form gone, the download over (the form closes
    // as the viewers open, before a port scan under way has ended).
    bool WaitDone()
    {
        return WaitFor([&] {
            return Status() == QStringLiteral("Download done") && !FormPrepareDownload->isVisible()
                && !FormPrepareDownload->Downloading();
        });
    }

    // Frames of that letter (and byte at index equal to value) the unit received.
    static int Frames(const unitsim::TSimUnit& unit, uint8_t letter, int index = -1, int value = 0)
    {
        return CountFrames(unit, [&](const auto& f) {
            return f.Letter() == letter && (index < 0 || f.Arg(std::size_t(index)) == value);
        });
    }
    static int BankErasures(const unitsim::TSimUnit& unit) { return Frames(unit, 'b', 2, 0xFF); }

    static int StoredShots(const unitsim::TSimUnit& unit)
    {
        int n = 0;
        for (int bank = 0; bank < 7; ++bank)
            n += unit.BankCount(bank);
        return n;
    }
    static TShooter* ShooterOf(const unitsim::TSimUnit& unit)
    {
        return CurrentSession->FindShooter(QString::fromStdString(unit.Name()));
    }
    // Shots downloaded, bank erasures sent, shots still stored.
    static std::tuple<int, int, int> Outcome(const unitsim::TSimUnit& unit)
    {
        return {ShooterOf(unit) ? ShooterOf(unit)->ShotCount() : -1, BankErasures(unit), StoredShots(unit)};
    }

    std::vector<qint64> Logged(const QString& line) const
    {
        std::vector<qint64> at;
        for (const auto& [ms, text] : log_)
            if (text == line)
                at.push_back(ms);
        return at;
    }

    QElapsedTimer clock_;
    std::vector<std::pair<qint64, QString>> log_;
};

// Training as the setup screen leaves it: one live viewer per unit, measuring.
std::vector<TFormShooter*> TrainOnEveryUnit()
{
    SessionMode = SessionClassic;
    for (TDevice* device : DeviceManagerInstance->Connected())
        AddViewer(device, device->Shooter(), true)->ButtonStartStopClick();
    return ShooterViewers;
}

} // namespace

TEST(PortNames, ComNumber)
{
    const std::pair<const char*, int> cases[] = {
        {"COM7", 7}, {"COM123", 123}, {"COM1234", 123}, {"COM", 0}, {"COM1x", -1},
        {"COM-1", -1}, {"COM 1", -1}, {"com5", 0}, {"ttyUSB0", 0}, {"", 0},
    };
    for (const auto& [name, number] : cases)
        EXPECT_EQ(ComNumberFromPortName(QString::fromLatin1(name)), number) << name;
}

TEST_F(DownloadTest, TwoUnitsFinishOnceAndClearTheirBanks)
{
    UiTimings().downloadSilenceMs = 10000;
    unitsim::TSimUnit& a = Unit(201, {12, 0, 8});
    unitsim::TSimUnit& b = Unit(202, {0, 0, 0, 7});
    Connect(2);
    // Held answers freeze both units mid-way: a at its sixth shot, b at its first.
    a.AddFault({'b', 6, 1, FaultKind::Delay, 1500});
    b.AddFault({'b', 1, 1, FaultKind::Delay, 1500});

    OpenDownload(true);
    FormPrepareDownload->findChild<QLineEdit*>("EditEnterName")->setText(QStringLiteral("Anna"));
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Downloading:\nCOM201: 5/20\nCOM202: 0/7"))) << qPrintable(Status());
    const auto* bar = Control<QProgressBar>(FormPrepareDownload, "ProgressBarShotDownload");
    EXPECT_EQ(std::pair(bar->value(), bar->maximum()), std::pair(5, 27));
    SaveScreen(*FormPrepareDownload, QStringLiteral("FormPrepareDownload"));

    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(ShooterViewers.size(), 2u);
    EXPECT_GE(prompts.beeps, 2);
    // Finished once each: one read of the ring target (four blocks), one erasure of the seven banks.
    QStringList names;
    for (auto [unit, shots] : {std::pair {&a, 20}, std::pair {&b, 7}}) {
        EXPECT_EQ(Frames(*unit, 'm'), 4);
        EXPECT_EQ(Outcome(*unit), std::tuple(shots, 7, 0));
        ShooterOf(*unit)->ForEachShot([](const TShot& shot) { EXPECT_TRUE(shot.converted); });
        names << ShooterOf(*unit)->name;
    }
    // The typed name goes to the unit that finished first only.
    EXPECT_EQ(names.count(QStringLiteral("Anna")), 1);
    EXPECT_EQ(names.count(QStringLiteral("Enter name here")), 1);
    EXPECT_EQ(prompts.Texts(), QStringList()); // nothing missing, nothing to tell
}

// Plugged in while the screen says there is nothing to download: the unit is
// identified and downloaded during the port scan, and the screen shows its
// progress then, not only once the scan is over.
TEST_F(DownloadTest, AUnitPluggedInShowsItsProgressDuringTheScan)
{
    UiTimings().downloadSilenceMs = 10000;
    Unit(201, {});
    Connect(1);
    OpenDownload(true);
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Nothing to download")));
    unitsim::TSimUnit& b = Unit(202, {20});
    b.AddFault({'b', 6, 1, FaultKind::Delay, 3000}); // held at its sixth shot

    // The scan's closing wait lasts until the progress was seen (30 s at most).
    DeviceManagerInstance->timings.settleSteps = 1 << 30;
    QString seen;
    std::pair<int, int> bar;
    bool duringScan = false;
    QElapsedTimer limit;
    limit.start();
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (Status().contains(QStringLiteral("COM202: 5/20"))) {
            seen = Status();
            const auto* progress = Control<QProgressBar>(FormPrepareDownload, "ProgressBarShotDownload");
            bar = {progress->value(), progress->maximum()};
            duringScan = DeviceManagerInstance->Scanning();
            SaveScreen(*FormPrepareDownload, QStringLiteral("FormPrepareDownload-plugged"));
        } else if (limit.elapsed() < 30000) {
            return;
        }
        probe.stop();
        DeviceManagerInstance->timings.settleSteps = 0;
    });
    probe.start(0);
    FormPrepareDownload->OnPortArrival(202);
    EXPECT_TRUE(duringScan);
    EXPECT_EQ(seen, QStringLiteral("Downloading:\nCOM202: 5/20"));
    EXPECT_EQ(bar, std::pair(5, 20));
    ASSERT_TRUE(WaitDone()) << qPrintable(Status());
    EXPECT_EQ(Outcome(b), std::tuple(20, 7, 0));
}

// A unit plugged in while the screen shows: the screen closes as its viewer
// opens, not once the port scan that brought it has settled.
TEST_F(DownloadTest, TheScreenClosesWhenTheViewersOpen)
{
    Unit(201, {});
    Connect(1);
    OpenDownload(true);
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Nothing to download")));
    unitsim::TSimUnit& b = Unit(202, {3});
    // The scan's closing wait lasts until the screen closed (30 s at most).
    DeviceManagerInstance->timings.settleSteps = 1 << 30;
    std::optional<bool> closedDuringScan;
    QElapsedTimer limit;
    limit.start();
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!ShooterViewers.empty() && !FormPrepareDownload->isVisible())
            closedDuringScan = DeviceManagerInstance->Scanning();
        else if (limit.elapsed() < 30000)
            return;
        probe.stop();
        DeviceManagerInstance->timings.settleSteps = 0;
    });
    probe.start(0);
    FormPrepareDownload->OnPortArrival(202);
    EXPECT_EQ(closedDuringScan, std::optional(true));
    ASSERT_EQ(ShooterViewers.size(), 1u);
    EXPECT_TRUE(ShooterViewers[0]->isVisible());
    EXPECT_EQ(Outcome(b), std::tuple(3, 7, 0));
    EXPECT_EQ(Status(), QStringLiteral("Download done"));

    // The scan over, the visit is too: a unit plugged in now is not downloaded.
    unitsim::TSimUnit& c = Unit(203, {2});
    ASSERT_TRUE(PlugIn(203, 3));
    ASSERT_TRUE(AllWrittenArrived(DeviceManagerInstance->FindConnectedDevice(203)));
    EXPECT_EQ(std::pair(Frames(c, 'b'), StoredShots(c)), std::pair(0, 2));
}

// A unit unplugged in the middle of its download: the screen says so at
// once, also while the port scan runs, and the shots that came leave the
// session (the unit keeps them all). Plugged in again, it is read afresh and
// downloaded in full, and the screen closes with its viewer.
TEST_F(DownloadTest, AUnitUnpluggedDuringItsDownloadIsToldAndReadAgainWhenBack)
{
    UiTimings().downloadSilenceMs = 10000;
    unitsim::TSimUnit& a = Unit(207, {5});
    Connect(1);
    a.AddFault({'b', 3, 1, FaultKind::Delay, 3000}); // held at its third shot
    DeviceManagerInstance->timings.settleSteps = 25; // scans that take a while
    std::vector<std::pair<QString, bool>> seen;      // statuses, and whether a scan ran
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (seen.empty() || seen.back().first != Status())
            seen.emplace_back(Status(), DeviceManagerInstance->Scanning());
    });
    probe.start(0);
    OpenDownload(true);
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Downloading:\nCOM207: 2/5")));

    const QString away = QStringLiteral("COM207: unplugged during the download; the unit keeps its stored shots");
    a.Unplug();
    seen.clear();
    FormPrepareDownload->OnPortRemoval(207);
    // The first change, while the scan still runs.
    std::erase_if(seen, [](const auto& s) { return s.first == QStringLiteral("Downloading:\nCOM207: 2/5"); });
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), std::pair(away, true));
    EXPECT_TRUE(WaitForStatus(QStringLiteral("Insert optical units\n") + away));
    EXPECT_EQ(CurrentSession->ShooterCount(), 0);

    a.AddFault({'e', 1, 1, FaultKind::Delay, 300}); // identifying takes a moment
    a.AddFault({'b', 1, 1, FaultKind::Delay, 300}); // and so does the first shot
    a.Replug();
    seen.clear();
    FormPrepareDownload->OnPortArrival(207);
    ASSERT_TRUE(WaitDone()) << qPrintable(Status());
    const auto shown = [&](const QString& text) {
        return std::any_of(seen.begin(), seen.end(), [&](const auto& s) { return s.first == text; });
    };
    EXPECT_TRUE(shown(QStringLiteral("Downloading:\nCOM207: plugged in again; reading the unit")));
    // Once it downloads, its progress alone.
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](const auto& s) {
        return QRegularExpression(QStringLiteral("^Downloading:\nCOM207: [0-5]/5$")).match(s.first).hasMatch();
    }));
    EXPECT_FALSE(shown(QStringLiteral("Device is ready for training")));
    ASSERT_EQ(ShooterViewers.size(), 1u);
    EXPECT_EQ(CurrentSession->ShooterCount(), 1);
    EXPECT_EQ(Outcome(a), std::tuple(5, 7, 0));
    EXPECT_EQ(Logged(QStringLiteral("COM207: unplugged during the download; 2 of 5 stored shots had come, the unit keeps them")).size(), 1u);
}

// The unplugged unit's line stands under whatever else the screen says: the
// other unit's progress, or that it has nothing to give. It names only units
// that left during their own download, and only in the visit they left in.
TEST_F(DownloadTest, OnlyUnitsUnpluggedDuringTheirDownloadAreNamedAndOnlyInThatVisit)
{
    UiTimings().downloadSilenceMs = 120000;
    const auto away = [](int com) {
        return QStringLiteral("\nCOM%1: unplugged during the download; the unit keeps its stored shots").arg(com);
    };
    unitsim::TSimUnit& a = Unit(211, {6});
    unitsim::TSimUnit& c = Unit(213, {}); // nothing stored: never downloads
    Connect(2);
    // Held answers keep a download under way for the rest of the test.
    a.AddFault({'b', 3, 1, FaultKind::Delay, 60000});
    OpenDownload(true);
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Downloading:\nCOM211: 2/6"))) << qPrintable(Status());
    a.Unplug();
    FormPrepareDownload->OnPortRemoval(211);
    EXPECT_TRUE(WaitForStatus(QStringLiteral("Nothing to download") + away(211))) << qPrintable(Status());
    for (const TDevice* gone : DeviceManagerInstance->Reconnecting())
        EXPECT_EQ(gone->Shooter(), nullptr); // its shooter left the session

    // Opened again: a fresh visit, though the unit is still away.
    Click(Control(FormPrepareDownload, "ButtonCancel"));
    unitsim::TSimUnit& b = Unit(212, {6});
    unitsim::TSimUnit& d = Unit(214, {6});
    b.AddFault({'b', 3, 1, FaultKind::Delay, 60000});
    d.AddFault({'b', 3, 1, FaultKind::Delay, 60000});
    OpenDownload(true);
    FormPrepareDownload->OnPortArrival(212);
    FormPrepareDownload->OnPortArrival(214);
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Downloading:\nCOM212: 2/6\nCOM214: 2/6"))) << qPrintable(Status());

    // One that never downloaded goes unnamed; one that goes mid-way is named
    // while the other still downloads.
    c.Unplug();
    FormPrepareDownload->OnPortRemoval(213);
    d.Unplug();
    FormPrepareDownload->OnPortRemoval(214);
    EXPECT_TRUE(WaitForStatus(QStringLiteral("Downloading:\nCOM212: 2/6") + away(214))) << qPrintable(Status());
}

// The name field is closed while there is nothing to download, and open
// again whenever the screen shows, also after it closed itself.
TEST_F(DownloadTest, TheNameFieldIsOpenWheneverTheScreenShows)
{
    Unit(201, {});
    Connect(1);
    const auto* edit = Control<QLineEdit>(FormPrepareDownload, "EditEnterName");
    OpenDownload(true);
    Unit(202, {}); // plugged in, holding nothing
    FormPrepareDownload->OnPortArrival(202);
    ASSERT_TRUE(WaitFor([&] { return !edit->isEnabled(); }));
    EXPECT_EQ(Status(), QStringLiteral("Nothing to download"));

    unitsim::TSimUnit& c = Unit(203, {2});
    FormPrepareDownload->OnPortArrival(203);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(Outcome(c), std::tuple(2, 7, 0));

    prompts.queued = {TMsgResult::No}; // "Save session?": no
    Click(Control(FormShooterPanel, "BitBtnCloseSession"));
    ASSERT_TRUE(ShooterViewers.empty());
    OpenDownload(true);
    EXPECT_TRUE(edit->isEnabled());
}

// A unit that reports an error, or stops answering, is given up on with what
// it sent and keeps its banks; so is one whose stored result is damaged on the
// line every time it is sent (that shot is reported missing). The other unit,
// slowed down, goes on and is cleared.
// The operator is told which unit did not deliver how many shots, that the
// unit keeps them, and which shots stay unscored (a silent unit's targets
// are never read; a target the unit does not hold cannot be read).
struct TFailCase {
    const char* name;
    int stored;
    bool damagedResult;
    std::optional<FaultKind> fault;
    const char* status;
    std::tuple<int, int, int> outcome;
    const char* message;
    int onUnheldTarget = 0; // further stored shots on a ring target the unit does not hold
};

const TFailCase FailCases[] = {
    {"ErrorReport", 5, false, FaultKind::ErrorReport, "\nCOM201: Error", {2, 0, 5},
     "Not every stored shot was downloaded:\n"
     "COM201: the unit stopped the download; 3 of 5 stored shots missing\n"
     "COM201: the unit keeps all its stored shots"},
    {"FallsSilent", 5, false, FaultKind::Drop, "\nCOM201: Error", {2, 0, 5},
     "Not every stored shot was downloaded:\n"
     "COM201: the unit stopped answering; 3 of 5 stored shots missing\n"
     "COM201: the unit keeps all its stored shots\n"
     "COM201: 2 shots not scored: the unit's targets could not be read"},
    {"ResultNeverArrives", 2, true, std::nullopt, "\nCOM201: 1 missing", {2, 0, 3},
     "Not every stored shot was downloaded:\n"
     "COM201: 1 of 3 stored shots missing\n"
     "COM201: the unit keeps all its stored shots"},
    {"TargetsUnreadable", 3, false, std::nullopt, "\nCOM201: Ready", {5, 7, 0},
     "Not every downloaded shot was scored:\n"
     "COM201: 2 shots not scored: the unit's targets could not be read", 2},
};

void PrintTo(const TFailCase& c, std::ostream* os) { *os << c.name; }

class FailingUnitTest : public DownloadTest, public ::testing::WithParamInterface<TFailCase> {};

TEST_P(FailingUnitTest, IsShownAndTheOtherGoesOn)
{
    const TFailCase& c = GetParam();
    unitsim::TSimUnit& a = Unit(201, {c.stored});
    unitsim::TSimUnit& b = Unit(202, {0, 6});
    if (c.damagedResult) {
        unitsim::SimShot lost = Shot(9, 9);
        lost.time = 5000;
        lost.startupCounter = 1;
        unitsim::StoredShot damaged {{}, unitsim::ShotResultFrame(lost, 3, 77)};
        damaged.result.back() ^= 0x5A;
        a.AddStoredShot(0, damaged);
    }
    for (int i = 0; i < c.onUnheldTarget; ++i) {
        unitsim::SimShot shot = Shot(30 * i, 20);
        shot.ringTarget = 5;
        a.AddStoredShot(0, shot, 3);
    }
    Connect(2);
    if (c.fault)
        a.AddFault({'b', 3, 0, *c.fault});
    b.AddFault({'b', 1, 0, FaultKind::Delay, 300});

    OpenDownload(true);
    ASSERT_TRUE(StatusShows(QString::fromLatin1(c.status)));
    EXPECT_TRUE(Status().contains(QStringLiteral("\nCOM202: ")));
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(ShooterViewers.size(), 2u);
    EXPECT_EQ(Outcome(a), c.outcome);
    EXPECT_EQ(Outcome(b), std::tuple(6, 7, 0));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, QString::fromLatin1(c.message));
    EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Information"));
}

INSTANTIATE_TEST_SUITE_P(Faults, FailingUnitTest, ::testing::ValuesIn(FailCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Unchecked, the banks stay; a unit is downloaded once, so showing the
// screen again finds nothing; with every unit gone a port change says so.
TEST_F(DownloadTest, UncheckedKeepsTheBanksThenNothingToDownloadThenInsertOpticalUnits)
{
    unitsim::TSimUnit& a = Unit(201, {3});
    Connect(1);
    OpenDownload(false);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(Outcome(a), std::tuple(3, 0, 3));

    OpenDownload(false);
    EXPECT_EQ(Status(), QStringLiteral("Nothing to download"));

    qDeleteAll(ShooterViewers); // the session closed
    ShooterViewers.clear();
    RemoveUnit(a);
    FormPrepareDownload->OnPortRemoval(201);
    EXPECT_TRUE(DeviceManagerInstance->Connected().empty());
    // A port arriving in download mode scans and downloads what it finds: nothing here.
    FormPrepareDownload->OnPortArrival(0);
    EXPECT_TRUE(WaitForStatus(QStringLiteral("Insert optical units")));
}

// A unit that leaves and is back on a new line before the port watch looks
// (a quick replug: both changes come at once) is found afresh there, not
// left in the list on the line that went.
TEST_F(DownloadTest, AUnitBackOnANewLineAtOnceIsFoundAfresh)
{
    unitsim::UnitConfig config;
    config.name = unitsim::UnitName("KBR", 201);
    config.rangeAwayMs = 0;
    unitsim::TSimUnit& a = AddUnit(201, config);
    a.LoadFactorySetup();
    Connect(1);
    a.ClearReceived();
    ASSERT_EQ(a.TripToTheRange(3), 0);
    ASSERT_TRUE(WaitFor([&] {
        const TDevice* device = DeviceManagerInstance->FindConnectedDevice(201);
        return device && device->Found() && Frames(a, 'c', 1, 32) > 0 && !DeviceManagerInstance->Scanning();
    }));
    OpenDownload(true);
    ASSERT_TRUE(WaitDone()) << qPrintable(Status());
    ASSERT_EQ(ShooterViewers.size(), 1u);
    EXPECT_EQ(ShooterViewers[0]->Shooter()->ShotCount(), 3);
    EXPECT_EQ(std::pair(BankErasures(a), StoredShots(a)), std::pair(7, 0));
}

// A bank erasure the unit answers with an error report: the failure is
// logged, the shots received stay, and the download ends as usual.
TEST_F(DownloadTest, FailedBankErasureIsLogged)
{
    unitsim::TSimUnit& a = Unit(201, {2});
    Connect(1);
    a.AddFault({'b', 3, 1, FaultKind::ErrorReport}); // after the two shot requests: bank 0's erasure
    OpenDownload(true);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(Outcome(a), std::tuple(2, 7, 2));
    EXPECT_EQ(Logged(QStringLiteral("COM201: clearing the stored shots failed")).size(), 1u);
}

TEST_F(DownloadTest, PortChangesDuringTrainingRebindOnlyThatPort)
{
    unitsim::TSimUnit& a = Unit(201, {});
    unitsim::TSimUnit& b = Unit(202, {});
    Connect(2);
    const std::vector<TFormShooter*> viewers = TrainOnEveryUnit();
    ASSERT_TRUE(WaitFor([&] { return a.Measuring() && b.Measuring(); }));

    // The port number of the unit a viewer is bound to, 0 without one.
    const auto com = [&](std::size_t k) { return viewers[k]->Device() ? viewers[k]->Device()->ComNumber() : 0; };
    a.Unplug();
    FormPrepareDownload->OnPortRemoval(201);
    EXPECT_EQ(std::pair(com(0), com(1)), std::pair(0, 202));
    a.Replug();
    a.ClearReceived();
    FormPrepareDownload->OnPortArrival(201);
    EXPECT_EQ(com(0), 201);
    EXPECT_TRUE(WaitFor([&] { return Frames(a, 'a', 1, 1) > 0; })); // measuring again
    EXPECT_TRUE(b.Measuring());

    // Stopped by hand before its port went: back to its viewer, still stopped.
    viewers[1]->ButtonStartStopClick();
    b.Unplug();
    FormPrepareDownload->OnPortRemoval(202);
    EXPECT_EQ(com(1), 0);
    b.Replug();
    b.ClearReceived();
    FormPrepareDownload->OnPortArrival(202);
    ASSERT_EQ(com(1), 202);
    ASSERT_TRUE(viewers[1]->Device()->SendAndWait(BuildStop(), ReplyAck, 2000)); // what came before has arrived
    EXPECT_EQ(CountFrames(b, IsStartFrame), 0);
}

TEST_F(DownloadTest, SuspendParksTheUnitsAndResumeRescansAfterTheWait)
{
    unitsim::TSimUnit& a = Unit(201, {});
    Unit(202, {});
    Connect(2);
    const std::vector<TFormShooter*> viewers = TrainOnEveryUnit();

    FormPrepareDownload->OnSuspend();
    EXPECT_TRUE(DeviceManagerInstance->Connected().empty());
    EXPECT_EQ(DeviceManagerInstance->Reconnecting().size(), 2u);
    for (TFormShooter* viewer : viewers)
        EXPECT_EQ(viewer->Device(), nullptr);
    EXPECT_TRUE(WaitFor([&] { return !a.ListenerReady(); }));

    // A suspend right after a resume cancels its wait: only the last resume scans.
    const int beeps = prompts.beeps;
    log_.clear();
    FormPrepareDownload->OnResume();
    FormPrepareDownload->OnSuspend();
    const qint64 resumed = clock_.elapsed();
    FormPrepareDownload->OnResume();
    EXPECT_EQ(prompts.beeps, beeps + 2);
    ASSERT_TRUE(WaitFor([&] { return DeviceManagerInstance->Connected().size() == 2 && !DeviceManagerInstance->Scanning(); }));
    const std::vector<qint64> scans = Logged(QStringLiteral("Scan starting"));
    ASSERT_EQ(scans.size(), 1u);
    EXPECT_GE(scans[0] - resumed, UiTimings().resumeWaitMs);
    for (TFormShooter* viewer : viewers)
        EXPECT_NE(viewer->Device(), nullptr);
}

// The bank erase lets events through once: a suspend arriving then waits
// until the unit is finished, so the erase is not cut off by its port closing.
TEST_F(DownloadTest, SuspendDuringTheBankEraseRunsAfterIt)
{
    unitsim::TSimUnit& a = Unit(201, {3});
    Connect(1);
    bool midErase = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (Frames(a, 'a', 1, 15) == 0) // not yet in setup mode for the erasure
            return;
        probe.stop();
        midErase = BankErasures(a) == 0;
        FormPrepareDownload->OnSuspend();
    });
    probe.start(0);

    OpenDownload(true);
    ASSERT_TRUE(WaitDone());
    EXPECT_TRUE(midErase);
    EXPECT_EQ(Outcome(a), std::tuple(3, 7, 0));
    EXPECT_TRUE(WaitFor([] { return DeviceManagerInstance->Connected().empty(); }));
    EXPECT_EQ(Logged(QStringLiteral("EVENT APMSUSPEND")).size(), 1u);
}

// The operator opens the download screen while the rescan after a replug is
// still under way: the scan ending must not stop the download it started, and
// the replugged unit is downloaded once it is identified.
TEST_F(DownloadTest, OpenedDuringTheRescanAfterAReplugDownloadsEveryUnit)
{
    unitsim::TSimUnit& a = Unit(201, {5});
    unitsim::TSimUnit& b = Unit(202, {0, 4});
    Connect(2);
    b.Unplug();
    FormPrepareDownload->OnPortRemoval(202);
    b.Replug();

    bool openedMidScan = false;
    QTimer operatorClick;
    QObject::connect(&operatorClick, &QTimer::timeout, [&] {
        if (!DeviceManagerInstance->Scanning())
            return;
        operatorClick.stop();
        openedMidScan = true;
        OpenDownload(true);
    });
    operatorClick.start(0);
    FormPrepareDownload->OnPortArrival(202);
    ASSERT_TRUE(openedMidScan);

    ASSERT_TRUE(WaitDone()) << qPrintable(Status());
    // Every shot read is on a viewer, and only then were the banks cleared.
    std::map<std::string, int> shown;
    for (TFormShooter* viewer : ShooterViewers)
        shown[viewer->Shooter()->SerialNumber().toStdString()] += viewer->Shooter()->ShotCount();
    EXPECT_EQ(shown, (std::map<std::string, int> {{a.Name(), 5}, {b.Name(), 4}}));
    EXPECT_EQ(std::pair(BankErasures(a), StoredShots(a)), std::pair(7, 0));
    EXPECT_EQ(std::pair(BankErasures(b), StoredShots(b)), std::pair(7, 0));
}

// Closing a download session ends download mode: a unit plugged in at the
// start menu afterwards is found, not downloaded, and keeps its shots.
TEST_F(DownloadTest, UnitsPluggedInAfterTheSessionClosedAreNotDownloaded)
{
    unitsim::TSimUnit& a = Unit(201, {3});
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(WaitForStartMenu());
    ASSERT_TRUE(ScanUnits(1));
    QPushButton* download = Control(FormStartMenu, "BitBtnDownloadSession");
    ASSERT_TRUE(WaitFor([&] { return download->isEnabled(); }));
    Click(download);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(Outcome(a), std::tuple(3, 7, 0));

    prompts.queued = {TMsgResult::No}; // "Save session?": no
    Click(Control(FormShooterPanel, "BitBtnCloseSession"));
    ASSERT_TRUE(ShooterViewers.empty());
    EXPECT_EQ(SessionMode, int(SessionNone));
    ASSERT_TRUE(FormStartMenu->isVisible());

    unitsim::TSimUnit& b = Unit(202, {0, 4});
    ASSERT_TRUE(PlugIn(202, 2));
    // A unit identified for a download begins it the moment it is identified;
    // the screen's poll would start the others: it is not running.
    TDevice* device = DeviceManagerInstance->FindConnectedDevice(202);
    ASSERT_NE(device, nullptr);
    EXPECT_FALSE(device->Async().downloadActive.load());
    EXPECT_FALSE(Control<QTimer>(FormPrepareDownload, "TimerProgressBar")->isActive());
    EXPECT_FALSE(FormPrepareDownload->Downloading());
    ASSERT_TRUE(AllWrittenArrived(device));
    EXPECT_TRUE(ShooterViewers.empty());
    EXPECT_FALSE(FormPrepareDownload->isVisible());
    EXPECT_EQ(Frames(b, 'b'), 0); // no stored shot asked for
    EXPECT_EQ(StoredShots(b), 4);
}

// Downloaded shots under review (the screen hid itself, the session is still
// a download): a unit plugged in now is found, not downloaded out of sight.
TEST_F(DownloadTest, AUnitPluggedInDuringTheReviewIsNotDownloaded)
{
    Unit(201, {3});
    Connect(1);
    OpenDownload(true);
    ASSERT_TRUE(WaitDone());
    ASSERT_EQ(SessionMode, int(SessionDownload));

    unitsim::TSimUnit& b = Unit(202, {0, 4});
    ASSERT_TRUE(PlugIn(202, 2));
    TDevice* device = DeviceManagerInstance->FindConnectedDevice(202);
    ASSERT_NE(device, nullptr);
    EXPECT_FALSE(device->Async().downloadActive.load());
    ASSERT_TRUE(AllWrittenArrived(device));
    EXPECT_EQ(std::pair(Frames(b, 'b'), StoredShots(b)), std::pair(0, 4));
    EXPECT_FALSE(FormPrepareDownload->isVisible());
    EXPECT_EQ(ShooterViewers.size(), 1u);
}

// A download that ran on after Cancel is taken when the screen opens again:
// its shots on a viewer, then the unit's banks cleared.
TEST_F(DownloadTest, ADownloadLeftByCancelIsTakenWhenTheScreenOpensAgain)
{
    unitsim::TSimUnit& a = Unit(201, {6});
    Connect(1);
    OpenDownload(true);
    Click(Control(FormPrepareDownload, "ButtonCancel")); // the first shot asked for
    const TDevice* device = DeviceManagerInstance->FindConnectedDevice(201);
    ASSERT_TRUE(WaitFor([&] { return device->Async().downloadFinished.load(); }));
    EXPECT_TRUE(ShooterViewers.empty());
    EXPECT_EQ(StoredShots(a), 6);

    OpenDownload(true);
    ASSERT_TRUE(WaitDone()) << qPrintable(Status());
    ASSERT_EQ(ShooterViewers.size(), 1u);
    EXPECT_EQ(Outcome(a), std::tuple(6, 7, 0));
}

// A unit given up on keeps its shots. Once the session is closed, the next
// Download Last Session fetches them all afresh into a new shooter, also from
// a unit first found by plugging it in while the screen showed.
TEST_F(DownloadTest, AUnitGivenUpOnIsDownloadedAgainNextTime)
{
    Unit(202, {});
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(WaitForStartMenu());
    ASSERT_TRUE(ScanUnits(1));
    QPushButton* download = Control(FormStartMenu, "BitBtnDownloadSession");
    ASSERT_TRUE(ClickWhenReady(download));
    unitsim::TSimUnit& a = Unit(201, {5});
    a.AddFault({'b', 3, 1, FaultKind::ErrorReport});
    FormPrepareDownload->OnPortArrival(201);
    ASSERT_TRUE(WaitDone()) << qPrintable(Status());
    EXPECT_EQ(Outcome(a), std::tuple(2, 0, 5));
    EXPECT_EQ(prompts.Count(QStringLiteral("Not every stored shot was downloaded:\n"
                                           "COM201: the unit stopped the download; 3 of 5 stored shots missing\n"
                                           "COM201: the unit keeps all its stored shots")), 1);

    prompts.queued = {TMsgResult::No}; // "Save session?": no
    Click(Control(FormShooterPanel, "BitBtnCloseSession"));
    ASSERT_TRUE(ShooterViewers.empty());
    ASSERT_TRUE(ClickWhenReady(download));
    ASSERT_TRUE(WaitDone()) << qPrintable(Status());
    ASSERT_EQ(ShooterViewers.size(), 1u);
    EXPECT_EQ(ShooterViewers[0]->Shooter()->ShotCount(), 5);
    EXPECT_EQ(Outcome(a), std::tuple(5, 7, 0));
}

// After a training a simulated unit goes to the range as a trainee would: its
// port goes, it stores shots of the programmed setup and comes back, the
// program finds it afresh, and Download Last Session fetches those shots.
TEST_F(DownloadTest, AfterATrainingTheUnitComesBackFromTheRangeWithShotsToDownload)
{
    unitsim::UnitConfig config;
    config.name = unitsim::UnitName("KBR", 201);
    config.rangeShotsAfterProgramming = 10;
    config.rangeLeaveAfterMs = 1000;
    config.rangeAwayMs = 300;
    unitsim::TSimUnit& a = AddUnit(201, config);
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(WaitForStartMenu());
    ASSERT_TRUE(ScanUnits(1));
    Click(Control(FormStartMenu, "BitBtnDynamicTraining")); // the first setup: a ring
    ASSERT_TRUE(ClickWhenReady(Control(FormSelectSetup, "ButtonStart")));
    ASSERT_TRUE(WaitFor([&] { return a.Programmed() && !FormSelectSetup->Programming(); }));
    if (!ShooterViewers.empty()) {
        prompts.queued = {TMsgResult::No}; // "Save session?": no
        Click(Control(FormShooterPanel, "BitBtnCloseSession"));
    }
    ASSERT_TRUE(WaitFor(
        [&] {
            const TDevice* device = DeviceManagerInstance->FindConnectedDevice(201);
            return device && device->Found() && device->ShotTotal() == 10 && !DeviceManagerInstance->Scanning();
        },
        std::chrono::seconds(30)));
    a.ClearReceived();
    ASSERT_TRUE(ClickWhenReady(Control(FormStartMenu, "BitBtnDownloadSession")));
    ASSERT_TRUE(WaitDone()) << qPrintable(Status());
    EXPECT_EQ(Outcome(a), std::tuple(10, 7, 0));
}

// Downloaded shots on a target with decimal scores show them as the live
// viewer did, from the target the unit reports for their slot.
TEST_F(DownloadTest, DecimalScoresOfDownloadedShotsStayDecimal)
{
    unitsim::TSimUnit& a = Unit(201, {3});
    RingTargetRecord decimal = GoldenRingRecord();
    decimal.SetDecimalScores(true);
    a.SetRingTarget(0, decimal.b);
    Connect(1);
    OpenDownload(false);
    ASSERT_TRUE(WaitDone());
    ASSERT_EQ(ShooterViewers.size(), 1u);
    TFormShooter* viewer = ShooterViewers[0];
    ASSERT_TRUE(WaitFor([&] { return !viewer->DrawPending() && viewer->Strip().EntryCount() == 3; }));
    const QRegularExpression tenths(QStringLiteral("^ \\d+\\.\\d $"));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(tenths.match(viewer->Strip().Entry(i)->label).hasMatch()) << viewer->Strip().Entry(i)->label.toStdString();
}

// Programming a setup into the units: what each unit must receive (worked out
// without a unit, then checked at simulated units byte for byte), the
// failures that end a run for every unit, and the refusals before a run.
#include "AppSettings.h"
#include "Device.h"
#include "DeviceManager.h"
#include "FormSelectSetup.h"
#include "Globals.h"
#include "MiniXMLParser.h"
#include "SetupListModel.h"
#include "SetupProgramming.h"
#include "Translation.h"
#include "UiRig.h"

#include <QDateTime>
#include <QLocale>
#include <QTableView>
#include <QToolButton>

#include <cstdlib>
#include <functional>
#include <tuple>

using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Slice(const uint8_t* p, std::size_t from, std::size_t n = 16) { return Bytes(p + from, p + from + n); }

// ---- The composition, without a unit -------------------------------------------------

SetupBlocks Pattern(uint8_t first)
{
    SetupBlocks b;
    for (std::size_t i = 0; i < b.b.size(); ++i)
        b.b[i] = uint8_t(first + i);
    return b;
}

// The setup: its targets, the target numbers in its mode block, its block 0
// bit 4 (arrows unlocked); the gun mounting and the kind of run. Expected:
// usable, function mode, mounting code, target numbers sent, the enable bits
// (bits 0-1 of the mode block's byte 0), the slots and the progress maximum.
struct TComposeCase {
    const char* name;
    bool ring, silhouette;
    int ringNumber, silhouetteNumber;
    bool arrowsUnlocked;
    int mounting;
    TProgrammingKind kind;
    bool usable;
    int functionMode, mountingCode, sentRingNumber, sentSilhouetteNumber, enableBits, ringSlot, silhouetteSlot,
        progressMaximum;
};

const TComposeCase ComposeCases[] = {
    // name               ring   sil    rN   sN  arrows mnt kind                      ok    fm code rN   sN  bits rS  sS  max
    {"RingStartTop",      true,  false, 3,   7,  false, 0, TProgrammingKind::Start, true, 1, 0, 0,   255, 2, 0,  -1, 18},
    {"SilhouetteBelow",   false, true,  3,   7,  true,  2, TProgrammingKind::Start, true, 2, 3, 255, 0,   1, -1, 0,  80},
    {"BothLeft",          true,  true,  200, 9,  false, 3, TProgrammingKind::Start, true, 1, 2, 0,   0,   3, 0,  0,  84},
    {"RingSetupRight",    true,  false, 5,   7,  true,  1, TProgrammingKind::Setup, true, 1, 1, 5,   7,   2, 5,  -1, 18},
    {"SilhouetteSetup",   false, true,  200, 15, false, 0, TProgrammingKind::Setup, true, 2, 0, 200, 15,  1, -1, 15, 80},
    {"RingNumber16",      true,  false, 16,  0,  false, 0, TProgrammingKind::Setup, false, 0, 0, 0, 0, 0, 0, 0, 0},
    {"Silhouette255",     false, true,  0,   255, false, 0, TProgrammingKind::Setup, false, 0, 0, 0, 0, 0, 0, 0, 0},
};

class ComposeTest : public ::testing::TestWithParam<TComposeCase> {};

TEST_P(ComposeTest, SettingsBlocksAndSlots)
{
    const TComposeCase& c = GetParam();
    TTargetSetup setup;
    setup.target.hasRing = c.ring;
    setup.target.hasSilhouette = c.silhouette;
    setup.blocks = Pattern(0x40);
    const int m = c.ring ? 1 : 2;  // the mode block the setup trains in
    setup.blocks.b[16 * m] = 0xF0;  // bits 0-1 clear: the enables come from the targets alone
    setup.blocks.b[16 * m + 2] = uint8_t(c.ringNumber);
    setup.blocks.b[16 * m + 3] = uint8_t(c.silhouetteNumber);
    setup.blocks.b[0] = c.arrowsUnlocked ? 0x10 : 0x00;
    const SetupBlocks unit = Pattern(0xA0);  // byte 0 = 0xA0: bit 4 clear, bits 5 and 7 set

    ASSERT_EQ(TargetNumbersUsable(setup, c.kind), c.usable);
    if (!c.usable) {
        EXPECT_THROW(ComposeUpload(unit, setup, c.mounting, c.kind), Exception);
        return;
    }
    const TUploadWork work = ComposeUpload(unit, setup, c.mounting, c.kind);
    const uint8_t* out = work.settings.data();

    // Block 0: the unit's, with mounting, arrows and function mode set.
    EXPECT_EQ(out[0], (0xA0 & ~0x13) | c.mountingCode | (c.arrowsUnlocked ? 0x10 : 0));
    EXPECT_EQ(out[2], c.functionMode);
    EXPECT_EQ(Slice(out, 3, 13), Slice(unit.data(), 3, 13));
    EXPECT_EQ(out[1], unit.b[1]);
    // The mode block trained in: the setup's, targets and enables as sent.
    EXPECT_EQ(out[16 * m], 0xF0 | c.enableBits);
    EXPECT_EQ(out[16 * m + 1], setup.blocks.b[16 * m + 1]);
    EXPECT_EQ(out[16 * m + 2], c.sentRingNumber);
    EXPECT_EQ(out[16 * m + 3], c.sentSilhouetteNumber);
    EXPECT_EQ(Slice(out, 16 * m + 4, 12), Slice(setup.blocks.data(), 16 * m + 4, 12));
    // The other mode block and block 3 stay as the unit had them.
    EXPECT_EQ(Slice(out, 16 * (3 - m)), Slice(unit.data(), 16 * (3 - m)));
    EXPECT_EQ(Slice(out, 48), Slice(unit.data(), 48));

    EXPECT_EQ(work.ringSlot, c.ringSlot);
    EXPECT_EQ(work.silhouetteSlot, c.silhouetteSlot);
    EXPECT_EQ(work.progressMaximum, c.progressMaximum);
}

INSTANTIATE_TEST_SUITE_P(Cases, ComposeTest, ::testing::ValuesIn(ComposeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Programming roads at simulated units ---------------------------------------------

// Parameter blocks 0-3 a unit reports before it is programmed.
SetupBlocks UnitBlocks(int unit) { return Pattern(uint8_t(0x80 + 8 * unit)); }

class ProgrammingTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        // A step of an upload can take long on a busy machine: only the
        // failure cases shorten the stall limit, once their unit is struck.
        UiTimings().programmingStallMs = 60000;
    }

    // n units on COM11.., each with its own settings blocks, found and
    // identified; the setup screen shown for "Set Shooting Training".
    void StartWithUnits(int n)
    {
        for (int i = 0; i < n; ++i) {
            unitsim::TSimUnit& unit = AddUnit(11 + i, unitsim::UnitName("KBR", 100 + i));
            const SetupBlocks blocks = UnitBlocks(i);
            for (int b = 0; b < 4; ++b) {
                unitsim::Block16 block;
                std::copy_n(blocks.Block(b), 16, block.begin());
                unit.SetParameterBlock(b, block);
            }
        }
        ASSERT_TRUE(StartProgram());
        if (n > 0) {
            ASSERT_TRUE(ScanUnits(n));
        }
        prompts.shown.clear();  // the first run's folder message
        SessionMode = SessionDynamic;
        FormSelectSetup->show();
        // The start menu's device count enables Start and Setup on its next
        // tick after the scan; an operator sees them enabled only then.
        if (n > 0) {
            ASSERT_TRUE(WaitFor([] {
                return Control("ButtonStart")->isEnabled() && Control("ButtonSetup")->isEnabled();
            }, 30s));
        }
    }

    template <class T = QPushButton>
    static T* Control(const char* name)
    {
        return ::Control<T>(FormSelectSetup, name);
    }

    // Clicks the card whose first description line is title.
    const TTargetSetup* Choose(const QString& title)
    {
        auto* grid = Control<QTableView>("DrawGridSetups");
        auto* model = static_cast<TSetupListModel*>(grid->model());
        for (int row = 0; row < model->rowCount(); ++row) {
            const TTargetSetup* setup = model->Setup(row);
            if (setup->descriptions && setup->descriptions->value(0) == title) {
                Click(grid->viewport(), grid->visualRect(model->index(row, 1)).center());
                EXPECT_EQ(FormSelectSetup->SelectedIndex(), row);
                return setup;
            }
        }
        ADD_FAILURE() << "no setup " << title.toStdString();
        return nullptr;
    }

    TDevice* DeviceOn(int com) const { return TDeviceManager::Instance()->FindConnectedDevice(com); }

    bool ProgrammingEnded()
    {
        return WaitFor([] { return !FormSelectSetup->Programming(); }, 60s);
    }

    // Every unit's upload state is back to nothing.
    void ExpectUploadsReset()
    {
        for (TDevice* device : TDeviceManager::Instance()->Connected()) {
            const auto& async = device->Async();
            EXPECT_EQ(std::tuple(async.uploadRequested.load(), async.uploadDone.load(), async.uploadStepCount.load()),
                      std::tuple(false, false, 0));
        }
    }
};

TEST_F(ProgrammingTest, StartProgramsEveryUnitAndOpensOneViewerEach)
{
    StartWithUnits(2);
    const TTargetSetup* setup = Choose(QStringLiteral("10 m Air Rifle"));
    ASSERT_NE(setup, nullptr);
    const TTargetSetup chosen = *setup;
    // Top -> right -> below (mounting 2, the unit is told 3).
    Control<QToolButton>("SpeedButtonMounting")->click();
    Control<QToolButton>("SpeedButtonMounting")->click();
    EXPECT_EQ(GetOptionString(QStringLiteral("GunMounting")), QStringLiteral("below"));
    ASSERT_EQ(FormSelectSetup->Mounting(), 2);
    SaveScreen(*FormSelectSetup, QStringLiteral("select_setup"));
    // The second unit's port was closed: it is opened again and programmed
    // after the wait.
    DeviceOn(12)->Data().ClosePort();

    // Zeroed for an earlier shooter, and a session date left from before:
    // a new training starts without either.
    DeviceOn(11)->SetZeroOffsets(35.0, -20.0);
    CurrentSession->date = QStringLiteral("an earlier session");

    // A second click right after the first programs nothing more (the button
    // is disabled by then; a click already queued reaches the handler).
    ClearReceived();
    ASSERT_TRUE(ClickWhenReady(Control("ButtonStart")));
    EXPECT_FALSE(Control("ButtonStart")->isEnabled());
    FormSelectSetup->ButtonStartClick();
    ASSERT_TRUE(ProgrammingEnded());
    EXPECT_FALSE(DeviceOn(11)->Zero().HasOffset());
    // The date of now, in the short form of the locale (two-digit years).
    QDateTime dated = QLocale().toDateTime(CurrentSession->date, QLocale::ShortFormat);
    if (dated.isValid() && dated.date().year() < 2000)
        dated = dated.addYears(100);
    ASSERT_TRUE(dated.isValid()) << CurrentSession->date.toStdString();
    EXPECT_LE(std::abs(dated.secsTo(QDateTime::currentDateTime())), 120) << CurrentSession->date.toStdString();
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(SessionMode, SessionClassic);
    EXPECT_EQ(ShooterViewers.size(), 2u);
    EXPECT_FALSE(FormSelectSetup->isVisible());

    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        unitsim::TSimUnit& unit = *units[std::size_t(i)];
        // What the composition (checked above case by case) makes of this unit's blocks.
        const SetupBlocks expected =
            ComposeUpload(UnitBlocks(i), chosen, FormSelectSetup->Mounting(), TProgrammingKind::Start).settings;
        ASSERT_EQ(unit.ReceivedLetters(), "allll" "adddbbbbbbbdca");
        EXPECT_EQ(unit.Received()[16].Arg(1), 0x83);  // block 3 last, closing the upload
        EXPECT_EQ(unit.RingTarget(0), chosen.target.ringRecord.b);
        for (int b = 0; b < 4; ++b) {
            const auto stored = unit.ParameterBlock(b);
            EXPECT_EQ(Bytes(stored.begin(), stored.end()), Slice(expected.data(), 16 * std::size_t(b))) << "block " << b;
        }
    }

    // The session holds one new shooter per unit, named by it, with the setup.
    ASSERT_EQ(CurrentSession->ShooterCount(), 2);
    for (int i = 0; i < 2; ++i) {
        TShooter* shooter = DeviceOn(11 + i)->Shooter();
        ASSERT_NE(shooter, nullptr);
        EXPECT_EQ(shooter->SerialNumber(), QString::fromStdString(units[std::size_t(i)]->Name()));
        EXPECT_EQ(shooter->currentTarget.ringRecord, chosen.target.ringRecord);
    }
}

// A node PC's client connects to its monitor once the viewers are open.
TEST_F(ProgrammingTest, AfterStartMeasuringBeginsAndANodeConnectsToItsMonitor)
{
    StartWithUnits(1);
    TRecordingLink link;
    SetNetworkLink(&link);
    SetOptionString(QStringLiteral("StartAutomatically"), QStringLiteral("true"));
    MiniXMLParser::TXMLNode* network = SettingsRoot()->FindNode(QStringLiteral("Network"));
    network->SetAttributeValue(QStringLiteral("Mode"), QStringLiteral("Node"));
    network->SetAttributeValue(QStringLiteral("MonitorIP"), QStringLiteral("10.0.0.5"));
    network->SetAttributeValue(QStringLiteral("MonitorPort"), QStringLiteral("70000"));
    Choose(QStringLiteral("25 m Silhouette"));
    ASSERT_TRUE(ClickWhenReady(Control("ButtonStart")));
    ASSERT_TRUE(ProgrammingEnded());
    EXPECT_EQ(SessionMode, SessionDynamic);
    ASSERT_EQ(link.connects.size(), 1u);
    EXPECT_EQ(link.connects[0], std::make_pair(QStringLiteral("10.0.0.5"), 14351));

    ASSERT_EQ(ShooterViewers.size(), 1u);
    ASSERT_NE(ShooterViewers[0]->Device(), nullptr);
    EXPECT_TRUE(WaitFor([&] { return units[0]->Measuring(); }));
    EXPECT_EQ(units[0]->Mode(), 2);
}

// Ways a run goes wrong. The strike comes while the first unit holds its
// third ring ack back; a parked unit whose port does not open again fails
// before anything is sent to it.
struct TFailureCase {
    const char* name;
    int stallMs;  // long where the strike itself must end the run
    std::function<void(unitsim::TSimUnit&, TDevice*)> strike;
    bool parkFirst = false;
};

const TFailureCase FailureCases[] = {
    {"StopsAnswering", 400, [](unitsim::TSimUnit& unit, TDevice*) { unit.SetMute(true); }},
    {"Unplugged", 400, [](unitsim::TSimUnit& unit, TDevice*) { unit.Unplug(); }},
    {"LeavesTheUnitList", 60000,
     [](unitsim::TSimUnit&, TDevice* device) { TDeviceManager::Instance()->MoveToReconnect(device); }},
    {"ParkedPortDoesNotReopen", 60000,
     [](unitsim::TSimUnit& unit, TDevice* device) {
         device->Data().ClosePort();
         unit.Unplug();
     },
     true},
};

class ProgrammingFailureTest : public ProgrammingTest, public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(ProgrammingFailureTest, EndsTheRunForEveryUnit)
{
    const TFailureCase& c = GetParam();
    StartWithUnits(2);
    Choose(QStringLiteral("10 m Air Rifle"));
    ClearReceived();
    if (c.parkFirst) {
        c.strike(*units[0], DeviceOn(11));
        UiTimings().programmingStallMs = c.stallMs;
        ASSERT_TRUE(ClickWhenReady(Control("ButtonStart")));
    } else {
        units[0]->AddFault({'l', 3, 1, unitsim::FaultKind::Delay, 20000});
        ASSERT_TRUE(ClickWhenReady(Control("ButtonStart")));
        ASSERT_TRUE(units[0]->WaitForCount('l', 3, 30s));
        c.strike(*units[0], DeviceOn(11));
        UiTimings().programmingStallMs = c.stallMs;
    }

    ASSERT_TRUE(ProgrammingEnded());
    EXPECT_EQ(prompts.Count(QStringLiteral("Error during programming")), 1);
    EXPECT_TRUE(ShooterViewers.empty());
    ExpectUploadsReset();
    EXPECT_TRUE(Control("ButtonStart")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Strikes, ProgrammingFailureTest, ::testing::ValuesIn(FailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Without units nothing starts; the live road shows its box in English.
TEST_F(ProgrammingTest, RefusesWithoutUnits)
{
    SetTranslationList({QStringLiteral("No device connected. Shooting not possible.=Kein Gerät"),
                        QStringLiteral("Insert Optical Units=Geräte einstecken")});
    StartWithUnits(0);
    Choose(QStringLiteral("10 m Air Rifle"));
    const int shooters = CurrentSession->ShooterCount();
    // Without units the device count keeps both buttons disabled; the refusal
    // is for a unit that went away between two counts, so call the handlers.
    FormSelectSetup->ButtonStartClick();
    FormSelectSetup->ButtonSetupClick();
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[0].text, QStringLiteral("No device connected. Shooting not possible."));
    EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Insert Optical Units"));
    EXPECT_EQ(prompts.shown[1].text, QStringLiteral("Kein Gerät"));
    EXPECT_EQ(prompts.shown[1].caption, QStringLiteral("Geräte einstecken"));
    EXPECT_EQ(prompts.beeps, 2);
    EXPECT_FALSE(FormSelectSetup->Programming());
    EXPECT_EQ(CurrentSession->ShooterCount(), shooters);
}

} // namespace

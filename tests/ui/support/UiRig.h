// The rig of the form tests: the program's start-up against a scratch data
// folder, simulated units linked into its Ports folder, a scripted prompts
// object answering the boxes, and timer intervals short enough for tests.
// Forms run offscreen (ctest sets QT_QPA_PLATFORM=offscreen). The header
// also brings what every form test works with: the forms' globals, the
// viewer and the session's shooters and shots, and the picture saver.
#pragma once

#include "AppStartup.h"
#include "FormShooter.h"
#include "NetworkLink.h"
#include "Prompts.h"
#include "Screens.h"
#include "Shotdata.h"
#include "TestFiles.h"
#include "TSimUnit.h"
#include "UiGlobals.h"

#include <QPoint>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <tuple>
#include <vector>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// Records every box and answers from a script: the next queued answer, else
// what the silent prompts would answer (OK, No, Cancel, Abort). File choosers
// answer from their own queue (empty: cancelled); print dialogs run the next
// queued print answer, which sets the printer up (empty: cancelled).
class TScriptedPrompts final : public IPrompts {
public:
    struct TShown {
        QString text;
        QString caption;
        TMsgButtons buttons;
    };

    TMsgResult MessageBox(const QString& text, const QString& caption, TMsgButtons buttons) override;
    QString OpenFileName(const TFileRequest& request) override;
    QString SaveFileName(const TFileRequest& request) override;
    bool ChooseColour(uint32_t* colour) override;
    bool PrintDialog(QPrinter* printer) override;
    void Beep() override { ++beeps; }

    // How often a box with this text was shown.
    int Count(const QString& text) const;
    // The texts of all boxes shown, in order.
    QStringList Texts() const;

    std::vector<TShown> shown;
    std::deque<TMsgResult> queued;
    std::deque<QString> fileAnswers;
    std::vector<TFileRequest> fileRequests;
    int beeps = 0;
    // Print dialogs: each answer sets the printer up and says whether the
    // operator confirmed; printDialogs counts the dialogs shown.
    using TPrintAnswer = std::function<bool(QPrinter*)>;
    std::deque<TPrintAnswer> printAnswers;
    int printDialogs = 0;
    // An answer that confirms printing to a PDF file at path.
    static TPrintAnswer PrintToPdf(const QString& path, bool landscape = false);
};

class UiRigTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // ApplicationStartup, CreateForms (no network forms) and the splash
    // shown, as the program entry does; false when start-up stopped. The
    // forms' timers run from here on. Showing the splash may already run
    // them (a splash processes events when shown); formsCreated runs before.
    bool StartProgram(const std::function<void()>& formsCreated = {});
    // Pumps events until the splash has given way to the start menu.
    bool WaitForStartMenu(std::chrono::milliseconds limit = std::chrono::seconds(20));
    // DestroyForms and ApplicationShutdown; done by TearDown when needed.
    void StopProgram();

    // A simulated unit behind Ports/COM<number>.
    unitsim::TSimUnit& AddUnit(int number, const std::string& name);
    unitsim::TSimUnit& AddUnit(int number, const unitsim::UnitConfig& config);
    void RemoveUnit(unitsim::TSimUnit& unit);

    // Pumps the event loop until pred holds or limit passes; returns pred().
    bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Waits until an operator could click widget (shown and enabled), then
    // clicks it; false, with nothing clicked, when that never happens.
    bool ClickWhenReady(QWidget* widget, std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Forgets what every unit received so far.
    void ClearReceived();
    // Scans the ports and waits until n units are found and none identifies.
    bool ScanUnits(int n);
    // The way an operator starts a training: n units on COM41.., the program
    // started, "Set Shooting Training", the first setup (a ring), Start with
    // StartAutomatically on; returns once every unit has its live viewer and
    // measures. Boxes shown so far are cleared.
    void StartTraining(int n);
    // Every unit fires at the given points (x moved by 7 per unit); returns
    // once every viewer shows the new shots on its strip.
    void FireAndWait(const std::vector<std::pair<int16_t, int16_t>>& hits);
    // Runs the event loop as the program entry does, runs action in it and
    // returns the loop's exit code, or StillRunning when action did not end it.
    static constexpr int StillRunning = 1000;
    static int ExitCodeOf(const std::function<void()>& action);

    QString DataPath() const;   // the scratch data folder ("/Tavrik/TRAXEL/" below it)
    QString PortsFolder() const;
    QString ScratchRoot() const { return tmp_.path(); }

    TScriptedPrompts prompts;
    std::vector<std::unique_ptr<unitsim::TSimUnit>> units;
    // The network forms StartProgram creates (none unless a test sets them).
    TNetworkFormMakers networkForms;

private:
    QTemporaryDir tmp_;
    bool started_ = false;
    QString savedCwd_;
};

// ---- Forms and units ----
class QWidget;
class TDevice;
class TFormShooter;
class TShooter;

// The child of form with that object name; the test fails without one.
template <class T = QPushButton>
T* Control(const QWidget* form, const char* name)
{
    T* control = form ? form->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    EXPECT_NE(control, nullptr) << name;
    return control;
}
// A left click, at the centre unless at is given. The control must be shown
// and enabled, as for an operator; the test fails otherwise.
void Click(QWidget* widget, QPoint at = QPoint());
// A viewer appended to ShooterViewers, bound as AttachShooterView binds it.
TFormShooter* AddViewer(TDevice* device, TShooter* shooter, bool live);

// A shot at (x, y) on the unit's ring target.
unitsim::SimShot RingShot(int x, int y);
// Frames a unit received that pred accepts; the stop and start commands.
int CountFrames(const unitsim::TSimUnit& unit, const std::function<bool(const unitsim::ReceivedFrame&)>& pred);
bool IsStopFrame(const unitsim::ReceivedFrame& f);
// Every frame the device wrote before this call has reached its unit: the
// unit answers in order, so once the answer to one more request (a bank-count
// read, "c") is back, nothing written earlier is still on its way.
bool AllWrittenArrived(TDevice* device);
bool IsStartFrame(const unitsim::ReceivedFrame& f);

// A shooter's shots as x, y and score, in order.
using TShotKey = std::tuple<int, int, int>;
std::vector<TShotKey> ShotKeys(TShooter* shooter);

// Every file below folder with its size and time stamp.
std::map<QString, QString> FileListing(const QString& folder);
// Dates the file's last change secondsOld back.
void SetFileAge(const QString& path, int secondsOld);
// Writes bytes to path (folders made); returns path.
QString WriteFile(const QString& path, const QByteArray& bytes);

// A network link that records what the screens asked of it.
class TRecordingLink final : public INetworkLink {
public:
    bool ClientActive() const override { return false; }
    void ConnectClient(const QString& host, int port) override { connects.push_back({host, port}); }
    void CloseClient() override {}
    void SendDataOut(int) override {}
    void AskNetworkRetry() override {}
    bool ServerActive() const override { return listening; }
    bool StartMonitor(int port) override
    {
        ports.push_back(port);
        listening = listenResult;
        return listenResult;
    }
    void StopMonitor() override
    {
        listening = false;
        ++stops;
    }
    int ShooterLinkCount() const override { return 0; }
    void ShowSendMessage(const QString&, const QIcon&) override {}
    void HideSendMessage() override {}

    bool listening = false;
    bool listenResult = true;  // what StartMonitor answers
    std::vector<int> ports;
    int stops = 0;
    std::vector<std::pair<QString, int>> connects;
};

class TShooterNameFileHandler;

// Replaces the teams of names by those written as "Red:Anna,Ben;Blue:Cid"
// (a team without names: "Red:"; empty names: "Red:,Ben"); and writes a
// list back in that form.
void FillNameList(TShooterNameFileHandler& names, const QString& teams);
QString DescribeNameList(const TShooterNameFileHandler& names);

// ---- Keys ----
// Makes window the active window, as the operator's window manager would when
// it is picked; false when it never became active.
bool ActivateWindow(QWidget* window);
// A key pressed on the focused control (on the active window when no control
// has the focus), as from the keyboard.
void PressKey(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Presses Tab until the control named name has the focus; false when a full
// round of the form's controls never reaches it.
bool TabTo(QWidget* form, const char* name);

// Types text into widget key by key; unlike QTest::keyClicks it takes letters
// beyond ASCII ("ö" arrives as the key Ö with the text "ö").
void TypeText(QWidget* widget, const QString& text);

// ---- Sessions built without units ----
class TSession;
class TShooter;
struct TargetDescription;

// The test ring (tests/common/TestTargets.h) under another name.
TargetDescription NamedRing(const QString& name);
// A shooter appended to session: name, serial "KBR" + 7 digits of serial,
// target in slot 0 (ring or silhouette as it has them, marked defined) and
// shots shots on it, one second apart, scores 100, 99, ...
TShooter* AddShooterWithShots(TSession& session, const QString& name, int serial, const TargetDescription& target,
                              int shots);

// The rig of the form tests: the program's start-up against a scratch data
// folder, simulated units linked into its Ports folder, a scripted prompts
// object answering the boxes, and timer intervals short enough for tests.
// Forms run offscreen (ctest sets QT_QPA_PLATFORM=offscreen).
#pragma once

#include "Prompts.h"
#include "TSimUnit.h"

#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

// Records every box and answers from a script: first an answer given for the
// box's text, else the next queued answer, else what the silent prompts
// would answer (OK, No, Cancel, Abort). File choosers answer from their own
// queue (empty: cancelled).
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
    std::map<QString, TMsgResult> answerFor;
    std::deque<TMsgResult> queued;
    std::deque<QString> fileAnswers;
    std::vector<TFileRequest> fileRequests;
    bool printAnswer = false;
    int beeps = 0;
    // Called after a box was recorded, before it is answered.
    std::function<void(const TShown&)> onShown;
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
    void RemoveUnit(unitsim::TSimUnit& unit);

    // Pumps the event loop until pred holds or limit passes; returns pred().
    bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Pumps the event loop for ms milliseconds.
    void Pump(int ms);

    QString DataPath() const;   // the scratch data folder ("/Tavrik/TRAXEL/" below it)
    QString PortsFolder() const;

    TScriptedPrompts prompts;
    std::vector<std::unique_ptr<unitsim::TSimUnit>> units;

private:
    QTemporaryDir tmp_;
    bool started_ = false;
    QString savedCwd_;
};

class TShooterNameFileHandler;

// Replaces the teams of names by those written as "Red:Anna,Ben;Blue:Cid"
// (a team without names: "Red:"; empty names: "Red:,Ben"); and writes a
// list back in that form.
void FillNameList(TShooterNameFileHandler& names, const QString& teams);
QString DescribeNameList(const TShooterNameFileHandler& names);

class QWidget;
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

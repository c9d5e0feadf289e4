// Every screen worked from the keyboard alone: Tab reaches each control an
// operator could use, Return presses the screen's default button and Escape
// its Cancel or Close button; and one training from the start menu to the
// closed session, keys only, at a simulated unit.
#include "DeviceManager.h"
#include "FormApplicationSettings.h"
#include "FormEditSetup.h"
#include "FormKeys.h"
#include "FormNameListEditor.h"
#include "FormOpenSession.h"
#include "FormPrepareDownload.h"
#include "FormPrintSetup.h"
#include "FormSearchShooterName.h"
#include "FormSelectSetup.h"
#include "FormSendMessage.h"
#include "FormShooterList.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "PictureButton.h"
#include "ShooterGridModel.h"
#include "TestTargets.h"
#include "UiRig.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <random>
#include <set>

namespace {

// A control as a Tab stop: the radio buttons of one box are one stop, as
// Tab enters a box of choices at its checked button.
const QObject* StopOf(const QWidget* w)
{
    return qobject_cast<const QRadioButton*>(w) ? static_cast<const QObject*>(w->parentWidget()) : w;
}

// The parts of a control (a grid's cells, a spin box's or combo's edit).
bool PartOfControl(const QWidget* w, const QWidget* form)
{
    for (const QWidget* p = w->parentWidget(); p && p != form; p = p->parentWidget())
        if (qobject_cast<const QAbstractItemView*>(p) || qobject_cast<const QAbstractSpinBox*>(p)
            || qobject_cast<const QComboBox*>(p))
            return true;
    return false;
}

// Tabs round form twice; returns the names of the controls that are shown,
// enabled and take the focus by Tab but were never reached.
QStringList Unreached(QWidget* form)
{
    std::set<const QObject*> stops;
    std::map<const QObject*, QString> names;
    for (const QWidget* w : form->findChildren<QWidget*>()) {
        if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && w->window() == form
            && !PartOfControl(w, form)) {
            stops.insert(StopOf(w));
            names[StopOf(w)] = w->objectName();
        }
    }
    const std::size_t presses = 2 * stops.size() + 2;
    for (std::size_t i = 0; i < presses; ++i) {
        for (const QWidget* f = QApplication::focusWidget(); f && f != form; f = f->parentWidget())
            stops.erase(StopOf(f));
        PressKey(Qt::Key_Tab);
    }
    QStringList missed;
    for (const QObject* stop : stops)
        missed << names[stop];
    return missed;
}

struct TFormCase {
    const char* title;
    std::function<QWidget*()> show;  // shows the screen, returns its window
    const char* defaultButton;       // null: the screen has none
    const char* returnFrom;          // a control that leaves Return to the screen; null: the default itself
    bool escapeCloses;
    const char* keepsReturn = nullptr;  // a control whose Return must not reach the default
    // A control that acts on a click (a picture, a grid's cell), reached by
    // Tab and pressed by each key of pressKeys; pressed(key) presses it and
    // says whether it did what its click does.
    const char* clickable = nullptr;
    std::vector<int> pressKeys = {};
    std::function<bool(int key)> pressed = {};
};

// Presses key and tells whether it opened dialog (then cancelled) meanwhile.
bool KeyOpens(int key, QDialog* dialog, const QString& screen)
{
    bool opened = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!dialog->isVisible())
            return;
        if (!opened)
            SaveScreen(*dialog, screen);
        opened = true;
        dialog->reject();
    });
    poll.start(10);
    PressKey(key);
    return opened;
}

class KeyboardTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        networkForms = {{}, [] { return static_cast<QWidget*>(new TFormSendMessage); }};
    }
};

TEST_F(KeyboardTest, EveryScreenByTabReturnAndEscape)
{
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(WaitForStartMenu());
    TTargetSetup entry = *FormSelectSetup->Setups().Get(0);
    const auto shown = [](QWidget* form) {
        form->show();
        return form;
    };
    const TFormCase cases[] = {
        {"start", [] { return static_cast<QWidget*>(FormStartMenu); }, nullptr, nullptr, false, nullptr,
         "ImageDeviceCount", {Qt::Key_Space, Qt::Key_Return}, [&](int key) {
             PressKey(key);
             const bool reconnecting = FormStartMenu->Reconnecting();
             return WaitFor([] { return !FormStartMenu->Reconnecting() && !TDeviceManager::Instance()->Scanning(); })
                 && reconnecting;
         }},
        {"setup", [&] { return shown(FormSelectSetup); }, "ButtonStart", "DrawGridSetups", true},
        {"open", [&] { return shown(FormOpenSession); }, "BitBtnOpen", "StringGridSessions", true},
        {"download", [&] { return shown(FormPrepareDownload); }, nullptr, nullptr, true},
        {"list", [&] {
             AddShooterWithShots(*CurrentSession, QStringLiteral("Ben"), 2, GoldenRing(), 1);
             return shown(FormShooterList);
         }, nullptr, nullptr, true, nullptr, "StringGridNames", {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_F2}, [&](int key) {
             Control<QComboBox>(FormShooterList, "ComboBoxTeams")->setCurrentIndex(1);  // "<All>"
             auto* grid = Control<QAbstractItemView>(FormShooterList, "StringGridNames");
             grid->setCurrentIndex(grid->model()->index(0, TShooterGridModel::ColumnPick));
             const bool opened = KeyOpens(key, FormSearchShooterName, QStringLiteral("keys_list_pick"));
             return ActivateWindow(FormShooterList) && opened;
         }},
        {"names", [&] { return shown(FormNameListEditor); }, "ButtonOk", nullptr, true, "StringGridTeams"},
        {"search", [&] {
             FormSearchShooterName->SetTeam(FormNameListEditor->NameList().GetAllNames(), QStringLiteral("Team"));
             return shown(FormSearchShooterName);
         }, "BitBtnOK", nullptr, true},
        {"settings", [&] { return shown(FormApplicationSettings); }, "BitBtnOk", "CheckBoxStartAutomatically", true},
        {"editor", [&] {
             FormEditSetup->BeginEdit(entry);
             return shown(FormEditSetup);
         }, "ButtonOK", "TabControlPage", true, "EditSleepAngle2"},
        {"print", [&] {
             FormPrintSetup->SetTarget(GoldenRing());
             return shown(FormPrintSetup);
         }, "ButtonPrint", "EditScaledDistance", true},
        {"message", [&] { return shown(FormSendMessage); }, "BitBtnSend", nullptr, true},
        {"viewer", [&] {
             SessionMode = SessionOpenFile;
             AddViewer(nullptr, AddShooterWithShots(*CurrentSession, QStringLiteral("Anna"), 1, GoldenRing(), 2), false);
             ShowSessionViewers();
             return static_cast<QWidget*>(ShooterViewers.front());
         }, nullptr, nullptr, false},
        {"panel", [&] { return static_cast<QWidget*>(FormShooterPanel); }, nullptr, nullptr, true},
    };
    for (const TFormCase& c : cases) {
        SCOPED_TRACE(c.title);
        QWidget* form = c.show();
        ASSERT_TRUE(ActivateWindow(form));
        SaveScreen(*form, QStringLiteral("keys_%1").arg(QLatin1String(c.title)));
        if (c.defaultButton) {
            EXPECT_TRUE(Control(form, c.defaultButton)->isDefault());
        }
        EXPECT_EQ(Unreached(form), QStringList());
        if (c.defaultButton) {
            // The default's own work is tested with its screen: here only that
            // Return presses it.
            auto* button = Control(form, c.defaultButton);
            QObject::disconnect(button, &QAbstractButton::clicked, nullptr, nullptr);
            button->setEnabled(true);
            QSignalSpy pressed(button, &QAbstractButton::clicked);
            (c.returnFrom ? Control<QWidget>(form, c.returnFrom) : static_cast<QWidget*>(button))->setFocus();
            PressKey(Qt::Key_Return);
            EXPECT_EQ(pressed.count(), 1);
            if (c.keepsReturn) {
                Control<QWidget>(form, c.keepsReturn)->setFocus();
                PressKey(Qt::Key_Return);
                EXPECT_EQ(pressed.count(), 1) << c.keepsReturn;
            }
        }
        for (int key : c.pressKeys) {
            if (!TabTo(form, c.clickable)) {
                ADD_FAILURE() << c.clickable << " not reached by Tab";
                break;
            }
            if (key == c.pressKeys.front())
                SaveScreen(*form, QStringLiteral("keys_%1_%2").arg(QLatin1String(c.title), QLatin1String(c.clickable)));
            EXPECT_TRUE(c.pressed(key)) << c.clickable << " key " << key;
        }
        PressKey(Qt::Key_Escape);
        EXPECT_EQ(form->isVisible(), !c.escapeCloses);
        form->hide();
    }
}

// A picture that acts on a click, on a form with a default and a cancel
// button: random keys while it has the focus press it exactly for a plain
// Space, Return or Enter, never the default; Escape still reaches the form.
// Screen readers see a button named by its hint, and the focus is drawn.
TEST_F(KeyboardTest, PicturePressedByItsKeysAlone)
{
    QWidget form;
    auto* picture = new TPictureButton(&form);
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::gray);
    picture->setPixmap(pixmap);
    picture->setToolTip(QStringLiteral("Click to reconnect device(s)"));
    auto* ok = new QPushButton(QStringLiteral("OK"), &form);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), &form);
    auto* layout = new QHBoxLayout(&form);
    for (QWidget* w : {static_cast<QWidget*>(picture), static_cast<QWidget*>(ok), static_cast<QWidget*>(cancel)})
        layout->addWidget(w);
    InstallFormKeys(&form, ok, cancel);
    QSignalSpy pictures(picture, &TPictureButton::Clicked);
    QSignalSpy oks(ok, &QAbstractButton::clicked);
    QSignalSpy cancels(cancel, &QAbstractButton::clicked);
    ASSERT_TRUE(ActivateWindow(&form));
    ok->setFocus();
    const QImage unfocused = picture->grab().toImage();
    picture->setFocus();
    ASSERT_TRUE(picture->hasFocus());
    EXPECT_NE(picture->grab().toImage(), unfocused);

    const unsigned seed = std::random_device {}();
    std::mt19937 random(seed);
    const int keys[] = {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_A, Qt::Key_F2};
    const Qt::KeyboardModifiers modifiers[] = {Qt::NoModifier, Qt::KeypadModifier, Qt::ShiftModifier,
                                               Qt::AltModifier};
    int expectedPictures = 0;
    int expectedCancels = 0;
    for (int i = 0; i < 60; ++i) {
        const int key = keys[random() % std::size(keys)];
        const Qt::KeyboardModifiers mod = modifiers[random() % std::size(modifiers)];
        const bool plain = (mod & ~Qt::KeypadModifier) == Qt::NoModifier;
        expectedPictures += plain && key != Qt::Key_Escape && key != Qt::Key_A && key != Qt::Key_F2;
        expectedCancels += plain && key == Qt::Key_Escape;
        QTest::keyClick(picture, Qt::Key(key), mod);
    }
    EXPECT_EQ(pictures.count(), expectedPictures) << "seed " << seed;
    EXPECT_EQ(cancels.count(), expectedCancels) << "seed " << seed;
    EXPECT_EQ(oks.count(), 0) << "seed " << seed;

    QTest::mouseClick(picture, Qt::LeftButton);
    EXPECT_EQ(pictures.count(), expectedPictures + 1);
    picture->setEnabled(false);
    QTest::keyClick(picture, Qt::Key_Space);
    EXPECT_EQ(pictures.count(), expectedPictures + 1);
    picture->setEnabled(true);

    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(picture);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->role(), QAccessible::Button);
    EXPECT_EQ(reader->text(QAccessible::Name), QStringLiteral("Click to reconnect device(s)"));
    reader->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(pictures.count(), expectedPictures + 2);
}

// A dialog's keys against a model of them, over random controls in focus,
// keys, modifiers, return modes and default and cancel buttons shown,
// hidden or disabled: Return presses the default only from a control that
// does not keep it, Escape the cancel; a hidden or disabled button is never
// pressed, and the dialog never closes by itself.
TEST_F(KeyboardTest, DialogKeysPressOnlyUsableButtons)
{
    const unsigned seed = std::random_device {}();
    std::mt19937 random(seed);
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    for (const TReturnKeys mode : {TReturnKeys::ToDefault, TReturnKeys::KeptByEdits}) {
        QDialog form;
        auto* edit = new QLineEdit(&form);
        auto* spin = new QSpinBox(&form);
        auto* check = new QCheckBox(QStringLiteral("Check"), &form);
        auto* editable = new QTableWidget(2, 2, &form);
        auto* readOnly = new QTableWidget(2, 2, &form);
        readOnly->setEditTriggers(QAbstractItemView::NoEditTriggers);
        readOnly->setItem(0, 0, new QTableWidgetItem(QStringLiteral("cell")));
        readOnly->openPersistentEditor(readOnly->item(0, 0));
        readOnly->setCurrentCell(1, 1);  // the focus stays on the grid itself
        auto* ok = new QPushButton(QStringLiteral("OK"), &form);
        auto* cancel = new QPushButton(QStringLiteral("Cancel"), &form);
        auto* layout = new QHBoxLayout(&form);
        for (QWidget* w : std::initializer_list<QWidget*>{edit, spin, check, editable, readOnly, ok, cancel})
            layout->addWidget(w);
        InstallFormKeys(&form, ok, cancel, mode);
        QSignalSpy oks(ok, &QAbstractButton::clicked);
        QSignalSpy cancels(cancel, &QAbstractButton::clicked);
        ASSERT_TRUE(ActivateWindow(&form));
        int expectedOks = 0;
        int expectedCancels = 0;
        for (int i = 0; i < 80; ++i) {
            ok->setVisible(random() % 4 != 0);
            ok->setEnabled(random() % 4 != 0);
            cancel->setVisible(random() % 4 != 0);
            cancel->setEnabled(random() % 4 != 0);
            QWidget* editor = readOnly->indexWidget(readOnly->model()->index(0, 0));
            ASSERT_NE(editor, nullptr);
            QWidget* const focusable[] = {edit, spin, check, editable, readOnly, editor};
            QWidget* focus = focusable[random() % std::size(focusable)];
            focus->setFocus();
            ASSERT_EQ(QApplication::focusWidget(), focus) << i;
            const int keys[] = {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape};
            const int key = keys[random() % std::size(keys)];
            const Qt::KeyboardModifiers modifiers = random() % 3 ? Qt::NoModifier : Qt::ShiftModifier;
            const bool plain = modifiers == Qt::NoModifier;
            const bool keeps = focus == editable || focus == editor
                || (mode == TReturnKeys::KeptByEdits && (focus == edit || focus == spin));
            if (key == Qt::Key_Escape)  // a cell editor keeps it
                expectedCancels += plain && focus != editor && cancel->isVisible() && cancel->isEnabled();
            else
                expectedOks += plain && !keeps && ok->isVisible() && ok->isEnabled();
            PressKey(key, modifiers);
            QCoreApplication::processEvents();
            ASSERT_EQ(oks.count(), expectedOks) << i << " " << focus->metaObject()->className();
            ASSERT_EQ(cancels.count(), expectedCancels) << i << " " << focus->metaObject()->className();
            ASSERT_TRUE(form.isVisible()) << i;
        }
    }
}

// The operator's road with the keyboard alone: the start menu, Training
// Setup, Start, the live viewer with two shots reviewed, and the session
// closed from the panel. Windows are picked as a window manager would.
TEST_F(KeyboardTest, TrainingFromStartMenuToClosedSession)
{
    unitsim::TSimUnit& unit = AddUnit(41, unitsim::UnitName("KBR", 41));
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(WaitForStartMenu());
    ASSERT_TRUE(ScanUnits(1));
    const auto focusName = [] { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(); };

    ASSERT_TRUE(ActivateWindow(FormStartMenu));
    ASSERT_TRUE(TabTo(FormStartMenu, "BitBtnDynamicTraining"));
    PressKey(Qt::Key_Return);
    ASSERT_TRUE(WaitFor([] { return FormSelectSetup->isVisible() && !FormStartMenu->isVisible(); }));

    ASSERT_TRUE(ActivateWindow(FormSelectSetup));
    QPushButton* start = Control(FormSelectSetup, "ButtonStart");
    ASSERT_TRUE(WaitFor([&] { return start->isEnabled(); }));
    ASSERT_TRUE(TabTo(FormSelectSetup, "DrawGridSetups"));
    PressKey(Qt::Key_Tab, Qt::ControlModifier);  // out of the list, as Tab
    EXPECT_EQ(focusName(), QStringLiteral("ButtonStart"));
    PressKey(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(focusName(), QStringLiteral("DrawGridSetups"));
    PressKey(Qt::Key_Return);  // Start, the default
    ASSERT_TRUE(WaitFor([] { return ShooterViewers.size() == 1 && !FormSelectSetup->Programming(); }));
    EXPECT_FALSE(FormSelectSetup->isVisible());

    TFormShooter* viewer = ShooterViewers.front();
    ASSERT_TRUE(ActivateWindow(viewer));
    ASSERT_TRUE(TabTo(viewer, "ButtonStartStop"));
    PressKey(Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return unit.Measuring(); }));
    unit.FireShot(RingShot(0, 0));
    unit.FireShot(RingShot(60, -40));
    ASSERT_TRUE(WaitFor([&] { return viewer->Shooter()->ShotCount() == 2 && !viewer->DrawPending(); }));
    ASSERT_TRUE(TabTo(viewer, "BitBtnLeftArrow"));
    PressKey(Qt::Key_Return);
    EXPECT_EQ(viewer->SelectedShot(), viewer->Shooter()->GetShot(0));
    SaveScreen(*viewer, QStringLiteral("keys_road_viewer"));

    ASSERT_TRUE(ActivateWindow(FormShooterPanel));
    prompts.queued = {TMsgResult::No};
    PressKey(Qt::Key_Escape);
    ASSERT_TRUE(WaitFor([] { return ShooterViewers.empty() && FormStartMenu->isVisible(); }));
    EXPECT_EQ(prompts.Count(QStringLiteral("Save session?")), 1);
    EXPECT_FALSE(FormShooterPanel->isVisible());
}

}  // namespace

// Details of the screens an operator meets: hints a screen reader reads out,
// names and hints of the buttons that show only an icon, message boxes in the
// program's language, the file dialogs' filter and columns, the shot strip
// filling its box and the cant value beside its picture.
#include "AccessibleHints.h"
#include "AppPaths.h"
#include "AppSettings.h"
#include "FormApplicationSettings.h"
#include "FormNetworkControl.h"
#include "FormOpenSession.h"
#include "FormPrepareDownload.h"
#include "FormSelectSetup.h"
#include "FormSendMessage.h"
#include "FormShooterList.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "QtPrompts.h"
#include "SentenceField.h"
#include "SessionFiles.h"
#include "TestTargets.h"
#include "Translation.h"
#include "UiRig.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPrintDialog>
#include <QRegularExpression>
#include <QSet>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <functional>
#include <map>

namespace {

TEST(ControlWords, TheControlNameWithoutItsKindInWords)
{
    const std::pair<const char*, const char*> cases[] = {
        {"BitBtnCloseSession", "Close Session"}, {"SpeedButtonZeroing", "Zeroing"}, {"ButtonCancel", "Cancel"},
        {"ImageDeviceCount", "Device Count"},    {"ButtonOK", "OK"},                {"BitBtnSaveOKFile", "Save OK File"},
        {"Buttons", "Buttons"},                  {"BitBtn", "Bit Btn"},             {"Label2Top", "Label2 Top"},
    };
    for (const auto& [name, words] : cases)
        EXPECT_EQ(ControlWords(QString::fromLatin1(name)), QString::fromLatin1(words)) << name;
}

class FormDetailsTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        ASSERT_TRUE(StartProgram());
    }
};

TEST_F(FormDetailsTest, HintsAreReadOutAndIconButtonsAreNamed)
{
    const struct {
        QWidget* form;
        const char* control;
        const char* hint;
    } hints[] = {
        {FormStartMenu, "BitBtnClose", "Quit Application"},
        {FormStartMenu, "ButtonAppSettings", "Application Settings"},
        {FormStartMenu, "ImageDeviceCount", "Click to reconnect device(s)"},
        {FormSelectSetup, "ButtonStart", "Start Connected Simulation"},
        {FormSelectSetup, "ButtonSetup", "Setup Stand-alone Real Training"},
        {FormSelectSetup, "SpeedButtonMounting", "Set Device Mounting"},
        {FormPrepareDownload, "ImageDeviceCount", "Click to reconnect device(s)"},
    };
    for (const auto& h : hints) {
        auto* control = Control<QWidget>(h.form, h.control);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(std::pair(control->toolTip(), control->accessibleDescription()),
                  std::pair(QString::fromLatin1(h.hint), QString::fromLatin1(h.hint)))
            << h.control;
    }
    // A hint changed later (a language) is read out as changed.
    auto* close = Control<QWidget>(FormStartMenu, "BitBtnClose");
    close->setToolTip(QStringLiteral("Programm beenden"));
    EXPECT_EQ(close->accessibleDescription(), QStringLiteral("Programm beenden"));

    EXPECT_EQ(Control(FormPrepareDownload, "ButtonCancel")->accessibleName(), QStringLiteral("Cancel"));
    // Every button of every screen and of a viewer has something to read out.
    TShooter* shooter = AddShooterWithShots(*CurrentSession, QStringLiteral("Anna"), 1, GoldenRing(), 2);
    QList<QWidget*> screens = QApplication::topLevelWidgets();
    screens << AddViewer(nullptr, shooter, false);
    for (QWidget* screen : screens) {
        for (QAbstractButton* button : screen->findChildren<QAbstractButton*>()) {
            if (button->objectName().isEmpty() || button->objectName().startsWith(QLatin1String("qt_")))
                continue; // parts of Qt's own widgets
            const bool speaks = !button->text().trimmed().isEmpty() || !button->toolTip().isEmpty()
                || !button->accessibleName().isEmpty();
            EXPECT_TRUE(speaks) << screen->objectName().toStdString() << "." << button->objectName().toStdString();
        }
    }
}

// A question in another language comes with its buttons in that language,
// and the box shows the question's picture for the translated caption.
TEST_F(FormDetailsTest, QuestionsComeWithButtonsInTheProgramsLanguage)
{
    SetTranslationList({QStringLiteral("Save session?=Sitzung speichern?"), QStringLiteral("Confirm=Bestätigen"),
                        QStringLiteral("Yes=Ja"), QStringLiteral("No=Nein"), QStringLiteral("Cancel=Abbrechen")});
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        answer.stop();
        icon = box->icon();
        for (QAbstractButton* button : box->buttons())
            buttons << button->text();
        SaveScreen(*box, QStringLiteral("message_box_translated"));
        for (QAbstractButton* button : box->buttons())
            if (button->text() == QLatin1String("Nein")) {
                button->click();
                return;
            }
        box->reject();  // no German No: the box must close all the same
    });
    answer.start();
    TQtPrompts shown;
    const TMsgResult result = shown.MessageBox(Translate(QStringLiteral("Save session?")),
                                               Translate(QStringLiteral("Confirm")), TMsgButtons::YesNoCancel);
    EXPECT_EQ(result, TMsgResult::No);
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList {QStringLiteral("Abbrechen"), QStringLiteral("Ja"), QStringLiteral("Nein")}));
    EXPECT_EQ(icon, QMessageBox::Question);
    SetTranslationList({});
}

// Replay shows the traces of one shot: with none selected it says so, and
// the hint goes once a shot is chosen.
TEST_F(FormDetailsTest, ReplayWithoutASelectedShotAsksForOne)
{
    TShooter* shooter = AddShooterWithShots(*CurrentSession, QStringLiteral("Anna"), 1, GoldenRing(), 3);
    TFormShooter* viewer = AddViewer(nullptr, shooter, false);
    viewer->resize(900, 700);
    viewer->show();
    auto* replay = Control(viewer, "BitBtnReplayMode");
    ASSERT_TRUE(WaitFor([&] { return !viewer->DrawPending() && replay->isVisible(); }));
    ASSERT_EQ(viewer->SelectedShot(), nullptr);
    Click(replay);
    auto* hint = Control<QWidget>(viewer, "PanelTimedMessage");
    EXPECT_TRUE(hint->isVisible());
    EXPECT_EQ(Control<QLabel>(viewer, "LabelMessage")->text(), QStringLiteral("Select a shot to replay"));
    SaveScreen(*viewer, QStringLiteral("viewer_replay_no_shot"));

    viewer->SelectShot(1);
    EXPECT_FALSE(hint->isVisible());
    // With a shot chosen, the next replay view needs no hint.
    Click(replay);
    EXPECT_FALSE(hint->isVisible());
}

TEST_F(FormDetailsTest, FileDialogsShowThePlainFilterMatchAnyCaseAndKeepColumnsReadable)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char* name : {"Upper.SHOTFILE.XML", "lower.shotfile.xml", "notes.txt", "lower.shotfile.xml.bak"})
        WriteFile(folder.filePath(QString::fromLatin1(name)), "<x/>");
    TFileRequest request;
    request.folder = folder.path();
    request.filters = QStringList {ShotFileFilter()};
    QFileDialog dialog;
    SetTranslationList({QStringLiteral("Open=Öffnen"), QStringLiteral("Cancel=Abbrechen")});
    PrepareFileDialog(dialog, request);
    SetTranslationList({});
    EXPECT_EQ(dialog.nameFilters(), QStringList {QStringLiteral("TRAXEL Shot File (*.shotfile.xml)")});
    EXPECT_EQ(std::pair(dialog.labelText(QFileDialog::Accept), dialog.labelText(QFileDialog::Reject)),
              std::pair(QStringLiteral("Öffnen"), QStringLiteral("Abbrechen")));

    auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);
    const auto listed = [&] {
        QStringList names;
        const QModelIndex root = list->rootIndex();
        for (int row = 0; row < list->model()->rowCount(root); ++row)
            names << list->model()->index(row, 0, root).data().toString();
        names.sort();
        return names;
    };
    const QStringList expected {QStringLiteral("Upper.SHOTFILE.XML"), QStringLiteral("lower.shotfile.xml")};
    EXPECT_TRUE(WaitFor([&] { return listed() == expected; })) << listed().join(QLatin1Char('|')).toStdString();

    // The names take the room the size, type and date columns leave.
    auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(details->header()->sectionResizeMode(0), QHeaderView::Stretch);
    EXPECT_GE(dialog.width(), 800);
}

TEST_F(FormDetailsTest, TheStripFillsItsBoxAndTheCantValueSitsBesideItsPicture)
{
    TShooter* shooter = AddShooterWithShots(*CurrentSession, QStringLiteral("Anna"), 1, GoldenRing(), 1);
    TFormShooter* viewer = AddViewer(nullptr, shooter, false);
    viewer->resize(1900, 700);
    viewer->show();
    ASSERT_TRUE(WaitFor([&] { return !viewer->DrawPending() && viewer->Strip().EntryCount() == 1; }));
    auto* box = Control<QAbstractScrollArea>(viewer, "ScrollBoxShotString");
    ASSERT_GT(box->viewport()->width(), viewer->Strip().Bitmap().width());
    const QImage shown = box->viewport()->grab().toImage();
    const QColor stripBlue = viewer->Strip().Bitmap().pixelColor(viewer->Strip().Bitmap().width() - 1, 1);
    EXPECT_EQ(shown.pixelColor(shown.width() - 3, 1), stripBlue);
    SaveScreen(*viewer, QStringLiteral("viewer_wide"));

    auto* status = Control<QLabel>(viewer, "ImageStatus");
    auto* rotate = Control<QLabel>(viewer, "ImageRotate");
    auto* cant = Control<QLabel>(viewer, "LabelRotation");
    for (QWidget* w : {static_cast<QWidget*>(status), static_cast<QWidget*>(rotate), static_cast<QWidget*>(cant)})
        w->show();
    cant->setText(QStringLiteral("-12"));
    viewer->LayoutControls();
    EXPECT_FALSE(cant->geometry().intersects(rotate->geometry()));
    EXPECT_GE(cant->x(), rotate->x() + rotate->width());
    EXPECT_GE(cant->width(), cant->fontMetrics().horizontalAdvance(QStringLiteral("-12")));
}

// Buttons by their control names ("Button", "BitBtn", "SpeedButton") that show
// no word: an icon, or a sign such as "+" or "...".
QStringList IconOnlyButtons(const QList<QWidget*>& screens, QStringList* withoutHint)
{
    QStringList found;
    for (QWidget* screen : screens)
        for (QAbstractButton* button : screen->findChildren<QAbstractButton*>()) {
            const QString name = button->objectName();
            if (!name.startsWith(QLatin1String("Button")) && !name.startsWith(QLatin1String("BitBtn"))
                && !name.startsWith(QLatin1String("SpeedButton")))
                continue;
            const QString text = button->text();
            if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); }))
                continue;
            const QString where = screen->objectName() + QLatin1Char('.') + name;
            // A button of Open Previous Session that nothing ever shows.
            if (where == QLatin1String("FormOpenSession.SpeedButton1"))
                continue;
            found << where;
            if (button->toolTip().trimmed().isEmpty())
                *withoutHint << where;
        }
    return found;
}

// The hints of the buttons named "form.button".
std::map<QString, QString> ShownHints(const QList<QWidget*>& screens, const QStringList& buttons)
{
    std::map<QString, QString> hints;
    for (QWidget* screen : screens)
        for (QAbstractButton* button : screen->findChildren<QAbstractButton*>())
            if (const QString where = screen->objectName() + QLatin1Char('.') + button->objectName(); buttons.contains(where))
                hints[where] = button->toolTip();
    return hints;
}

class IconHintsTest : public UiRigTest {};

TEST_F(IconHintsTest, EveryIconButtonSaysWhatItDoesInTheProgramsLanguage)
{
    WriteFile(DataPath() + QStringLiteral("/Tavrik/TRAXEL/Translations.lang.txt"),
              QStringLiteral("Close=Schließen\nZoom In=Vergrößern\nStart=Starten\nClose Session=Sitzung beenden\n"
                             "Cancel=Abbrechen\n")
                  .toUtf8());
    networkForms = {[] { return static_cast<QWidget*>(new TFormNetworkControl); },
                    [] { return static_cast<QWidget*>(new TFormSendMessage); }};
    ASSERT_TRUE(StartProgram());
    TShooter* shooter = AddShooterWithShots(*CurrentSession, QStringLiteral("Anna"), 1, GoldenRing(), 2);
    QList<QWidget*> screens = QApplication::topLevelWidgets();
    TFormShooter* viewer = AddViewer(nullptr, shooter, false);
    screens << viewer;

    QStringList withoutHint;
    const QStringList iconOnly = IconOnlyButtons(screens, &withoutHint);
    EXPECT_TRUE(withoutHint.isEmpty()) << withoutHint.join(QLatin1Char(' ')).toStdString();
    // Each icon button's own hint, in the program's language: two buttons
    // that swapped theirs (a pair of arrows) are caught.
    const std::map<QString, const char*> englishHints = {
        {"FormApplicationSettings.BitBtnHome", "Cancel"}, {"FormApplicationSettings.BitBtnOk", "OK"},
        {"FormEditSetup.BitBtnDecTriggerSensitivity", "Light"}, {"FormEditSetup.BitBtnIncTriggerSensitivity", "Heavy"},
        {"FormNameListEditor.ButtonCancel", "Cancel"}, {"FormNameListEditor.ButtonOk", "OK"},
        {"FormNameListEditor.ButtonLoadList", "Load Name List"}, {"FormNameListEditor.ButtonSaveList", "Save Name List"},
        {"FormNameListEditor.ButtonNewShooter", "New Shooter"}, {"FormNameListEditor.ButtonRemoveShooter", "Remove Shooter"},
        {"FormNameListEditor.ButtonNewTeam", "New Team"}, {"FormNameListEditor.ButtonRemoveTeam", "Remove Team"},
        {"FormOpenSession.BitBtnClose", "Close"}, {"FormOpenSession.BitBtnShowBrowseDialog", "Browse"},
        {"FormPrepareDownload.ButtonCancel", "Cancel"},
        {"FormPrintSetup.BitBtnDown10", "Decrease distance"}, {"FormPrintSetup.BitBtnUp10", "Increase distance"},
        {"FormSearchShooterName.BitBtnClose", "Close"}, {"FormSearchShooterName.BitBtnOK", "OK"},
        {"FormSelectSetup.BitBtnClose", "Close"}, {"FormSelectSetup.BitBtnEdit", "Configure Selected Item"},
        {"FormSelectSetup.BitBtnCopy", "Copy Setup"}, {"FormSelectSetup.BitBtnDelete", "Delete Setup"},
        {"FormSelectSetup.BitBtnMoveUp", "Move Up"}, {"FormSelectSetup.BitBtnMoveDown", "Move Down"},
        {"FormSelectSetup.BitBtnMore", "Organize Setup List"},
        {"FormSelectSetup.ButtonOpenDefaultSetupFile", "Open Default Setup List"},
        {"FormSelectSetup.ButtonOpenSetupFile", "Open Setup List"},
        {"FormSelectSetup.ButtonSaveSetupFile", "Save Setup List"},
        {"FormSelectSetup.SpeedButtonMounting", "Set Device Mounting"},
        {"FormSendMessage.BitBtnClose", "Close"}, {"FormSendMessage.BitBtnSend", "Send"},
        {"FormShooter.BitBtnDifficulty", "Difficulty"}, {"FormShooter.BitBtnStance", "Stance"},
        {"FormShooter.BitBtnLeftArrow", "Previous shot"}, {"FormShooter.BitBtnRightArrow", "Next shot"},
        {"FormShooter.BitBtnZoomIn", "Zoom In"}, {"FormShooter.BitBtnZoomOut", "Zoom Out"},
        {"FormShooter.BitBtnReplayMode", "Replay"}, {"FormShooter.BitBtnShowAllButtons", "Show all buttons"},
        {"FormShooter.ButtonStartStop", "Start"}, {"FormShooter.SpeedButtonZeroing", "Zeroing mode"},
        {"FormShooterList.BitBtnClose", "Close"},
        {"FormShooterPanel.BitBtnCloseSession", "Close Session"},
        {"FormShooterPanel.BitBtnOneManyShooters", "One or all shooters"},
        {"FormShooterPanel.BitBtnOpenSession", "Open Previous Session"},
        {"FormShooterPanel.BitBtnReplayMode", "Replay"},
        {"FormShooterPanel.BitBtnSendMessageAll", "Message to all shooters"},
        {"FormShooterPanel.BitBtnShooterList", "Shooters and Sessions"},
        {"FormShooterPanel.SpeedButtonShootingZeroing", "Zeroing mode"},
        {"FormStartMenu.BitBtnClose", "Quit Application"}, {"FormStartMenu.ButtonAppSettings", "Application Settings"},
    };
    std::map<QString, QString> expected;
    for (const auto& [where, hint] : englishHints)
        expected[where] = Translate(QString::fromLatin1(hint));
    EXPECT_EQ(ShownHints(screens, iconOnly), expected);

    // The hints come through the language file like every other text.
    const std::pair<QWidget*, const char*> translated[] = {
        {FormOpenSession, "BitBtnClose"},        {FormShooterList, "BitBtnClose"},
        {FormShooterPanel, "BitBtnCloseSession"}, {FormApplicationSettings, "BitBtnHome"},
        {viewer, "BitBtnZoomIn"},                 {viewer, "ButtonStartStop"},
    };
    QStringList hints;
    for (const auto& [form, name] : translated)
        hints << Control<QAbstractButton>(form, name)->toolTip();
    EXPECT_EQ(hints, (QStringList {QStringLiteral("Schließen"), QStringLiteral("Schließen"),
                                   QStringLiteral("Sitzung beenden"), QStringLiteral("Abbrechen"),
                                   QStringLiteral("Vergrößern"), QStringLiteral("Starten")}));
    // A screen reader names the button by its hint.
    EXPECT_EQ(Control(FormOpenSession, "BitBtnClose")->accessibleName(), QStringLiteral("Schließen"));
}

// The shipped German, installed as an operator installs a language.
class GermanFormsTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        QFile shipped(LanguagesFolder() + QStringLiteral("/Deutsch.lang.txt"));
        ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
        WriteFile(DataPath() + QStringLiteral("/Tavrik/TRAXEL/Translations.lang.txt"), shipped.readAll());
        ASSERT_TRUE(StartProgram());
    }
};

// Where a control shows less than its whole text, a description of it.
QString CutText(QWidget* control)
{
    const QString text = control->property("text").toString();
    // Words only: signs such as "+" are not translated, nor is rich text.
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); }) || text.contains(QLatin1Char('<')))
        return {};
    const QString where = control->objectName() + QStringLiteral(" \"") + text + QLatin1Char('"');
    if (auto* label = qobject_cast<QLabel*>(control)) {
        const int room = label->contentsRect().width() - 2 * label->margin() - std::max(0, label->indent());
        if (label->wordWrap())
            return label->heightForWidth(label->width()) > label->height() ? where : QString();
        return label->fontMetrics().horizontalAdvance(text) > room ? where : QString();
    }
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        // The caption and its icon inside the button's frame.
        const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        return button->fontMetrics().horizontalAdvance(text) + icon > button->width() - 8 ? where : QString();
    }
    if (qobject_cast<QAbstractButton*>(control))
        return control->sizeHint().width() > control->width() ? where : QString();
    return {};
}

// Every control an operator sees on form, with the pages of its stacks (tab
// pages) walked one after the other; each page is shown while its controls
// are visited.
void WalkShownControls(QWidget* form, const std::function<void(QWidget*)>& visit)
{
    const auto shown = [form](QWidget* w) {
        for (; w && w != form; w = w->parentWidget())
            if (w->isHidden() && !qobject_cast<QStackedWidget*>(w->parentWidget()))
                return false;
        return w == form;
    };
    const auto visitAll = [&] {
        for (QWidget* control : form->findChildren<QWidget*>())
            if (shown(control) && (!qobject_cast<QStackedWidget*>(control->parentWidget())
                                   || static_cast<QStackedWidget*>(control->parentWidget())->currentWidget() == control))
                visit(control);
    };
    visitAll();
    for (QStackedWidget* stack : form->findChildren<QStackedWidget*>()) {
        if (!shown(stack))
            continue;
        const int current = stack->currentIndex();
        for (int i = 0; i < stack->count(); ++i) {
            if (i == current)
                continue;
            stack->setCurrentIndex(i);
            for (QWidget* control : stack->widget(i)->findChildren<QWidget*>())
                if (shown(control))
                    visit(control);
            visit(stack->widget(i));
        }
        stack->setCurrentIndex(current);
    }
}

// The texts a control shows: caption or title, hint, placeholder, items, tab
// and column heads.
QStringList ShownTexts(QWidget* control)
{
    QStringList texts {control->toolTip()};
    if (const QString sentence = SentenceOf(control); !sentence.isNull())
        texts << sentence;
    else if (auto* label = qobject_cast<QLabel*>(control))
        texts << label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        texts << button->text();
    if (auto* group = qobject_cast<QGroupBox*>(control))
        texts << group->title();
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        texts << edit->placeholderText();
    if (auto* combo = qobject_cast<QComboBox*>(control))
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
    if (auto* tabs = qobject_cast<QTabBar*>(control))
        for (int i = 0; i < tabs->count(); ++i)
            texts << tabs->tabText(i) << tabs->tabToolTip(i);
    if (auto* header = qobject_cast<QHeaderView*>(control); header && header->model())
        for (int i = 0; i < header->count(); ++i)
            if (!header->isSectionHidden(i))
                texts << header->model()->headerData(i, header->orientation()).toString();
    if (control->isWindow())
        texts << control->windowTitle();
    return texts;
}

// Says whether a shown text is in the language of list (lines "English=translated"):
// one of its translations, with any number in place of a placeholder, or a
// part of a translated sentence around a field. Texts without letters pass.
class TLanguageCheck {
public:
    explicit TLanguageCheck(const QStringList& list)
    {
        for (const QString& line : list) {
            const QString value = line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
            if (line.indexOf(QLatin1Char('=')) < 0 || value.isEmpty())
                continue;
            const auto [before, after] = SplitSentence(value);
            texts_ << value << before << after;
            QString pattern = QRegularExpression::escape(value);
            pattern.replace(QRegularExpression(QStringLiteral(R"(\\%(l?d|i|s|u))")), QStringLiteral(".*"));
            patterns_.emplace_back(QRegularExpression::anchoredPattern(pattern));
        }
    }
    bool Speaks(const QString& text) const
    {
        const QString t = text.trimmed();
        if (std::none_of(t.begin(), t.end(), [](QChar c) { return c.isLetter(); }) || texts_.contains(t))
            return true;
        return std::any_of(patterns_.begin(), patterns_.end(), [&t](const QRegularExpression& p) { return p.match(t).hasMatch(); });
    }

private:
    QSet<QString> texts_;
    std::vector<QRegularExpression> patterns_;
};

// Texts in German are longer: every control shows its whole text, on the
// screens the start menu opens (the settings dialog in front) and a viewer.
TEST_F(GermanFormsTest, TranslatedTextsAreNeverCut)
{
    ASSERT_EQ(Translate(QStringLiteral("Clear device after download")), QStringLiteral("Gerät nach dem Herunterladen leeren"));
    FormApplicationSettings->show();
    TShooter* shooter = AddShooterWithShots(*CurrentSession, QStringLiteral("Anna"), 1, GoldenRing(), 2);
    TFormShooter* viewer = AddViewer(nullptr, shooter, false);
    viewer->resize(900, 600);
    viewer->show();
    ASSERT_TRUE(WaitFor([&] { return Control(viewer, "BitBtnPrintShooter")->isVisible(); }));
    QStringList cut;
    for (QWidget* form : QApplication::topLevelWidgets()) {
        if (form->objectName().isEmpty())
            continue;
        if (form->layout())
            form->layout()->activate();
        for (QWidget* control : form->findChildren<QWidget*>()) {
            if (!control->isVisibleTo(form))
                continue;
            if (QWidget* inner = control->parentWidget(); inner && inner->layout())
                inner->layout()->activate();
            const QString what = CutText(control);
            if (!what.isEmpty())
                cut << form->objectName() + QLatin1Char('.') + what;
        }
    }
    EXPECT_TRUE(cut.isEmpty()) << cut.join(QStringLiteral("\n")).toStdString();
    auto* clear = Control<QCheckBox>(FormApplicationSettings, "CheckBoxClearShotsAfterDownload");
    EXPECT_EQ(clear->text(), QStringLiteral("Gerät nach dem Herunterladen leeren"));
    // Side by side, the options do not run into each other, and the series
    // spin box stands between the words of its sentence.
    auto* limit = Control<QCheckBox>(FormApplicationSettings, "CheckBoxLimitShots");
    auto* spin = Control<QWidget>(FormApplicationSettings, "CSpinEditShots");
    auto* limitEnd = Control<QLabel>(FormApplicationSettings, "CheckBoxLimitShotsEnd");
    EXPECT_LE(clear->geometry().right(), limit->geometry().left());
    EXPECT_EQ(std::pair(limit->text(), limitEnd->text()),
              std::pair(QStringLiteral("Serienwertung nach"), QStringLiteral("Schüssen")));
    EXPECT_TRUE(limit->geometry().right() < spin->geometry().left() && spin->geometry().right() < limitEnd->geometry().left()
                && std::abs(spin->geometry().center().y() - limitEnd->geometry().center().y()) < spin->height() / 2);
    SaveScreen(*FormApplicationSettings, QStringLiteral("ApplicationSettings_German"));
}

// Walked in German, no screen shows a text still in English: captions,
// hints, titles, items and column heads of every form, every page of the
// setup editor and a viewer. Names, units and the like may stay.
TEST_F(GermanFormsTest, EveryFormSpeaksGerman)
{
    // Words German shares, units, the maker's name and the version on the
    // splash, and data: the shooter, a device's serial, a team's name.
    const QRegularExpression allowed(
        QStringLiteral(R"(^(OK|m|mm|yd|in|s|Tavrik|Version [\d.]+|Anna|KBR\d*|Team 123)$)"));
    const TLanguageCheck german(TranslationList());
    // The controls that advanced mode, quick grading and the list tools show.
    SetAdvancedModeOn(true);
    FormApplicationSettings->show();
    Click(Control<QCheckBox>(FormApplicationSettings, "CheckBoxQuickGrading"));
    FormSelectSetup->show();
    Click(Control(FormSelectSetup, "BitBtnMore"));
    TShooter* shooter = AddShooterWithShots(*CurrentSession, QStringLiteral("Anna"), 1, GoldenRing(), 2);
    QList<QWidget*> forms = QApplication::topLevelWidgets();
    forms << AddViewer(nullptr, shooter, false);
    QStringList english;
    int seen = 0;
    for (QWidget* form : forms) {
        if (form->objectName().isEmpty())
            continue;
        WalkShownControls(form, [&](QWidget* control) {
            for (const QString& text : ShownTexts(control))
                if (++seen && !german.Speaks(text) && !allowed.match(text.trimmed()).hasMatch())
                    english << form->objectName() + QLatin1Char('.') + control->objectName() + QStringLiteral(" \"")
                            + text + QLatin1Char('"');
        });
    }
    SetAdvancedModeOn(false);
    EXPECT_GT(seen, 500);   // the walk reached the forms' controls
    english.removeDuplicates();
    EXPECT_TRUE(english.isEmpty()) << english.size() << " English texts:\n" << english.join(QStringLiteral("\n")).toStdString();
}

// The shipped German names its language, so Qt's own dialogs speak it too.
TEST_F(GermanFormsTest, QtsOwnDialogsSpeakGermanToo)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFileInfo::exists(folder + QStringLiteral("/qtbase_de.qm")))
        GTEST_SKIP() << "Qt's German translation (qtbase_de.qm) is not installed in " << folder.toStdString()
                     << "; the qt6-translations-l10n package brings it";
    QDialogButtonBox buttons(QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Abbrechen"));
    QPrintDialog print;
    EXPECT_EQ(print.windowTitle(), QStringLiteral("Drucken"));
    SaveScreen(print, QStringLiteral("print_dialog_German"));
}

} // namespace

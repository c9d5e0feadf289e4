// Translating the registered forms by their tables: each kind of entry on
// each kind of control, the tables' order, forms without a translation, and
// forms that are gone or dropped their tables.
#include "TranslateUI.h"
#include "Translation.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <memory>
#include <random>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// Deletes the application when the test run ends. Left to exit, it would go
// after Qt's own globals in an order that depends on how the program was
// linked, and the leak checker would report the font caches it still held.
class AppEnvironment final : public ::testing::Environment {
public:
    explicit AppEnvironment(QApplication* app)
        : app_(app)
    {
    }
    void TearDown() override { delete app_; }

private:
    QApplication* app_;
};

class TranslateUITest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!QApplication::instance()) {
            static int argc = 1;
            static char name[] = "test_translateui";
            static char* argv[] = {name, nullptr};
            ::testing::AddGlobalTestEnvironment(new AppEnvironment(new QApplication(argc, argv)));
        }
    }
    void SetUp() override { ResetTranslation(); }
    void TearDown() override
    {
        ResetTranslation();
        InstallQtTranslation();  // Qt's English again
    }
};

template <class T>
T* Named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A small settings-like form: caption, a label, a button with a hint, a check
// box, a group box, a radio group, a combo box and a frame holding a label
// named like the form's own.
std::unique_ptr<QWidget> SmallForm()
{
    auto form = std::make_unique<QWidget>();
    form->setWindowTitle("Application Settings");
    form->resize(400, 300);
    Named(new QLabel("Options", form.get()), "Label1")->setGeometry(10, 40, 100, 20);
    Named(new QPushButton("OK", form.get()), "ButtonOK")->setToolTip("Save the settings");
    Named(new QCheckBox("Start devices automatically", form.get()), "CheckBoxStartAutomatically");
    Named(new QGroupBox("Advanced", form.get()), "GroupBoxAdvanced");
    QGroupBox* radio = Named(new QGroupBox("Monitoring", form.get()), "RadioGroupNetwork");
    for (const char* item : {"Instructor", "Shooter", "Disabled"})
        new QRadioButton(item, radio);
    Named(new QComboBox(form.get()), "ComboBoxUnit")->addItems({"Standing", "Prone"});
    Named(new QLabel("Distance", Named(new QWidget(form.get()), "FrameInner")), "Label1");
    return form;
}

template <class T>
T* Child(QWidget* form, const char* name)
{
    return form->findChild<T*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

const QStringList German = {"Application Settings=Programmeinstellungen", "Options=Optionen", "OK=Übernehmen",
                            "Save the settings=Einstellungen speichern",
                            "Start devices automatically=Geräte automatisch starten", "Advanced=Erweitert",
                            "Instructor=Ausbilder", "Shooter=Schütze", "Standing=Stehend", "Distance=Entfernung",
                            "Hit=Treffer"};

}  // namespace

TEST_F(TranslateUITest, TablesTranslateTheNamedControls)
{
    const auto form = SmallForm();
    QWidget* frame = Child<QWidget>(form.get(), "FrameInner");
    RegisterTranslateTable(TranslateOrderApplicationSettings, form.get(),
                           {{"Caption", TTranslateKind::Caption},
                            {"Label1", TTranslateKind::Caption},
                            {"Label1", TTranslateKind::Center},
                            {"ButtonOK", TTranslateKind::Caption},
                            {"ButtonOK", TTranslateKind::Hint},
                            {"CheckBoxStartAutomatically", TTranslateKind::Caption},
                            {"GroupBoxAdvanced", TTranslateKind::Caption},
                            {"RadioGroupNetwork", TTranslateKind::Items},
                            {"ComboBoxUnit", TTranslateKind::Items},
                            {"NoSuchControl", TTranslateKind::Caption}});
    RegisterTranslateTable(TranslateOrderFrameRingSettings, frame, {{"Label1", TTranslateKind::Caption}});

    // Without a translation the texts stay and nothing is recorded.
    TranslateUI();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Application Settings"));
    EXPECT_EQ(Child<QPushButton>(form.get(), "ButtonOK")->toolTip(), QStringLiteral("Save the settings"));
    EXPECT_FALSE(TranslationFaultFlag());
    // A later first language translates the open forms at once.
    TranslateUI(&German);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Programmeinstellungen"));
    EXPECT_EQ(Child<QLabel>(form.get(), "Label1")->text(), QStringLiteral("Optionen"));
    EXPECT_EQ(Child<QLabel>(form.get(), "Label1")->pos(), QPoint((400 - 100) / 2, 40));
    EXPECT_EQ(Child<QPushButton>(form.get(), "ButtonOK")->text(), QStringLiteral("Übernehmen"));
    EXPECT_EQ(Child<QPushButton>(form.get(), "ButtonOK")->toolTip(), QStringLiteral("Einstellungen speichern"));
    EXPECT_EQ(Child<QCheckBox>(form.get(), "CheckBoxStartAutomatically")->text(), QStringLiteral("Geräte automatisch starten"));
    EXPECT_EQ(Child<QGroupBox>(form.get(), "GroupBoxAdvanced")->title(), QStringLiteral("Erweitert"));
    auto* radio = Child<QGroupBox>(form.get(), "RadioGroupNetwork");
    const auto radios = radio->findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 3);
    EXPECT_EQ(radios[1]->text(), QStringLiteral("Schütze"));
    EXPECT_EQ(radios[2]->text(), QStringLiteral("Disabled"));
    EXPECT_EQ(radio->title(), QStringLiteral("Monitoring"));  // only the items were listed
    auto* combo = Child<QComboBox>(form.get(), "ComboBoxUnit");
    EXPECT_EQ(combo->itemText(0), QStringLiteral("Stehend"));
    EXPECT_EQ(combo->itemText(1), QStringLiteral("Prone"));
    // The frame's Label1 is its own, not the form's.
    EXPECT_EQ(Child<QLabel>(frame, "Label1")->text(), QStringLiteral("Entfernung"));

    // Fixed words first, then the tables by order (the frame's before the form's).
    const QStringList faults = TranslationFaults();
    ASSERT_GE(faults.size(), 3);
    EXPECT_EQ(faults.first(), QStringLiteral("Distribution"));
    EXPECT_FALSE(faults.contains("Hit"));
    EXPECT_EQ(faults.mid(faults.size() - 2), (QStringList {"Disabled", "Prone"}));
    EXPECT_EQ(faults.count("Score"), 1);
    UnregisterTranslateTables(form.get());
    UnregisterTranslateTables(frame);
}

// Controls placed by hand were sized for their English texts: a longer
// translation widens them as far as the form allows, and a label that still
// does not fit wraps onto more lines. Controls in layouts are left to them.
TEST_F(TranslateUITest, LongerTranslationsGrowOrWrap)
{
    QWidget form;
    form.resize(300, 200);
    auto* box = Named(new QCheckBox("Clear device", &form), "CheckBoxClear");
    box->setGeometry(10, 10, 100, 20);
    auto* label = Named(new QLabel("Options", &form), "LabelOptions");
    label->setGeometry(10, 40, 60, 20);
    auto* kept = Named(new QLabel("Start", &form), "LabelKept");
    kept->setGeometry(10, 80, 200, 20);
    RegisterTranslateTable(TranslateOrderApplicationSettings, &form,
                           {{"CheckBoxClear", TTranslateKind::Caption},
                            {"LabelOptions", TTranslateKind::Caption},
                            {"LabelKept", TTranslateKind::Caption}});
    const QStringList longer = {"Clear device=Gerät nach dem Herunterladen leeren",
                                "Options=Alle Optionen dieses Programms auf einen Blick und noch viel mehr Text",
                                "Start=Los"};
    TranslateUI(&longer);
    const auto shows = [](QWidget* w) { return w->sizeHint().width() <= w->width(); };
    EXPECT_TRUE(shows(box)) << box->width();
    EXPECT_LE(box->x() + box->width(), form.width());
    EXPECT_TRUE(label->wordWrap());
    EXPECT_EQ(label->x() + label->width(), form.width());
    EXPECT_GE(label->height(), label->heightForWidth(label->width()));
    EXPECT_EQ(kept->geometry(), QRect(10, 80, 200, 20));  // shorter: left as placed
    UnregisterTranslateTables(&form);
}

TEST_F(TranslateUITest, DestroyedAndUnregisteredFormsAreSkipped)
{
    // The dead and the dropped form hold texts the list lacks: reaching them
    // would record them as untranslated (or change the dropped form's button).
    auto dead = SmallForm();
    Child<QLabel>(dead.get(), "Label1")->setText("Dead form text");
    const auto dropped = SmallForm();
    Child<QLabel>(dropped.get(), "Label1")->setText("Untranslated dropped");
    Child<QPushButton>(dropped.get(), "ButtonOK")->setText("Options");
    const auto live = SmallForm();
    for (QWidget* form : {dead.get(), dropped.get(), live.get()})
        RegisterTranslateTable(TranslateOrderStartMenu, form,
                               {{"Label1", TTranslateKind::Caption}, {"ButtonOK", TTranslateKind::Caption}});
    UnregisterTranslateTables(dropped.get());
    dead.reset();
    TranslateUI(&German);
    EXPECT_EQ(Child<QLabel>(live.get(), "Label1")->text(), QStringLiteral("Optionen"));  // the tables after the dead one run
    EXPECT_EQ(Child<QPushButton>(dropped.get(), "ButtonOK")->text(), QStringLiteral("Options"));
    EXPECT_FALSE(TranslationFaults().contains("Dead form text"));
    EXPECT_FALSE(TranslationFaults().contains("Untranslated dropped"));
    UnregisterTranslateTables(live.get());

    QStringList items = {"Instructor", "Unknown"};
    TranslateItems(items);
    EXPECT_EQ(items, (QStringList {"Ausbilder", "Unknown"}));
    QLabel orphan("x");
    orphan.move(5, 7);
    CenterInParent(&orphan);  // no parent: stays
    EXPECT_EQ(orphan.pos(), QPoint(5, 7));
}

// Qt's own dialogs speak the language the list names, and English again once
// a list names none.
TEST_F(TranslateUITest, QtsOwnTextsFollowTheListsLanguage)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFileInfo::exists(folder + QStringLiteral("/qtbase_de.qm")))
        GTEST_SKIP() << "Qt's German translation (qtbase_de.qm) is not installed in " << folder.toStdString()
                     << "; the qt6-translations-l10n package brings it";
    const auto cancel = [] { return QCoreApplication::translate("QPlatformTheme", "Cancel"); };
    ASSERT_EQ(cancel(), QStringLiteral("Cancel"));
    for (const char* name : {"Deutsch", " german ", "de_DE"}) {
        QStringList named = German;
        named.prepend(QStringLiteral("Language name=") + QLatin1String(name));
        TranslateUI(&named);
        EXPECT_EQ(cancel(), QStringLiteral("Abbrechen")) << name;
        QDialogButtonBox buttons(QDialogButtonBox::Cancel);
        EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Abbrechen"));
    }
    TranslateUI(&German);
    EXPECT_EQ(cancel(), QStringLiteral("Cancel"));
}

// Every language Qt knows is found by its own and its English name, in any
// letter case, and by its code; other names find none.
TEST(LanguageNames, EveryLanguageIsFoundByItsNamesAndItsCode)
{
    const unsigned seed = std::random_device {}();
    std::mt19937 random(seed);
    const auto anyCase = [&random](QString name) {
        for (QChar& c : name)
            c = random() % 2 ? c.toUpper() : c.toLower();
        return QStringLiteral(" ") + name;
    };
    const auto names = [](const QLocale& locale) {
        return QStringList {QLocale::languageToString(locale.language()).toCaseFolded(),
                            locale.nativeLanguageName().toCaseFolded()};
    };
    int languages = 0;
    for (int i = QLocale::C + 1; i <= QLocale::LastLanguage; ++i) {
        const auto language = static_cast<QLocale::Language>(i);
        const QLocale locale(language);
        if (locale.language() != language)
            continue;
        ++languages;
        for (const QString& name : names(locale)) {
            if (name.isEmpty())
                continue;
            // Two languages of one name: the first is found, and it has that name.
            const QLocale found = LocaleOfLanguageName(anyCase(name));
            EXPECT_TRUE(names(found).contains(name)) << "seed " << seed << ": " << name.toStdString() << " found "
                                                     << found.name().toStdString();
        }
        const QString code = QLocale::languageToCode(language);
        const QLocale byCode = LocaleOfLanguageName(code);
        EXPECT_TRUE(byCode.language() == language || names(byCode).contains(code.toCaseFolded())) << code.toStdString();
    }
    EXPECT_GT(languages, 100);
    for (const char* none : {"", "   ", "Klingonisch", "xq", "de de"})
        EXPECT_EQ(LocaleOfLanguageName(QLatin1String(none)), QLocale::c()) << none;
}

#include "TranslateUI.h"
#include "Translation.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

class TranslateUITest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!QApplication::instance()) {
            static int argc = 1;
            static char name[] = "test_translateui";
            static char* argv[] = {name, nullptr};
            static QApplication app(argc, argv);
        }
    }
    void SetUp() override { ResetTranslation(); }
    void TearDown() override { ResetTranslation(); }
};

template <class T>
T* Add(QWidget* parent, const char* name, const QString& text = QString())
{
    auto* w = new T(parent);
    w->setObjectName(QString::fromLatin1(name));
    if constexpr (std::is_same_v<T, QGroupBox>)
        w->setTitle(text);
    else if constexpr (!std::is_same_v<T, QComboBox> && !std::is_same_v<T, QWidget>)
        w->setText(text);
    return w;
}

// A small settings-like form: caption, a label, a button with a hint, a
// check box, a group box, a radio group, a combo box and a frame holding a
// control named like one of the form's own.
struct TSmallForm {
    TSmallForm()
    {
        Form = std::make_unique<QWidget>();
        Form->setObjectName("FormSmall");
        Form->setWindowTitle("Application Settings");
        Form->resize(400, 300);
        Label = Add<QLabel>(Form.get(), "Label1", "Options");
        Button = Add<QPushButton>(Form.get(), "ButtonOK", "OK");
        Button->setToolTip("Save the settings");
        Check = Add<QCheckBox>(Form.get(), "CheckBoxStartAutomatically", "Start devices automatically");
        Group = Add<QGroupBox>(Form.get(), "GroupBoxAdvanced", "Advanced");
        Radio = Add<QGroupBox>(Form.get(), "RadioGroupNetwork", "Monitoring");
        Add<QRadioButton>(Radio, "r0", "Instructor");
        Add<QRadioButton>(Radio, "r1", "Shooter");
        Add<QRadioButton>(Radio, "r2", "Disabled");
        Combo = Add<QComboBox>(Form.get(), "ComboBoxUnit");
        Combo->addItems({"Standing", "Prone"});
        Frame = Add<QWidget>(Form.get(), "FrameInner");
        FrameLabel = Add<QLabel>(Frame, "Label1", "Distance");
        Label->setGeometry(10, 40, 100, 20);
    }
    std::unique_ptr<QWidget> Form;
    QLabel* Label;
    QPushButton* Button;
    QCheckBox* Check;
    QGroupBox* Group;
    QGroupBox* Radio;
    QComboBox* Combo;
    QWidget* Frame;
    QLabel* FrameLabel;
};

const QStringList German = {"Application Settings=Programmeinstellungen",
                            "Options=Optionen",
                            "OK=Übernehmen",
                            "Save the settings=Einstellungen speichern",
                            "Start devices automatically=Geräte automatisch starten",
                            "Advanced=Erweitert",
                            "Instructor=Ausbilder",
                            "Shooter=Schütze",
                            "Standing=Stehend",
                            "Distance=Entfernung",
                            "Hit=Treffer"};

}  // namespace

TEST_F(TranslateUITest, TablesTranslateTheNamedControls)
{
    TSmallForm f;
    RegisterTranslateTable(TranslateOrderApplicationSettings, f.Form.get(),
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
    RegisterTranslateTable(TranslateOrderFrameRingSettings, f.Frame, {{"Label1", TTranslateKind::Caption}});

    TranslateUI(&German);
    EXPECT_EQ(f.Form->windowTitle(), QStringLiteral("Programmeinstellungen"));
    EXPECT_EQ(f.Label->text(), QStringLiteral("Optionen"));
    EXPECT_EQ(f.Label->pos(), QPoint((400 - 100) / 2, 40));
    EXPECT_EQ(f.Button->text(), QStringLiteral("Übernehmen"));
    EXPECT_EQ(f.Button->toolTip(), QStringLiteral("Einstellungen speichern"));
    EXPECT_EQ(f.Check->text(), QStringLiteral("Geräte automatisch starten"));
    EXPECT_EQ(f.Group->title(), QStringLiteral("Erweitert"));
    const auto radios = f.Radio->findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 3);
    EXPECT_EQ(radios[1]->text(), QStringLiteral("Schütze"));
    EXPECT_EQ(radios[2]->text(), QStringLiteral("Disabled"));
    EXPECT_EQ(f.Radio->title(), QStringLiteral("Monitoring"));  // only the items were listed
    EXPECT_EQ(f.Combo->itemText(0), QStringLiteral("Stehend"));
    EXPECT_EQ(f.Combo->itemText(1), QStringLiteral("Prone"));
    // The frame's Label1 is its own, not the form's.
    EXPECT_EQ(f.FrameLabel->text(), QStringLiteral("Entfernung"));

    // Fixed words first, then the tables by order (the frame's before the form's).
    const QStringList faults = TranslationFaults();
    ASSERT_GE(faults.size(), 3);
    EXPECT_EQ(faults.first(), QStringLiteral("Distribution"));
    EXPECT_FALSE(faults.contains("Hit"));
    EXPECT_EQ(faults.mid(faults.size() - 2), (QStringList {"Disabled", "Prone"}));
    EXPECT_EQ(faults.count("Score"), 1);

    UnregisterTranslateTables(f.Form.get());
    UnregisterTranslateTables(f.Frame);
}

TEST_F(TranslateUITest, WithoutATranslationTextsStayAndNothingIsRecorded)
{
    TSmallForm f;
    RegisterTranslateTable(TranslateOrderApplicationSettings, f.Form.get(),
                           {{"Caption", TTranslateKind::Caption}, {"ButtonOK", TTranslateKind::Hint}});
    TranslateUI();
    EXPECT_EQ(f.Form->windowTitle(), QStringLiteral("Application Settings"));
    EXPECT_EQ(f.Button->toolTip(), QStringLiteral("Save the settings"));
    EXPECT_FALSE(TranslationFaultFlag());

    // A later first language translates the open forms at once.
    SetTranslationList(German);
    TranslateUI();
    EXPECT_EQ(f.Form->windowTitle(), QStringLiteral("Programmeinstellungen"));
    UnregisterTranslateTables(f.Form.get());
}

TEST_F(TranslateUITest, DestroyedAndUnregisteredFormsAreSkipped)
{
    // The dead and the dropped form hold texts the list lacks: reaching them
    // would record them as untranslated (or change the dropped form's label).
    auto dead = std::make_unique<TSmallForm>();
    dead->Label->setText("Dead form text");
    TSmallForm dropped;
    dropped.Label->setText("Untranslated dropped");
    dropped.Button->setText("Options");
    TSmallForm live;
    for (TSmallForm* f : {dead.get(), &dropped, &live})
        RegisterTranslateTable(TranslateOrderStartMenu, f->Form.get(),
                               {{"Label1", TTranslateKind::Caption}, {"ButtonOK", TTranslateKind::Caption}});
    UnregisterTranslateTables(dropped.Form.get());
    dead.reset();
    TranslateUI(&German);
    EXPECT_EQ(live.Label->text(), QStringLiteral("Optionen"));  // the tables after the dead one still run
    EXPECT_EQ(dropped.Button->text(), QStringLiteral("Options"));
    const QStringList faults = TranslationFaults();
    EXPECT_FALSE(faults.contains("Dead form text"));
    EXPECT_FALSE(faults.contains("Untranslated dropped"));
    UnregisterTranslateTables(live.Form.get());

    QStringList items = {"Instructor", "Unknown"};
    TranslateItems(items);
    EXPECT_EQ(items, (QStringList {"Ausbilder", "Unknown"}));

    QLabel orphan("x");
    orphan.move(5, 7);
    CenterInParent(&orphan);  // no parent: stays
    EXPECT_EQ(orphan.pos(), QPoint(5, 7));
}

// The settings dialog against the settings document: what it shows for the
// stored values and what OK writes back, Cancel leaving the document alone,
// the monitor port refused outside 1..65535, a new default setup list, the
// language change (at once for the first language, else after the session
// is offered for saving and the program ends) and advanced mode reaching the
// start menu's settings button.
#include "AppPaths.h"
#include "AppSettings.h"
#include "FormApplicationSettings.h"
#include "FormSelectSetup.h"
#include "FormStartMenu.h"
#include "Setupdata.h"
#include "Shotdata.h"
#include "TestTargets.h"
#include "Translation.h"
#include "UiRig.h"
#include "XmlNames.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QRect>
#include <QSpinBox>
#include <QTest>

namespace {

namespace N = XmlNames;

class ApplicationSettingsTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        SetAdvancedModeOn(false);
    }
    void TearDown() override
    {
        UiRigTest::TearDown();
        SetAdvancedModeOn(false);
        SetDefaultSetupPath(QString());
    }

    // Starts the program on a settings file with these Network attributes,
    // options and QuickGrading attributes, and shows the dialog.
    void Start(const QString& network, const QString& options, const QString& grading = QString())
    {
        ASSERT_TRUE(QDir().mkpath(SetupsFolder()) && QDir().mkpath(ShotFilesFolder()));
        WriteFile(SettingsFileName(), QStringLiteral("<TRAXELAppSettings><Network %1/><Options>%2</Options>"
                                                     "<QuickGrading %3/></TRAXELAppSettings>")
                                          .arg(network, options, grading)
                                          .toUtf8());
        ASSERT_TRUE(StartProgram());
        form = FormApplicationSettings;
        form->show();
    }
    template <class T = QPushButton>
    T* Ctl(const char* name) const
    {
        return Control<T>(form, name);
    }
    // The index of the checked radio button of a group, -1 none.
    int Radio(const char* group) const
    {
        const auto radios = Ctl<QGroupBox>(group)->findChildren<QRadioButton*>();
        for (int i = 0; i < radios.size(); ++i)
            if (radios[i]->isChecked())
                return i;
        return -1;
    }
    void ChooseRadio(const char* group, int index) const
    {
        Click(Ctl<QGroupBox>(group)->findChildren<QRadioButton*>()[index]);
    }
    bool Checked(const char* name) const { return Ctl<QCheckBox>(name)->isChecked(); }
    static QString Attr(const char* group, const char* key)
    {
        return SettingsRoot()->FindNode(QString::fromLatin1(group))->GetAttributeValueDef(QString::fromLatin1(key), "-");
    }
    static QString Opt(const char* key) { return GetOptionString(QString::fromLatin1(key)); }
    QString SavedSettings() const
    {
        QFile file(SettingsFileName());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QString LanguageFile(const QString& name, const QString& lines)
    {
        return WriteFile(ScratchRoot() + QStringLiteral("/Languages/") + name, lines.toUtf8());
    }

    // Where a control lies on the dialog.
    QRect Placed(const QWidget* control) const { return QRect(control->mapTo(form, QPoint()), control->size()); }
    QRect Placed(const char* name) const { return Placed(Ctl<QWidget>(name)); }
    // The control is shown and lies whole inside the dialog.
    void ExpectShownInside(const QWidget* control) const
    {
        EXPECT_TRUE(control->isVisible()) << control->objectName().toStdString();
        EXPECT_TRUE(form->rect().contains(Placed(control)))
            << control->objectName().toStdString() << " at " << Placed(control).y() << " in " << form->height();
    }
    void ExpectShownInside(const char* name) const { ExpectShownInside(Ctl<QWidget>(name)); }
    // The monitoring choice and the buttons are shown inside the dialog,
    // wholly below the control named above.
    void ExpectLowerPartBelow(const char* above) const
    {
        for (const char* name : {"RadioGroupNetwork", "ButtonDefaultSetup", "ButtonLanguage", "BitBtnOk", "BitBtnHome"}) {
            ExpectShownInside(name);
            EXPECT_GT(Placed(name).top(), Placed(above).bottom()) << name << " under " << above;
        }
    }

    TFormApplicationSettings* form = nullptr;
};

TEST_F(ApplicationSettingsTest, ShowsTheStoredValues)
{
    Start(QStringLiteral("Mode=\"Node\" MonitorIP=\"10.1.2.3\" MonitorPort=\"\""),
          QStringLiteral("<ClearShotsAfterDownload>TRUE</ClearShotsAfterDownload>"
                         "<StartAutomatically>false</StartAutomatically><SimplifyUI>true</SimplifyUI>"
                         "<QuickGrading>true</QuickGrading><LimitShotsDrawn>abc</LimitShotsDrawn>"),
          QStringLiteral("SkillLevel=\"Marksman\""));
    // An empty port is completed by the defaults: the dialog shows 14351 either way.
    EXPECT_EQ(Radio("RadioGroupNetwork"), 1);
    EXPECT_EQ(Ctl<QLineEdit>("EditMonitorIP")->text(), QStringLiteral("10.1.2.3"));
    EXPECT_TRUE(Ctl<QLineEdit>("EditMonitorIP")->isEnabled());
    EXPECT_EQ(Ctl<QLineEdit>("EditMonitorPort")->text(), QStringLiteral("14351"));
    EXPECT_TRUE(Ctl<QLabel>("ImageMonitorIP")->isVisible());
    EXPECT_EQ(std::tuple(Checked("CheckBoxClearShotsAfterDownload"), Checked("CheckBoxStartAutomatically"),
                         Checked("CheckBoxSimplityUI"), Checked("CheckBoxQuickGrading")),
              std::tuple(true, false, true, true));
    EXPECT_FALSE(Checked("CheckBoxLimitShots"));
    EXPECT_EQ(Ctl<QSpinBox>("CSpinEditShots")->value(), 10);
    EXPECT_EQ(Radio("RadioGroupSkill"), 1);
    EXPECT_TRUE(Ctl<QLabel>("ImageSkillLevelMarksman")->isVisible());
    EXPECT_FALSE(Ctl<QLabel>("ImageSkillLevelExpert")->isVisible());
    // Not advanced: no position, no data-out option, the plain picture.
    EXPECT_FALSE(Ctl<QGroupBox>("RadioGroupPosition")->isVisible());
    EXPECT_FALSE(Ctl<QCheckBox>("CheckBoxDataoutMode")->isVisible());
    EXPECT_TRUE(Ctl<QLabel>("ImageApplicationSettings")->isVisible());
    // Quick grading: its choices are shown whole inside the dialog, between
    // the options and the monitoring part, and the buttons stay reachable.
    const int withGrading = form->height();
    EXPECT_TRUE(Ctl<QWidget>("PanelQuickGrading")->isVisible());
    for (const char* name : {"RadioGroupSkill", "ImageSkillLevelMarksman", "CheckBoxQuickGrading"})
        ExpectShownInside(name);
    for (QRadioButton* radio : Ctl<QGroupBox>("RadioGroupSkill")->findChildren<QRadioButton*>())
        ExpectShownInside(radio);
    EXPECT_GT(Placed("RadioGroupSkill").top(), Placed("CheckBoxQuickGrading").bottom());
    ExpectLowerPartBelow("RadioGroupSkill");
    SaveScreen(*form, QStringLiteral("ApplicationSettings_QuickGrading"));

    // Without it the grading part goes and the lower part moves up: the
    // dialog shrinks and leaves no empty band where the grading was.
    Click(Ctl<QCheckBox>("CheckBoxQuickGrading"));
    EXPECT_FALSE(Ctl<QWidget>("PanelQuickGrading")->isVisible());
    EXPECT_FALSE(Ctl<QGroupBox>("RadioGroupSkill")->isVisible());
    EXPECT_LT(form->height(), withGrading);
    ExpectLowerPartBelow("CheckBoxQuickGrading");
    EXPECT_LT(Placed("RadioGroupNetwork").top() - Placed("CheckBoxQuickGrading").bottom(), 60);
    SaveScreen(*form, QStringLiteral("ApplicationSettings"));

    ChooseRadio("RadioGroupNetwork", 2);
    EXPECT_FALSE(Ctl<QLineEdit>("EditMonitorIP")->isVisible());
    EXPECT_FALSE(Ctl<QLineEdit>("EditMonitorPort")->isVisible());
}

TEST_F(ApplicationSettingsTest, OkStoresEveryControlCancelNothing)
{
    Start(QStringLiteral("Mode=\"Node\" MonitorIP=\"10.1.2.3\""),
          QStringLiteral("<LimitShotsDrawn>25</LimitShotsDrawn><QuickGrading>true</QuickGrading>"));
    EXPECT_TRUE(Checked("CheckBoxLimitShots"));
    EXPECT_EQ(Ctl<QSpinBox>("CSpinEditShots")->value(), 25);

    // Typed as shooter, then "Instructor" shows this PC's own address, which is never kept.
    const auto edit = [&] {
        Ctl<QLineEdit>("EditMonitorIP")->setText(QStringLiteral("192.168.7.9"));
        ChooseRadio("RadioGroupNetwork", 0);
        Ctl<QLineEdit>("EditMonitorPort")->setText(QStringLiteral("15000"));
        Click(Ctl<QCheckBox>("CheckBoxLimitShots"));
        Click(Ctl<QCheckBox>("CheckBoxStartAutomatically"));
        ChooseRadio("RadioGroupSkill", 0);
    };
    edit();
    EXPECT_FALSE(Ctl<QLineEdit>("EditMonitorIP")->isEnabled());
    EXPECT_TRUE(Ctl<QLabel>("ImageInstructor")->isVisible());

    // Cancel: the document stays, the controls show it again.
    Click(Ctl("BitBtnHome"));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(std::tuple(Attr(N::Network, N::Mode), Attr(N::Network, N::MonitorIP), Opt(N::LimitShotsDrawn)),
              std::tuple(QStringLiteral("Node"), QStringLiteral("10.1.2.3"), QStringLiteral("25")));
    EXPECT_EQ(Ctl<QLineEdit>("EditMonitorIP")->text(), QStringLiteral("10.1.2.3"));

    form->show();
    edit();
    Click(Ctl("BitBtnOk"));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(std::tuple(Attr(N::Network, N::Mode), Attr(N::Network, N::MonitorIP), Attr(N::Network, N::MonitorPort)),
              std::tuple(QStringLiteral("Monitor"), QStringLiteral("192.168.7.9"), QStringLiteral("15000")));
    EXPECT_EQ(std::tuple(Opt(N::LimitShotsDrawn), Opt(N::StartAutomatically), Opt(N::QuickGrading)),
              std::tuple(QStringLiteral("0"), QStringLiteral("true"), QStringLiteral("true")));
    EXPECT_EQ(std::pair(Attr(N::QuickGrading, N::SkillLevel), Attr(N::QuickGrading, N::Position)),
              std::pair(QStringLiteral("Expert"), QStringLiteral("Standing")));
    EXPECT_TRUE(SavedSettings().contains(QStringLiteral("MonitorIP=\"192.168.7.9\"")));
}

TEST_F(ApplicationSettingsTest, MonitorPortOutsideOneTo65535IsRefused)
{
    Start(QStringLiteral("Mode=\"Node\" MonitorPort=\"14351\""), QString());
    for (const char* port : {"0", "65536", "-5", "port", ""}) {
        SCOPED_TRACE(port);
        prompts.shown.clear();
        Ctl<QLineEdit>("EditMonitorPort")->setText(QString::fromLatin1(port));
        Click(Ctl("BitBtnOk"));
        EXPECT_TRUE(form->isVisible());
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Error"));
        EXPECT_EQ(Attr(N::Network, N::MonitorPort), QStringLiteral("14351"));
    }
    for (const char* port : {"1", "65535"}) {
        Ctl<QLineEdit>("EditMonitorPort")->setText(QString::fromLatin1(port));
        Click(Ctl("BitBtnOk"));
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(Attr(N::Network, N::MonitorPort), QString::fromLatin1(port));
        form->show();
    }
}

TEST_F(ApplicationSettingsTest, DefaultsReloadsTheSetupListFromTheChosenFile)
{
    Start(QStringLiteral("Mode=\"Disable\""), QString());
    const int before = FormSelectSetup->Setups().Count();
    ASSERT_GT(before, 0);
    TSetupHandler one;
    one.Add(*FormSelectSetup->Setups().Get(0));
    const QString chosen = SetupsFolder() + QStringLiteral("/one.setup.xml");
    one.SaveToFile(chosen);

    prompts.fileAnswers = {QString()};
    Click(Ctl("ButtonDefaultSetup"));
    EXPECT_EQ(FormSelectSetup->Setups().Count(), before);
    EXPECT_TRUE(prompts.shown.empty());

    prompts.fileAnswers = {chosen};
    Click(Ctl("ButtonDefaultSetup"));
    ASSERT_EQ(prompts.fileRequests.size(), 2u);
    EXPECT_EQ(prompts.fileRequests[0].fileName, QStringLiteral("default.setup.xml"));
    EXPECT_EQ(FormSelectSetup->Setups().Count(), 1);
    EXPECT_EQ(DefaultSetupPath(), chosen);
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Default setup file set")});
    Click(Ctl("BitBtnOk"));
    EXPECT_EQ(Opt(N::DefaultSetupFile), chosen);
}

TEST_F(ApplicationSettingsTest, FirstLanguageIsAppliedAtOnce)
{
    Start(QStringLiteral("Mode=\"Disable\""), QString());
    prompts.fileAnswers = {ScratchRoot() + QStringLiteral("/Languages/missing.lang.txt")};
    Click(Ctl("ButtonLanguage"));
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Error copying language file!")});
    EXPECT_EQ(prompts.fileRequests[0].folder, LanguagesFolder());

    prompts.shown.clear();
    prompts.fileAnswers = {LanguageFile(QStringLiteral("de.lang.txt"),
                                        QStringLiteral("Options=Optionen\nInstructor=Ausbilder\n"))};
    Click(Ctl("ButtonLanguage"));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(Ctl<QLabel>("LabelOptions")->text(), QStringLiteral("Optionen"));
    EXPECT_EQ(Ctl<QGroupBox>("RadioGroupNetwork")->findChildren<QRadioButton*>()[0]->text(),
              QStringLiteral("Ausbilder"));
    SaveScreen(*form, QStringLiteral("ApplicationSettings_Translated"));
}

// Applied while the dialog is open, a language with longer texts lays it out
// again as reopening it would: no option is cut.
TEST_F(ApplicationSettingsTest, AppliedLanguageLaysTheOpenDialogOutAgain)
{
    Start(QStringLiteral("Mode=\"Disable\""), QString());
    prompts.fileAnswers = {LanguagesFolder() + QStringLiteral("/Deutsch.lang.txt")};
    Click(Ctl("ButtonLanguage"));
    ASSERT_EQ(Ctl<QCheckBox>("CheckBoxLimitShots")->text(), QStringLiteral("Serienwertung nach"));
    const auto cut = [this] {
        QWidget* panel = Ctl<QWidget>("PanelOptions");
        panel->layout()->activate();
        QStringList cut;
        for (QWidget* option : panel->findChildren<QWidget*>())
            if (option->isVisibleTo(form) && !option->objectName().startsWith(QLatin1String("qt_"))
                && option->width() < option->sizeHint().width())
                cut << option->objectName();
        return cut;
    };
    EXPECT_EQ(cut(), QStringList()) << "width " << form->width();
    const QSize applied = form->size();
    form->hide();
    form->show();
    EXPECT_EQ(form->size(), applied);
    EXPECT_EQ(cut(), QStringList());
}

// Another language later: the program ends, after "Save session?" when shots are unsaved.
TEST_F(ApplicationSettingsTest, LaterLanguageEndsTheProgramAfterTheSessionIsClosed)
{
    WriteFile(DataPath() + QStringLiteral("/Tavrik/TRAXEL/Translations.lang.txt"), "Options=Optionen\n");
    Start(QStringLiteral("Mode=\"Disable\""), QString());
    const QString french = LanguageFile(QStringLiteral("fr.lang.txt"), QStringLiteral("Options=Choix\n"));
    AddShooterWithShots(*CurrentSession, QStringLiteral("Anna"), 1, NamedRing(QStringLiteral("T10")), 2);
    SessionUnsaved = true;

    const QString restart =
        QStringLiteral("Selected language file is in use after restart. Application will shut down now.");
    const QString save = QStringLiteral("Save session?");
    struct Road {
        TMsgResult answer;
        int exitCode;
        int shooters;
    };
    for (const Road& road : {Road {TMsgResult::Cancel, StillRunning, 1}, Road {TMsgResult::No, 0, 0}}) {
        prompts.shown.clear();
        prompts.queued = {TMsgResult::OK, road.answer};
        prompts.fileAnswers = {french};
        EXPECT_EQ(ExitCodeOf([&] { Click(Ctl("ButtonLanguage")); }), road.exitCode);
        EXPECT_EQ(prompts.Texts(), (QStringList {restart, save}));
        EXPECT_EQ(CurrentSession->ShooterCount(), road.shooters);
        // Kept open, the program stays in the dialog; ending, it closes it.
        EXPECT_EQ(form->isVisible(), road.exitCode == StillRunning);
    }
    // Nothing unsaved: the program ends without a question. The dialog
    // closed with the last road, so it is opened again first.
    prompts.shown.clear();
    prompts.fileAnswers = {french};
    form->show();
    ASSERT_TRUE(WaitFor([&] { return Ctl("ButtonLanguage")->isVisible() && Ctl("ButtonLanguage")->isEnabled(); }));
    EXPECT_EQ(ExitCodeOf([&] { Click(Ctl("ButtonLanguage")); }), 0);
    EXPECT_EQ(prompts.Texts(), QStringList {restart});
    // Until the restart the program speaks the language it started with.
    EXPECT_EQ(Ctl<QLabel>("LabelOptions")->text(), QStringLiteral("Optionen"));
}

// The program's own English is offered beside the other languages and, once
// the program starts again, shows every text as written, recording nothing.
TEST_F(ApplicationSettingsTest, EnglishIsOfferedAndTakesTheProgramBackFromAnotherLanguage)
{
    const QString installed = DataPath() + QStringLiteral("/Tavrik/TRAXEL/Translations.lang.txt");
    WriteFile(installed, "Options=Optionen\n");
    Start(QStringLiteral("Mode=\"Disable\""), QString());
    const QStringList offered = QDir(LanguagesFolder()).entryList({QStringLiteral("*.lang.txt")}, QDir::Files);
    ASSERT_TRUE(offered.contains(QStringLiteral("English.lang.txt"))) << offered.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(offered.contains(QStringLiteral("Deutsch.lang.txt")));

    prompts.queued = {TMsgResult::OK};
    prompts.fileAnswers = {LanguagesFolder() + QStringLiteral("/English.lang.txt")};
    EXPECT_EQ(ExitCodeOf([&] { Click(Ctl("ButtonLanguage")); }), 0);
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral(
                                   "Selected language file is in use after restart. Application will shut down now.")});

    // The next start loads the installed file.
    StopProgram();
    ResetTranslation();
    ASSERT_TRUE(LoadTranslationList(installed));
    EXPECT_EQ(Translate(QStringLiteral("Options")), QStringLiteral("Options"));
    EXPECT_EQ(Translate(QStringLiteral("Gerät")), QStringLiteral("Gerät"));
    EXPECT_TRUE(TranslationFaults().isEmpty());
    EXPECT_FALSE(SaveTranslationFaults());
}

TEST_F(ApplicationSettingsTest, AdvancedModeShowsMoreAndReachesTheStartMenu)
{
    Start(QStringLiteral("Mode=\"Disable\""), QStringLiteral("<DataoutMode>false</DataoutMode>"),
          QStringLiteral("SkillLevel=\"Expert\""));
    auto* settings = Control(FormStartMenu, "ButtonAppSettings");
    const QImage advancedIcon = Control<QLabel>(FormStartMenu, "ImageAdvancedSettings")->pixmap().toImage();
    EXPECT_NE(settings->icon().pixmap(32, 32).toImage(), advancedIcon);
    // A file without a position (the defaults give one, so it is taken away).
    SettingsRoot()->FindNode(QString::fromLatin1(N::QuickGrading))->SetAttributeValue(QString::fromLatin1(N::Position), QString());

    QTest::mouseDClick(Ctl<QLabel>("ImageApplicationSettings"), Qt::LeftButton);
    EXPECT_TRUE(IsAdvancedMode());
    EXPECT_EQ(prompts.beeps, 1);
    EXPECT_EQ(settings->icon().pixmap(32, 32).toImage(), advancedIcon);
    EXPECT_TRUE(Ctl<QLabel>("ImageAdvancedSettings")->isVisible());
    EXPECT_FALSE(Ctl<QLabel>("ImageApplicationSettings")->isVisible());
    EXPECT_TRUE(Checked("CheckBoxQuickGrading"));
    EXPECT_TRUE(Ctl<QGroupBox>("RadioGroupPosition")->isVisible());
    EXPECT_EQ(Radio("RadioGroupPosition"), 2);  // no position stored: "Prone"
    EXPECT_TRUE(Ctl<QLabel>("ImagePositionProne")->isVisible());
    EXPECT_TRUE(Ctl<QCheckBox>("CheckBoxDataoutMode")->isVisible());
    SaveScreen(*form, QStringLiteral("ApplicationSettings_Advanced"));

    // Data out: this PC sends as a shooter and the role cannot be changed.
    Click(Ctl<QCheckBox>("CheckBoxDataoutMode"));
    EXPECT_EQ(Radio("RadioGroupNetwork"), 1);
    EXPECT_FALSE(Ctl<QGroupBox>("RadioGroupNetwork")->isEnabled());
    Click(Ctl<QCheckBox>("CheckBoxDataoutMode"));
    EXPECT_EQ(Radio("RadioGroupNetwork"), 2);
    EXPECT_TRUE(Ctl<QGroupBox>("RadioGroupNetwork")->isEnabled());
    ChooseRadio("RadioGroupPosition", 1);
    Click(Ctl("BitBtnOk"));
    EXPECT_EQ(Attr(N::QuickGrading, N::Position), QStringLiteral("Kneeling"));
}

}  // namespace

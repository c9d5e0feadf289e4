#include "AppStartup.h"

#include "AppPaths.h"
#include "AppSettings.h"
#include "DeviceManager.h"
#include "FormApplicationSettings.h"
#include "FormEditSetup.h"
#include "FormNameListEditor.h"
#include "FormOpenSession.h"
#include "FormPrepareDownload.h"
#include "FormPrintSetup.h"
#include "FormSearchShooterName.h"
#include "FormSelectSetup.h"
#include "FormShooter.h"
#include "FormShooterList.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "FormStartupSplash.h"
#include "GradingPanel.h"
#include "Globals.h"
#include "NetworkLink.h"
#include "Prompts.h"
#include "Shotdata.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiBitmaps.h"
#include "UiGlobals.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool StartedUp = false;

void Inform(const QString& text, const QString& caption)
{
    Prompts().MessageBox(text, caption, TMsgButtons::OK);
}

void CreateDataFolders()
{
    if (!QFileInfo::exists(ShotFilesFolder())) {
        Inform(QStringLiteral("User profile lacks some necessary storage folders. These folders are created."),
               QStringLiteral("Information"));
        QDir().mkpath(ShotFilesFolder());
    }
    // The setups folder on its own: without it the default list cannot be copied.
    if (!QFileInfo::exists(SetupsFolder()))
        QDir().mkpath(SetupsFolder());
}

void CopyDefaultSetup()
{
    const QString target = StandardDefaultSetupPath();
    if (QFileInfo::exists(target))
        return;
    QFile source(ShippedDefaultSetupPath());
    if (!source.copy(target))
        DebugLog(QStringLiteral("Default setup not copied to %1: %2").arg(target, source.errorString()));
}

QWidget* MakeOr(const std::function<QWidget*()>& make, const char* name)
{
    if (make)
        return make();
    auto* plain = new QWidget;
    plain->setObjectName(QString::fromLatin1(name));
    return plain;
}

template <class T>
void DeleteForm(T*& form)
{
    delete form;
    form = nullptr;
}

}  // namespace

bool ApplicationStartup()
{
    TDeviceManager::Instance();
    ShooterViewers.clear();
    ActiveViewer = nullptr;
    if (!CurrentSession)
        CurrentSession = new TSession;
    LoadUIBitmaps();
    LoadShotStringBitmaps();
    StartedUp = true;

    if (!InitAppPaths()) {
        Inform(QStringLiteral("Error determining application data folder"), QStringLiteral("Error"));
        return false;
    }
    CreateDataFolders();

    const QString translationFile = DataFolder() + TranslationFileName();
    if (QFileInfo::exists(translationFile))
        LoadTranslationList(translationFile);
    Translate(QStringLiteral("Information"));
    Translate(QStringLiteral("Error loading application settings. Defaults used."));
    LoadApplicationSettings();

    CopyDefaultSetup();
    const QString chosenDefault = GetOptionString(QStringLiteral("DefaultSetupFile"));
    if (!chosenDefault.isEmpty() && QFileInfo::exists(chosenDefault))
        SetDefaultSetupPath(chosenDefault);

    const QString faultsFile = DataFolder() + TranslationFaultsFileName();
    if (QFileInfo::exists(faultsFile))
        LoadTranslationFaults(faultsFile);
    LoadStatusBitmaps();
    return true;
}

void CreateForms(const TNetworkFormMakers& network)
{
    FormStartupSplash = new TFormStartupSplash;
    FormEditSetup = new TFormEditSetup;
    FormPrepareDownload = new TFormPrepareDownload;
    FormSelectSetup = new TFormSelectSetup;
    FormShooterList = new TFormShooterList;
    FormShooterPanel = new TFormShooterPanel;
    FormOpenSession = new TFormOpenSession;
    FormStartMenu = new TFormStartMenu;
    FormNameListEditor = new TFormNameListEditor;
    FormNetworkControl = MakeOr(network.networkControl, "FormNetworkControl");
    if (auto* link = dynamic_cast<INetworkLink*>(FormNetworkControl))
        SetNetworkLink(link);
    FormApplicationSettings = new TFormApplicationSettings;
    FormSendMessage = MakeOr(network.sendMessage, "FormSendMessage");
    FormSearchShooterName = new TFormSearchShooterName;
    FormPrintSetup = new TFormPrintSetup;
    TranslateUI();
}

void DestroyForms()
{
    // Viewers first: they are the devices' listeners and use the forms.
    for (auto it = ShooterViewers.rbegin(); it != ShooterViewers.rend(); ++it)
        delete *it;
    ShooterViewers.clear();
    ActiveViewer = nullptr;

    DeleteForm(FormPrintSetup);
    DeleteForm(FormSearchShooterName);
    DeleteForm(FormSendMessage);
    DeleteForm(FormApplicationSettings);
    SetNetworkLink(nullptr);
    DeleteForm(FormNetworkControl);
    DeleteForm(FormNameListEditor);
    DeleteForm(FormStartMenu);
    DeleteForm(FormOpenSession);
    DeleteForm(FormShooterPanel);
    DeleteForm(FormShooterList);
    DeleteForm(FormSelectSetup);
    DeleteForm(FormPrepareDownload);
    DeleteForm(FormEditSetup);
    DeleteForm(FormStartupSplash);
}

void ApplicationShutdown()
{
    if (!StartedUp)
        return;
    StartedUp = false;
    delete DeviceManagerInstance;
    DeviceManagerInstance = nullptr;
    delete CurrentSession;
    CurrentSession = nullptr;
    FreeGradingBitmaps();
    FreeShotStringBitmaps();
    FreeUIBitmaps();
    if (TranslationFaultFlag())
        SaveTranslationFaults();
    FreeStatusBitmaps();
    SetSettingsRoot(nullptr);
}

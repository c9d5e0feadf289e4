#include "AppStartup.h"

#include "AppPaths.h"
#include "AccessibleHints.h"
#include "AppSettings.h"
#include "DeviceEvents.h"
#include "DeviceManager.h"
#include "DiagnosticsLog.h"
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
#include "GradingReports.h"
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

#include <cstdio>
#include <exception>

namespace {

void Inform(const QString& text, const QString& caption)
{
    Prompts().MessageBox(text, caption, TMsgButtons::OK);
}

void MakeFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        DebugLog(QStringLiteral("Cannot create folder %1").arg(path));
}

void CreateDataFolders()
{
    if (!QFileInfo::exists(ShotFilesFolder())) {
        Inform(QStringLiteral("User profile lacks some necessary storage folders. These folders are created."),
               QStringLiteral("Information"));
        MakeFolder(ShotFilesFolder());
    }
    // The setups folder on its own: without it the default list cannot be copied.
    if (!QFileInfo::exists(SetupsFolder()))
        MakeFolder(SetupsFolder());
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
    // First, so that the lines of start-up reach the diagnostics view.
    if (!DiagnosticsLog())
        SetDiagnosticsLog(new TDiagnosticsLog);
    TDeviceManager::Instance();
    ShooterViewers.clear();
    ActiveViewer = nullptr;
    if (!CurrentSession)
        CurrentSession = new TSession;
    LoadUIBitmaps();
    LoadShotStringBitmaps();

    if (!InitAppPaths()) {
        Inform(QStringLiteral("Error determining application data folder"), QStringLiteral("Error"));
        return false;
    }
    CreateDataFolders();

    const QString translationFile = TranslationFileName();
    if (QFileInfo::exists(translationFile))
        LoadTranslationList(translationFile);
    Translate(QStringLiteral("Information"));
    Translate(QStringLiteral("Error loading application settings. Defaults used."));
    LoadApplicationSettings();

    CopyDefaultSetup();
    const QString chosenDefault = GetOptionString(QStringLiteral("DefaultSetupFile"));
    if (!chosenDefault.isEmpty() && QFileInfo::exists(chosenDefault))
        SetDefaultSetupPath(chosenDefault);

    const QString faultsFile = TranslationFaultsFileName();
    if (QFileInfo::exists(faultsFile))
        LoadTranslationFaults(faultsFile);
    LoadStatusBitmaps();
    return true;
}

void CreateForms(const TNetworkFormMakers& network)
{
    // Every renderer loads the grading file; the setup list's preview makes
    // the first one below.
    InstallGradingReports();
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
    InstallDeviceEvents();
    for (QWidget* form : {static_cast<QWidget*>(FormStartupSplash), static_cast<QWidget*>(FormEditSetup),
                          static_cast<QWidget*>(FormPrepareDownload), static_cast<QWidget*>(FormSelectSetup),
                          static_cast<QWidget*>(FormShooterList), static_cast<QWidget*>(FormShooterPanel),
                          static_cast<QWidget*>(FormOpenSession), static_cast<QWidget*>(FormStartMenu),
                          static_cast<QWidget*>(FormNameListEditor), static_cast<QWidget*>(FormApplicationSettings),
                          static_cast<QWidget*>(FormSearchShooterName), static_cast<QWidget*>(FormPrintSetup)})
        DescribeControls(form);
    TranslateUI();
}

void DestroyForms()
{
    // No port change or scan hook may reach a form from here on.
    RemoveDeviceEvents();
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
    RemoveGradingReports();
}

void ApplicationShutdown()
{
    // The diagnostics view is gone: what is logged from here on goes to
    // standard error.
    delete DiagnosticsLog();
    SetDiagnosticsLog(nullptr);

    if (!DeviceManagerInstance) {
        // Reported, and the rest of the tear-down still runs.
        std::fprintf(stderr, "TRAXEL: Multiple app destroy\n");
    } else {
        delete DeviceManagerInstance;
        DeviceManagerInstance = nullptr;
    }
    delete CurrentSession;
    CurrentSession = nullptr;
    // Normally gone with the forms already.
    for (auto it = ShooterViewers.rbegin(); it != ShooterViewers.rend(); ++it)
        delete *it;
    ShooterViewers.clear();
    ActiveViewer = nullptr;
    FreeGradingBitmaps();
    FreeShotStringBitmaps();
    FreeUIBitmaps();
    try {
        if (TranslationFaultFlag())
            SaveTranslationFaults();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TRAXEL: %s\n", e.what());
    }
    FreeStatusBitmaps();
    SetSettingsRoot(nullptr);
}

#include "UiGlobals.h"

#include "AppSettings.h"
#include "Prompts.h"
#include "Translation.h"
#include "XmlNames.h"

#include <QDateTime>
#include <QLocale>

int SessionMode = SessionNone;
std::vector<TFormShooter*> ShooterViewers;
TFormShooter* ActiveViewer = nullptr;

TFormStartupSplash* FormStartupSplash = nullptr;
TFormEditSetup* FormEditSetup = nullptr;
TFormPrepareDownload* FormPrepareDownload = nullptr;
TFormSelectSetup* FormSelectSetup = nullptr;
TFormShooterList* FormShooterList = nullptr;
TFormShooterPanel* FormShooterPanel = nullptr;
TFormOpenSession* FormOpenSession = nullptr;
TFormStartMenu* FormStartMenu = nullptr;
TFormNameListEditor* FormNameListEditor = nullptr;
QWidget* FormNetworkControl = nullptr;
TFormApplicationSettings* FormApplicationSettings = nullptr;
QWidget* FormSendMessage = nullptr;
TFormSearchShooterName* FormSearchShooterName = nullptr;
TFormPrintSetup* FormPrintSetup = nullptr;

TUiTimings& UiTimings()
{
    static TUiTimings timings;
    return timings;
}

int MonitorPortSetting()
{
    constexpr int DefaultPort = 14351;
    MiniXMLParser::TXMLNode* root = SettingsRoot();
    if (!root)
        return DefaultPort;
    MiniXMLParser::TXMLNode* network = root->FindNode(QString::fromLatin1(XmlNames::Network));
    if (!network)
        return DefaultPort;
    bool ok = false;
    const int port = network->GetAttributeValueDef(QString::fromLatin1(XmlNames::MonitorPort), QString()).trimmed().toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : DefaultPort;
}

QString SessionDateText()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale = QLocale::system();
    return locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ')
        + locale.toString(now.time(), QLocale::ShortFormat);
}

void ShowErrorBox(const QString& text)
{
    Prompts().MessageBox(Translate(text), Translate(QStringLiteral("Error")), TMsgButtons::OK);
}

#include "AppSettings.h"

#include "AppPaths.h"
#include "Globals.h"
#include "Prompts.h"
#include "Translation.h"
#include "XmlNames.h"

#include <QFile>

#include <atomic>
#include <new>

using MiniXMLParser::TMiniXMLParser;
using MiniXMLParser::TXMLNode;

namespace {

const char* const MsgLoadFailed = "Error loading application settings. Defaults used.";
const char* const CaptionInformation = "Information";
const char* const DefaultMonitorIP = "?";
const char* const DefaultMonitorPort = "14351";
const char* const OldCopySuffix = ".old";

std::unique_ptr<TXMLNode>& RootHolder()
{
    static std::unique_ptr<TXMLNode> root;
    return root;
}

std::atomic<bool> AdvancedMode {false};

std::unique_ptr<TXMLNode> NewSettingsRoot()
{
    auto root = std::make_unique<TXMLNode>();
    root->SetName(QLatin1String(XmlNames::AppSettings));
    root->SetAttributeValue(QLatin1String(XmlNames::CreatedBy), QLatin1String(XmlNames::CreatedByValue));
    return root;
}

TXMLNode* EnsureRoot()
{
    std::unique_ptr<TXMLNode>& root = RootHolder();
    if (!root)
        root = NewSettingsRoot();
    return root.get();
}

TXMLNode* FindOrAdd(TXMLNode* parent, const char* name)
{
    const QString n = QLatin1String(name);
    if (TXMLNode* node = parent->FindNode(n))
        return node;
    return parent->AddNode(n);
}

void AttributeDefault(TXMLNode* node, const char* key, const QString& value)
{
    const QString k = QLatin1String(key);
    if (node->GetAttributeValueDef(k, QString()).isEmpty())
        node->SetAttributeValue(k, value);
}

TXMLNode* OptionsNode()
{
    TXMLNode* root = SettingsRoot();
    return root ? root->FindNode(QLatin1String(XmlNames::Options)) : nullptr;
}

// Keeps the operator's faulty file beside the one that will replace it.
void CopyToOld(const QString& fileName)
{
    QFile source(fileName);
    if (!source.open(QIODevice::ReadOnly)) {
        DebugLog(QStringLiteral("Settings file not copied: ") + source.errorString());
        return;
    }
    try {
        const QByteArray bytes = source.readAll();
        if (source.error() != QFileDevice::NoError) {
            DebugLog(QStringLiteral("Settings file not copied: ") + source.errorString());
            return;
        }
        WriteFileAtomically(fileName + QLatin1String(OldCopySuffix), bytes);
    } catch (const Exception& e) {
        DebugLog(QStringLiteral("Settings file not copied: ") + e.Message());
    } catch (const std::bad_alloc&) {
        DebugLog(QStringLiteral("Settings file not copied: not enough memory"));
    }
}

// The parsed root, or nullptr (with the reason logged) when the file cannot
// be read, does not parse, or holds some other document: adopting a foreign
// root would make every later accessor and save work on the wrong tree.
std::unique_ptr<TXMLNode> ReadSettingsFile(const QString& fileName)
{
    try {
        TMiniXMLParser parser;
        if (!parser.LoadFromFile(fileName)) {
            DebugLog(QStringLiteral("Settings file: ") + MiniXMLParser::LastParseErrorText());
            return nullptr;
        }
        if (parser.Root()->Name() != QLatin1String(XmlNames::AppSettings)) {
            DebugLog(QStringLiteral("Settings file: unexpected root element \"%1\"").arg(parser.Root()->Name()));
            return nullptr;
        }
        return parser.ReleaseRoot();
    } catch (const Exception& e) {
        DebugLog(e.Message());
    } catch (const std::bad_alloc&) {
        DebugLog(QStringLiteral("Settings file: not enough memory"));
    }
    return nullptr;
}

}  // namespace

TXMLNode* SettingsRoot() { return RootHolder().get(); }

void SetSettingsRoot(std::unique_ptr<TXMLNode> root) { RootHolder() = std::move(root); }

void LoadApplicationSettings()
{
    const QString fileName = SettingsFileName();
    std::unique_ptr<TXMLNode> root;
    if (!fileName.isEmpty() && QFile::exists(fileName)) {
        root = ReadSettingsFile(fileName);
        if (!root) {
            Prompts().MessageBox(Translate(QLatin1String(MsgLoadFailed)), Translate(QLatin1String(CaptionInformation)),
                                 TMsgButtons::OK);
            CopyToOld(fileName);
        }
    }
    if (!root)
        root = NewSettingsRoot();
    SetSettingsRoot(std::move(root));
    SetDefaultSettings();
}

void SetDefaultSettings()
{
    namespace N = XmlNames;
    TXMLNode* root = EnsureRoot();
    root->SetAttributeValue(QLatin1String(N::CreatedBy), QLatin1String(N::CreatedByValue));

    TXMLNode* network = FindOrAdd(root, N::Network);
    AttributeDefault(network, N::Mode, QLatin1String(N::ModeDisable));
    AttributeDefault(network, N::MonitorIP, QLatin1String(DefaultMonitorIP));
    AttributeDefault(network, N::MonitorPort, QLatin1String(DefaultMonitorPort));

    TXMLNode* options = FindOrAdd(root, N::Options);
    const auto option = [options](const char* name, const QString& value) {
        options->SetNodeTextDefault(QLatin1String(name), value);
    };
    const QString yes = QStringLiteral("true");
    const QString no = QStringLiteral("false");
    option(N::ClearShotsAfterDownload, yes);
    option(N::AlwaysShowSaveDialogs, yes);
    option(N::StartAutomatically, no);
    option(N::SimplifyUI, no);
    option(N::QuickGrading, no);
    option(N::DefaultSetupFile, StandardDefaultSetupPath());
    option(N::LimitShotsDrawn, QStringLiteral("0"));
    option(N::DataoutMode, no);
    option(N::BluetoothPorts, QStringLiteral("2"));
    option(N::AutoZoom, yes);
    option(N::TeamNameListFile, QStringLiteral(" "));
    option(N::AdvancedSettings, no);
    option(N::GunMounting, QLatin1String(N::GunMountingTop));

    TXMLNode* grading = FindOrAdd(root, N::QuickGrading);
    AttributeDefault(grading, N::Position, QLatin1String(N::PositionStanding));
    AttributeDefault(grading, N::SkillLevel, QLatin1String(N::SkillUnqualified));
}

bool GetOptionBool(const QString& key) { return GetOptionString(key).toLower() == QLatin1String("true"); }

QString GetOptionString(const QString& key)
{
    const TXMLNode* options = OptionsNode();
    return options ? options->GetNodeText(key) : QString();
}

void SetOptionString(const QString& key, const QString& value)
{
    FindOrAdd(EnsureRoot(), XmlNames::Options)->SetNodeText(key, value);
}

bool GetAlwaysShowSaveDialogs() { return GetOptionBool(QLatin1String(XmlNames::AlwaysShowSaveDialogs)); }

QString GetNetworkMode()
{
    const TXMLNode* root = SettingsRoot();
    const TXMLNode* network = root ? root->FindNode(QLatin1String(XmlNames::Network)) : nullptr;
    const QString mode = network ? network->GetAttributeValueDef(QLatin1String(XmlNames::Mode), QString()) : QString();
    return mode.isEmpty() ? QString::fromLatin1(XmlNames::ModeDisable) : mode;
}

bool AdvancedModeOn() { return AdvancedMode.load(); }

void SetAdvancedModeOn(bool on) { AdvancedMode.store(on); }

bool IsAdvancedMode() { return AdvancedModeOn() || GetOptionBool(QLatin1String(XmlNames::AdvancedSettings)); }

bool SaveApplicationSettings()
{
    TXMLNode* root = EnsureRoot();
    QStringList lines;
    lines.append(QString::fromLatin1(MiniXMLParser::XmlHeaderLine));
    MiniXMLParser::BuildXMLToList(root, lines, QString(), QStringLiteral(" "));

    const QString fileName = SettingsFileName();
    QFile current(fileName);
    if (current.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = current.readAll();
        if (current.error() == QFileDevice::NoError) {
            const QString oldText = DecodeTextBytes(bytes).trimmed();
            const QString newText = lines.join(QLatin1String("\r\n")).trimmed();
            if (oldText == newText)
                return false;
        }
    }

    TMiniXMLParser writer;
    writer.SetFileName(fileName);
    writer.Lines() = lines;
    writer.SaveToFile();
    return true;
}

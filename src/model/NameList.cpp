#include "NameList.h"

#include "Globals.h"
#include "MiniXMLParser.h"
#include "Translation.h"
#include "XmlNames.h"

#include <QLocale>

#include <new>

using MiniXMLParser::TMiniXMLParser;
using MiniXMLParser::TXMLNode;

namespace {

const char* const MsgBadNameIndex = "Bad name index";
const char* const MsgBadTeamIndex = "Bad team index";

// The file's teams, in a list of their own so that a fault leaves the
// current list whole. Only a name-list document counts: any other (a session
// file chosen by mistake) would read as an empty list and replace the
// operator's names on the next save.
bool ReadNameListFile(const QString& path, std::vector<std::unique_ptr<TTeam>>& teams)
{
    TMiniXMLParser parser;
    if (!parser.LoadFromFile(path)) {
        DebugLog(QStringLiteral("Name list %1: %2").arg(path, MiniXMLParser::LastParseErrorText()));
        return false;
    }
    const TXMLNode* root = parser.Root();
    if (root->Name() != QLatin1String(XmlNames::NameListFile)) {
        DebugLog(QStringLiteral("Name list %1: not a name list (root element \"%2\")").arg(path, root->Name()));
        return false;
    }
    const QString teamTag = QLatin1String(XmlNames::Team);
    const QString shooterTag = QLatin1String(XmlNames::Shooter);
    const QString nameKey = QLatin1String(XmlNames::Name);
    for (int i = 0; i < root->GetNodeCount(); ++i) {
        const TXMLNode* teamNode = root->GetNode(i);
        if (teamNode->Name() != teamTag)
            continue;
        // An empty name is written without its attribute.
        auto team = std::make_unique<TTeam>(teamNode->GetAttributeValueDef(nameKey, QString()));
        for (int k = 0; k < teamNode->GetNodeCount(); ++k) {
            const TXMLNode* shooterNode = teamNode->GetNode(k);
            if (shooterNode->Name() == shooterTag)
                team->AddName(shooterNode->GetAttributeValueDef(nameKey, QString()));
        }
        teams.push_back(std::move(team));
    }
    return true;
}

}  // namespace

// ---- TTeam ------------------------------------------------------------------------

TTeam::~TTeam() { Clear(); }

TShooterName* TTeam::GetName(int index) const
{
    if (index < 0 || index >= NameCount())
        throw Exception(MsgBadNameIndex);
    return FNames[size_t(index)].get();
}

TShooterName* TTeam::AddName(const QString& name)
{
    FNames.push_back(std::make_unique<TShooterName>(name));
    return FNames.back().get();
}

void TTeam::DeleteName(int index)
{
    if (index < 0 || index >= NameCount())
        throw Exception(MsgBadNameIndex);
    FNames.erase(FNames.begin() + index);
}

void TTeam::Clear()
{
    while (!FNames.empty())
        FNames.pop_back();
}

// ---- TShooterNameFileHandler -----------------------------------------------------------

TShooterNameFileHandler::TShooterNameFileHandler()
{
    TTeam* team = AddTeam(FormatNamePattern(Translate(QLatin1String(XmlNames::TeamNameFormat)), 1));
    team->AddName(FormatNamePattern(Translate(QLatin1String(XmlNames::ShooterNameFormat)), 1));
}

TShooterNameFileHandler::~TShooterNameFileHandler() { ClearTeams(); }

void TShooterNameFileHandler::ClearTeams()
{
    while (!FTeams.empty())
        FTeams.pop_back();
}

TTeam* TShooterNameFileHandler::GetTeam(int index) const
{
    if (index < 0 || index >= TeamCount())
        throw Exception(MsgBadTeamIndex);
    return FTeams[size_t(index)].get();
}

TTeam* TShooterNameFileHandler::AddTeam(const QString& name)
{
    FTeams.push_back(std::make_unique<TTeam>(name));
    return FTeams.back().get();
}

void TShooterNameFileHandler::DeleteTeam(int index)
{
    if (index < 0 || index >= TeamCount())
        throw Exception(MsgBadTeamIndex);
    FTeams.erase(FTeams.begin() + index);
}

TTeam* TShooterNameFileHandler::FindTeam(const QString& name) const
{
    const QLocale locale;
    const QString wanted = locale.toUpper(name);
    for (const auto& team : FTeams)
        if (locale.toUpper(team->Name()) == wanted)
            return team.get();
    return nullptr;
}

TTeam* TShooterNameFileHandler::GetAllNames() const
{
    // Copies, never the team's own records: the names stay valid for the
    // search dialog even when the editor deletes a team meanwhile.
    TTeam& all = AllNamesTeam();
    all.Clear();
    for (const auto& team : FTeams)
        for (int i = 0; i < team->NameCount(); ++i)
            all.AddName(team->GetName(i)->Name)->SecondText = team->GetName(i)->SecondText;
    return &all;
}

bool TShooterNameFileHandler::LoadFromFile(const QString& path)
{
    try {
        std::vector<std::unique_ptr<TTeam>> teams;
        if (!ReadNameListFile(path, teams))
            return false;
        ClearTeams();
        FTeams = std::move(teams);
        return true;
    } catch (const Exception& e) {
        DebugLog(QStringLiteral("Name list %1: %2").arg(path, e.Message()));
    } catch (const std::bad_alloc&) {
        DebugLog(QStringLiteral("Name list %1: not enough memory").arg(path));
    }
    return false;
}

void TShooterNameFileHandler::SaveToFile(const QString& path) const
{
    TMiniXMLParser parser;
    parser.NewDocument(path);
    TXMLNode* root = parser.Root();
    root->SetName(QLatin1String(XmlNames::NameListFile));
    root->SetAttributeValue(QLatin1String(XmlNames::CreatedBy), QLatin1String(XmlNames::CreatedByValue));
    const QString nameKey = QLatin1String(XmlNames::Name);
    for (const auto& team : FTeams) {
        TXMLNode* teamNode = root->AddNode(QLatin1String(XmlNames::Team));
        teamNode->SetAttributeValue(nameKey, team->Name());
        for (int i = 0; i < team->NameCount(); ++i)
            teamNode->AddNode(QLatin1String(XmlNames::Shooter))->SetAttributeValue(nameKey, team->GetName(i)->Name);
    }
    parser.BuildAndSave();
}

TTeam& AllNamesTeam()
{
    static TTeam all;
    return all;
}

QString FormatNamePattern(const QString& pattern, int n)
{
    QString out = pattern;
    out.replace(QLatin1String("%d"), QString::number(n));
    return out;
}

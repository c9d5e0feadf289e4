#include "NameList.h"

#include "Globals.h"
#include "MiniXMLParser.h"
#include "Translation.h"
#include "XmlNames.h"

#include <QLocale>

using MiniXMLParser::TMiniXMLParser;
using MiniXMLParser::TXMLNode;

namespace {

const char* const MsgBadNameIndex = "Bad name index";
const char* const MsgBadTeamIndex = "Bad team index";

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
    TMiniXMLParser parser;
    try {
        if (!parser.LoadFromFile(path)) {
            DebugLog(QStringLiteral("Name list %1: %2").arg(path, MiniXMLParser::LastParseErrorText()));
            return false;
        }
    } catch (const Exception& e) {
        DebugLog(e.Message());
        return false;
    }

    // Read into a list of its own, so a fault leaves the current list whole.
    std::vector<std::unique_ptr<TTeam>> teams;
    const TXMLNode* root = parser.Root();
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

    ClearTeams();
    FTeams = std::move(teams);
    return true;
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
    parser.Build();
    parser.SaveToFile();
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

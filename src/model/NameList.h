// The list of teams and their shooters' names, stored as a *.namelist.xml
// document:
//   <NameListFile CreatedBy="TRAXEL 2.1">
//    <Team Name="..."> <Shooter Name="..."/> ... </Team> ...
// An empty name is written without its Name attribute and read back as "".
#pragma once

#include <QString>

#include <memory>
#include <vector>

class TShooterName {
public:
    TShooterName() = default;
    explicit TShooterName(const QString& name) : Name(name) {}

    QString Name;
    QString SecondText;  // not written to the file
};

class TTeam {
public:
    TTeam() = default;
    explicit TTeam(const QString& name) : FName(name) {}
    ~TTeam();
    TTeam(const TTeam&) = delete;
    TTeam& operator=(const TTeam&) = delete;

    const QString& Name() const { return FName; }
    void SetName(const QString& name) { FName = name; }

    int NameCount() const { return int(FNames.size()); }
    // Throws "Bad name index" outside 0..NameCount()-1.
    TShooterName* GetName(int index) const;
    TShooterName* AddName(const QString& name);
    // Throws "Bad name index" outside the list.
    void DeleteName(int index);
    // Removes every name.
    void Clear();

private:
    QString FName;
    std::vector<std::unique_ptr<TShooterName>> FNames;
};

class TShooterNameFileHandler {
public:
    // One team "Team 1" holding "Shooter 1" (both translated).
    TShooterNameFileHandler();
    ~TShooterNameFileHandler();
    TShooterNameFileHandler(const TShooterNameFileHandler&) = delete;
    TShooterNameFileHandler& operator=(const TShooterNameFileHandler&) = delete;

    int TeamCount() const { return int(FTeams.size()); }
    // Throws "Bad team index" outside 0..TeamCount()-1.
    TTeam* GetTeam(int index) const;
    TTeam* AddTeam(const QString& name);
    // Throws "Bad team index" outside the list.
    void DeleteTeam(int index);
    // The first team whose name equals name, letter case ignored; nullptr.
    TTeam* FindTeam(const QString& name) const;

    // AllNamesTeam, emptied and refilled with copies of every name of every
    // team, teams and names in order, duplicates kept.
    TTeam* GetAllNames() const;

    // Replaces the list by the file's teams. Returns false, leaving the list
    // as it was, when the file cannot be read or parsed, is no name list (its
    // root is not NameListFile) or does not fit in memory; the reason goes to
    // DebugLog.
    bool LoadFromFile(const QString& path);
    // Throws Exception when the file cannot be written; the previous file
    // then stays as it was.
    void SaveToFile(const QString& path) const;

private:
    void ClearTeams();

    std::vector<std::unique_ptr<TTeam>> FTeams;
};

// The team of all names, filled by GetAllNames; lives for the whole run.
TTeam& AllNamesTeam();

// Formats a name pattern such as "Team %d" with n. Only "%d" is replaced, so
// a translated pattern holding other '%' sequences cannot misformat.
QString FormatNamePattern(const QString& pattern, int n);

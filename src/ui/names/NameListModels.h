// The name list as the name-list editor's two grids show it: the teams, and
// the names of one team. One column each; a cell edit is the name itself, so
// an edit is stored in the list the moment it is made. Also the name search's
// filter.
//
// GUI thread. The models hold no copy: they read and write the list they were
// given, which must outlive them. Whoever changes the list's shape (adds,
// deletes, replaces) calls Reload afterwards; a team handed to
// TTeamNamesModel must stay in the list until another team (or none) is set.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

class TShooterNameFileHandler;
class TTeam;

class TTeamListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TTeamListModel(TShooterNameFileHandler& names, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The team of row, or null outside the list; the row of team, or -1.
    TTeam* Team(int row) const;
    int RowOf(const TTeam* team) const;
    // Replaces the list by the file's teams (nothing changes when it cannot
    // be read); the views are told either way.
    bool Load(const QString& path);
    void Reload();

private:
    TShooterNameFileHandler& names_;
};

class TTeamNamesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TTeamNamesModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The team shown (null: none, no rows).
    TTeam* Team() const { return team_; }
    void SetTeam(TTeam* team);
    void Reload();

private:
    TTeam* team_ = nullptr;
};

// The names that contain text, letter case ignored (both sides converted to
// upper case by the locale's rules), in their order; every name when text is
// empty.
QStringList NamesContaining(const QStringList& names, const QString& text);

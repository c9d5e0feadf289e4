#include "NameListModels.h"

#include "Globals.h"
#include "NameList.h"

#include <QLocale>

namespace {

bool IsNameRole(int role) { return role == Qt::DisplayRole || role == Qt::EditRole; }

Qt::ItemFlags EditableCell(const QModelIndex& index)
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable : Qt::NoItemFlags;
}

}  // namespace

// ---- Teams -----------------------------------------------------------------------

TTeamListModel::TTeamListModel(TShooterNameFileHandler& names, QObject* parent)
    : QAbstractTableModel(parent)
    , names_(names)
{
}

int TTeamListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : names_.TeamCount(); }

int TTeamListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 1; }

QVariant TTeamListModel::data(const QModelIndex& index, int role) const
{
    const TTeam* team = index.isValid() ? Team(index.row()) : nullptr;
    if (!team || !IsNameRole(role))
        return {};
    return team->Name();
}

bool TTeamListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    TTeam* team = index.isValid() ? Team(index.row()) : nullptr;
    if (!team || role != Qt::EditRole)
        return false;
    team->SetName(value.toString());
    Q_EMIT dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

Qt::ItemFlags TTeamListModel::flags(const QModelIndex& index) const { return EditableCell(index); }

TTeam* TTeamListModel::Team(int row) const
{
    return row >= 0 && row < names_.TeamCount() ? names_.GetTeam(row) : nullptr;
}

int TTeamListModel::RowOf(const TTeam* team) const
{
    for (int row = 0; team && row < names_.TeamCount(); ++row)
        if (names_.GetTeam(row) == team)
            return row;
    return -1;
}

bool TTeamListModel::Load(const QString& path)
{
    beginResetModel();
    bool loaded = false;
    try {
        loaded = names_.LoadFromFile(path);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Name list %1: %2").arg(path, QString::fromUtf8(e.what())));
    }
    endResetModel();
    return loaded;
}

void TTeamListModel::Reload()
{
    beginResetModel();
    endResetModel();
}

// ---- Names of one team ---------------------------------------------------------------

TTeamNamesModel::TTeamNamesModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int TTeamNamesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !team_ ? 0 : team_->NameCount();
}

int TTeamNamesModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 1; }

QVariant TTeamNamesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || !IsNameRole(role))
        return {};
    return team_->GetName(index.row())->Name;
}

bool TTeamNamesModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::EditRole)
        return false;
    team_->GetName(index.row())->Name = value.toString();
    Q_EMIT dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

Qt::ItemFlags TTeamNamesModel::flags(const QModelIndex& index) const { return EditableCell(index); }

void TTeamNamesModel::SetTeam(TTeam* team)
{
    beginResetModel();
    team_ = team;
    endResetModel();
}

void TTeamNamesModel::Reload()
{
    beginResetModel();
    endResetModel();
}

// ---- Search ------------------------------------------------------------------------

QStringList NamesContaining(const QStringList& names, const QString& text)
{
    if (text.isEmpty())
        return names;
    const QLocale locale;
    const QString wanted = locale.toUpper(text);
    QStringList found;
    for (const QString& name : names)
        if (locale.toUpper(name).contains(wanted))
            found << name;
    return found;
}

#include "ShooterGridModel.h"

#include "Shotdata.h"
#include "Translation.h"

TShooterGridModel::TShooterGridModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int TShooterGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TShooterGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QString TShooterGridModel::PickMark() { return QStringLiteral("  \u00B7\u00B7\u00B7  "); }

TShooter* TShooterGridModel::Shooter(int row) const
{
    return session_ && row >= 0 && row < rows_ ? session_->GetShooter(row) : nullptr;
}

QVariant TShooterGridModel::data(const QModelIndex& index, int role) const
{
    const TShooter* shooter = index.isValid() ? Shooter(index.row()) : nullptr;
    if (!shooter || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    switch (index.column()) {
    case ColumnName: return shooter->name;
    case ColumnPick: return PickMark();
    case ColumnTeam: return shooter->team;
    case ColumnDevice: return shooter->SerialNumber();
    default: return {};
    }
}

QVariant TShooterGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case ColumnName: return Translate(QStringLiteral("Name"));
    case ColumnTeam: return Translate(QStringLiteral("Team"));
    case ColumnDevice: return Translate(QStringLiteral("Device"));
    default: return QString();
    }
}

Qt::ItemFlags TShooterGridModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && (index.column() == ColumnName || index.column() == ColumnTeam))
        f |= Qt::ItemIsEditable;
    return f;
}

bool TShooterGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    TShooter* shooter = index.isValid() && role == Qt::EditRole ? Shooter(index.row()) : nullptr;
    if (!shooter)
        return false;
    if (index.column() == ColumnName)
        shooter->name = value.toString();
    else if (index.column() == ColumnTeam)
        shooter->team = value.toString();
    else
        return false;
    Q_EMIT dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

void TShooterGridModel::Reload(TSession* session)
{
    beginResetModel();
    session_ = session;
    rows_ = session ? session->ShooterCount() : 0;
    endResetModel();
}

#include "SetupListModel.h"

#include "Setupdata.h"

TSetupListModel::TSetupListModel(TSetupHandler& setups, QObject* parent)
    : QAbstractTableModel(parent)
    , setups_(setups)
{
}

int TSetupListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : setups_.Count();
}

int TSetupListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant TSetupListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !Setup(index.row()))
        return {};
    if (role == CardLinesRole)
        return CardLines(index.row());
    if (role == Qt::DisplayRole && index.column() == 1)
        return CardLines(index.row()).join(QLatin1Char('\n'));
    if (role == Qt::ToolTipRole || (role == Qt::DisplayRole && index.column() == 0))
        return GetTargetName(Setup(index.row())->target);
    return {};
}

const TTargetSetup* TSetupListModel::Setup(int row) const
{
    return row >= 0 && row < setups_.Count() ? setups_.Get(row) : nullptr;
}

QStringList TSetupListModel::CardLines(int row) const
{
    const TTargetSetup* setup = Setup(row);
    if (!setup)
        return {};
    QStringList lines {GetTargetName(setup->target)};
    if (setup->descriptions)
        lines += *setup->descriptions;
    return lines;
}

void TSetupListModel::Reload()
{
    beginResetModel();
    endResetModel();
}

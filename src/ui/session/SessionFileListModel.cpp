#include "SessionFileListModel.h"

#include "Translation.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace {

const QLatin1String Extension(".shotfile.xml");

} // namespace

std::vector<TOpenListItem> ListSessionFiles(const QString& folder)
{
    std::vector<TOpenListItem> items;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& file : files) {
        const QString name = file.fileName();
        if (!name.endsWith(Extension, Qt::CaseInsensitive))
            continue;
        const QDateTime modified = file.lastModified();
        TOpenListItem item;
        item.fileName = name;
        item.displayName = name.left(name.toLower().indexOf(Extension));
        item.fileDate = modified.toMSecsSinceEpoch();
        item.dateText = QLocale().toString(modified, QLocale::ShortFormat);
        items.push_back(std::move(item));
    }
    std::sort(items.begin(), items.end(), [](const TOpenListItem& a, const TOpenListItem& b) {
        return a.fileDate != b.fileDate ? a.fileDate > b.fileDate : a.fileName < b.fileName;
    });
    return items;
}

TSessionFileListModel::TSessionFileListModel(const std::vector<TOpenListItem>& items, QObject* parent)
    : QAbstractTableModel(parent)
    , items_(items)
{
}

int TSessionFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(items_.size());
}

int TSessionFileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant TSessionFileListModel::data(const QModelIndex& index, int role) const
{
    const TOpenListItem* item = index.isValid() ? Item(index.row()) : nullptr;
    if (!item || role != Qt::DisplayRole)
        return {};
    return index.column() == 0 ? item->displayName : item->dateText;
}

QVariant TSessionFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return Translate(section == 0 ? QStringLiteral("File name") : QStringLiteral("Date and time"));
}

const TOpenListItem* TSessionFileListModel::Item(int row) const
{
    return row >= 0 && row < int(items_.size()) ? &items_[std::size_t(row)] : nullptr;
}

void TSessionFileListModel::Reload()
{
    beginResetModel();
    endResetModel();
}

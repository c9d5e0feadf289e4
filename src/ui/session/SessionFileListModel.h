// The saved session files of a folder, newest first, as the open-session
// screen lists them: display name (the file name before ".shotfile.xml",
// whatever its letter case) and the file's date and time.
//
// GUI thread. ListSessionFiles reads the folder; the model holds no copy: it
// shows the list it was given, which must outlive it, and whoever refills the
// list calls Reload.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <vector>

struct TOpenListItem {
    QString displayName; // the file name up to ".shotfile.xml"
    QString fileName;    // without folder
    QString dateText;    // the file's date and time, short locale format
    int64_t fileDate = 0; // ms since the epoch
};

// Every file of folder whose name ends in ".shotfile.xml" in any letter case,
// newest first (equal dates by file name).
std::vector<TOpenListItem> ListSessionFiles(const QString& folder);

class TSessionFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TSessionFileListModel(const std::vector<TOpenListItem>& items, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // "File name" and "Date and time", translated.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The item of row, or null outside the list.
    const TOpenListItem* Item(int row) const;
    void Reload();

private:
    const std::vector<TOpenListItem>& items_;
};

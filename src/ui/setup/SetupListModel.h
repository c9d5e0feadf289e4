// The setup list as the setup screen's grid shows it: one row per setup,
// column 0 the target preview, column 1 the card text (the target's name,
// then the setup's description lines).
//
// GUI thread. The model holds no copy: it reads the list it was given, which
// must outlive it. Whoever changes the list calls Reload afterwards.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

class TSetupHandler;
struct TTargetSetup;

class TSetupListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The card text of a row as a list of lines.
    static constexpr int CardLinesRole = Qt::UserRole + 1;

    explicit TSetupListModel(TSetupHandler& setups, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The setup of row, or null outside the list.
    const TTargetSetup* Setup(int row) const;
    QStringList CardLines(int row) const;
    // The list changed (loaded, sorted, entries added, removed or moved).
    void Reload();

private:
    TSetupHandler& setups_;
};

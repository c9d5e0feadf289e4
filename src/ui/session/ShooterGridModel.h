// The session's shooters as the shooter list's grid shows them: one row per
// shooter, columns name, pick mark, team and the unit's serial number. Name
// and team are edited in place and go straight into the shooter.
//
// GUI thread. The model holds no copy: it reads the session it was given,
// which must outlive it. The row count is taken by Reload, so a shooter that
// leaves the session without a Reload is shown as an empty row, never read.
#pragma once

#include <QAbstractTableModel>

class TSession;
class TShooter;

class TShooterGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColumnName = 0, ColumnPick = 1, ColumnTeam = 2, ColumnDevice = 3, ColumnCount = 4 };

    explicit TShooterGridModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Name and team columns only; the text is stored as typed.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Shows session (may be null: no rows) as it is now.
    void Reload(TSession* session);
    // The shooter of row, or null.
    TShooter* Shooter(int row) const;

    // The pick column's text: two blanks, three middle dots, two blanks.
    static QString PickMark();

private:
    TSession* session_ = nullptr;
    int rows_ = 0;
};

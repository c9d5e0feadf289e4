// "Name List Editor": the program's one list of teams and shooter names,
// edited in two grids, loaded from and saved to name-list files.
//
// GUI thread. Owns the name list (the whole run long) and the grids' models;
// the shooter grid shows the current team, which is a team of the list or
// none (an empty list has no current team). The grids write every keystroke
// into the list at once, so Cancel keeps what was typed. A load replaces the
// list only when the file reads whole.
//
// Load and Save store the list's file as option TeamNameListFile and save the
// settings file; no other setting is touched. No timers, no waits beyond the
// modal file choosers and boxes of the prompts. Installs the form's
// translation table; the destructor removes it.
#pragma once

#include "NameList.h"

#include <QDialog>

class QLabel;
class QModelIndex;
class QPushButton;
class QTableView;
class TTeamListModel;
class TTeamNamesModel;

class TFormNameListEditor : public QDialog {
    Q_OBJECT
public:
    explicit TFormNameListEditor(QWidget* parent = nullptr);
    ~TFormNameListEditor() override;

    TShooterNameFileHandler& NameList() { return names_; }
    // Loads path into the list (the whole list is replaced only on success,
    // team 0 then becomes the current team) and refills the grids. Shows
    // nothing: the caller tells the operator.
    bool LoadNameList(const QString& path);
    // Refill the grids from the list (after it was changed through NameList();
    // a current team that left the list gives way to team 0).
    void TeamsToGrid();
    void ShootersToGrid();

    // The team whose names the shooter grid shows, or null.
    TTeam* CurrentTeam() const;

    // ---- Handlers ----
    void StringGridTeamsClick(int row);
    void ButtonNewShooterClick();
    void ButtonNewTeamClick();
    void ButtonRemoveShooterClick();
    void ButtonRemoveTeamClick();
    void ButtonSaveListClick();
    void ButtonLoadListClick();
    void ButtonOkClick();
    void ButtonCancelClick();

protected:
    void showEvent(QShowEvent* event) override;  // FormShow

private:
    void BuildControls();
    void BuildLayout();
    void ConnectHandlers();
    void RegisterTranslation();
    // Team row becomes current (clamped; none in an empty list), selected in
    // the team grid, its names in the shooter grid.
    void SelectTeam(int row);
    void SelectShooter(int row);
    int SelectedRow(const QTableView* grid) const;
    int AllNamesCount() const;
    // Option TeamNameListFile := path, then the settings file is saved.
    void StoreNameListSetting(const QString& path);

    // Controls, named as translation finds them.
    QLabel* LabelTeams = nullptr;
    QLabel* LabelShooters = nullptr;
    QTableView* StringGridTeams = nullptr;
    QTableView* StringGridShooters = nullptr;
    QPushButton* ButtonNewTeam = nullptr;
    QPushButton* ButtonRemoveTeam = nullptr;
    QPushButton* ButtonNewShooter = nullptr;
    QPushButton* ButtonRemoveShooter = nullptr;
    QPushButton* ButtonLoadList = nullptr;
    QPushButton* ButtonSaveList = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;

    TShooterNameFileHandler names_;
    TTeamListModel* teams_ = nullptr;
    TTeamNamesModel* shooters_ = nullptr;
    QString saveFileName_;  // proposed by the save dialog: the list's file
};

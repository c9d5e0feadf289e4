// "Shooters and Sessions": names and teams of the session's shooters, saving
// and printing the whole session.
//
// GUI thread. Owns the grid's model (over CurrentSession: the grid shows and
// edits the shooters themselves, every keystroke stored at once) and the
// picked team. The shooters, the viewers and the name list (the name-list
// editor's) are not owned.
//
// Timer: TimerHidePanel hides "Saving Completed" UiTimings().savedPanelMs
// after a save. No hooks.
//
// Waits: the name search and the name-list editor run modal; the save may
// show the save dialog (option AlwaysShowSaveDialogs). Save is disabled while
// its dialog is open, and the form is checked to still exist afterwards.
#pragma once

#include <QWidget>

class QComboBox;
class QKeyEvent;
class QLabel;
class QModelIndex;
class QPushButton;
class QTableView;
class QTimer;
class TShooterGridModel;

class TFormShooterList : public QWidget {
    Q_OBJECT
public:
    explicit TFormShooterList(QWidget* parent = nullptr);
    ~TFormShooterList() override;

    void ShowInFront();
    // The grid shows CurrentSession's shooters as they are now.
    void FillShooterGrid();
    // "<None>", "<All>", then the name list's teams; "<None>" selected.
    void FillTeamCombo();

    // The team of the last pick ("" for none and for "<All>"); emptied on
    // every show.
    const QString& PickedTeam() const { return pickedTeam_; }
    TShooterGridModel& GridModel() const { return *model_; }

    // ---- Handlers ----
    void StringGridNamesClick(const QModelIndex& index);
    // Space, Return or F2 on a pick cell opens the name search as a click
    // does (the keys that edit the other cells); false for any other key.
    bool StringGridNamesKeyDown(const QKeyEvent* event);
    // The name search for the team chosen in the combo; the chosen name goes
    // to the current row's shooter.
    void PickShooterName();
    void BitBtnEditListClick();
    void BitBtnSaveSessionClick();
    void BitBtnPrintSessionClick();
    void BitBtnCloseClick();
    void TimerHidePanelTimer();

protected:
    void showEvent(QShowEvent* event) override; // FormShow
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildLayout();
    void ConnectHandlers();
    void SetColumnWidths();
    void SelectCell(int row, int column);
    // False when a shooter still needs a name (its row selected, the operator
    // told).
    bool EveryShooterNamed();
    QString SessionFileName() const;
    void SaveSession();

    QTableView* StringGridNames = nullptr;
    QComboBox* ComboBoxTeams = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* BitBtnSaveSession = nullptr;
    QPushButton* BitBtnClose = nullptr;
    QPushButton* BitBtnPrintSession = nullptr;
    QPushButton* BitBtnEditList = nullptr;
    QLabel* PanelSaveCompleted = nullptr;
    QTimer* TimerHidePanel = nullptr;

    TShooterGridModel* model_ = nullptr;
    QString pickedTeam_;
};

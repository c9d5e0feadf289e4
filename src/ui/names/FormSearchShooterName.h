// "Search Shooter": picks one name of a team by typing part of it.
//
// GUI thread. The caller hands in a team (SetTeam), runs the dialog modal and
// reads SelectedName after OK. The dialog copies the team's names at SetTeam,
// so a team that the editor deletes later cannot leave it pointing at
// nothing; it keeps no pointer to the team. No timers, no waits. Installs the
// form's translation table; the destructor removes it.
#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TTeam;

class TFormSearchShooterName : public QDialog {
    Q_OBJECT
public:
    explicit TFormSearchShooterName(QWidget* parent = nullptr);
    ~TFormSearchShooterName() override;

    // The team whose names are offered (null: none) and its caption text.
    void SetTeam(const TTeam* team, const QString& teamText);
    // The name chosen when the dialog ended with OK, else empty.
    QString SelectedName() const;

    // ---- Handlers ----
    void EditSearchChange();
    void EditSearchKeyDown();    // Enter
    void ListBoxNamesKeyDown();  // Enter
    void ListBoxNamesDblClick();
    void BitBtnOKClick();

protected:
    void showEvent(QShowEvent* event) override;  // FormShow
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildLayout();
    void ConnectHandlers();
    // Ends with OK, name being the choice (empty: none).
    void AcceptName(const QString& name);
    QString ListedSelection() const;

    QLabel* LabelSearch = nullptr;
    QLabel* LabelTeamName = nullptr;
    QLabel* ImageSearch = nullptr;
    QLineEdit* EditSearch = nullptr;
    QListWidget* ListBoxNames = nullptr;
    QPushButton* BitBtnOK = nullptr;
    QPushButton* BitBtnClose = nullptr;

    bool hasTeam_ = false;
    QStringList names_;  // the team's names, in order
    QString chosen_;
};

// "Shooters and Sessions": names and teams of the session's shooters, saving
// and printing the whole session.
#pragma once

#include <QWidget>

class TFormShooterList : public QWidget {
    Q_OBJECT
public:
    explicit TFormShooterList(QWidget* parent = nullptr);
    ~TFormShooterList() override;

    void ShowInFront();
    void FillShooterGrid();
    void FillTeamCombo();
};

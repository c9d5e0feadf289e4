// "Search Shooter": picks one name of a team by typing part of it.
#pragma once

#include <QDialog>

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
};

// "Name List Editor": the program's one list of teams and shooter names,
// edited in two grids, loaded from and saved to name-list files.
#pragma once

#include "NameList.h"

#include <QDialog>

class TFormNameListEditor : public QDialog {
    Q_OBJECT
public:
    explicit TFormNameListEditor(QWidget* parent = nullptr);
    ~TFormNameListEditor() override;

    TShooterNameFileHandler& NameList() { return names_; }
    // Loads path into the list (the whole list is replaced only on success)
    // and refills the grids.
    bool LoadNameList(const QString& path);
    void TeamsToGrid();
    void ShootersToGrid();

private:
    TShooterNameFileHandler names_;
};

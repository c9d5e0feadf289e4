// Print Setup. Not built yet: an empty dialog keeps the program's roads open.
#pragma once

#include <QDialog>

class TFormPrintSetup : public QDialog {
    Q_OBJECT
public:
    explicit TFormPrintSetup(QWidget* parent = nullptr);
    ~TFormPrintSetup() override;
};

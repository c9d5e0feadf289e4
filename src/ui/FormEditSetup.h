// "Training Options": the modal editor of one training setup. Not built yet:
// opening it changes nothing, so the setup screen's roads stay open.
#pragma once

#include <QDialog>

struct TTargetSetup;

class TFormEditSetup : public QDialog {
    Q_OBJECT
public:
    explicit TFormEditSetup(QWidget* parent = nullptr);
    ~TFormEditSetup() override;

    // Edits a private copy of entry and writes it back on OK; true when the
    // entry was changed.
    bool EditSetup(TTargetSetup& entry);
};

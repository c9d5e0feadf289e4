// "Print Setup": prints the ring target of the setup being edited at true
// size, scaled from its nominal distance to a shorter training distance, so
// that the paper target at the training distance looks like the real one at
// its own.
//
// GUI thread. The setup editor hands in the setup's target (Execute copies
// it) and runs the dialog modal; it ends with OK once a page was printed.
// Owns its print manager and the device over the program's one printer
// (Printing.h); Printer Setup runs that printer's dialog. No timers, no waits.
// Installs the form's translation table; the destructor removes it.
#pragma once

#include "Printing.h"
#include "Printmanager.h"
#include "Setupdata.h"

#include <QDialog>
#include <QPageLayout>

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

class TFormPrintSetup : public QDialog {
    Q_OBJECT
public:
    explicit TFormPrintSetup(QWidget* parent = nullptr);
    ~TFormPrintSetup() override;

    // Takes a copy of target, shows the dialog modal; true when it printed.
    bool Execute(const TargetDescription& target);
    // The target the next show and print work on (a copy).
    void SetTarget(const TargetDescription& target);

    // The embedded print manager (its scale caption and target are set by
    // the print button).
    const TThePrintManager& PrintManager() const { return printManager_; }
    // The scale the last print asked for, 0 before any.
    double LastScale() const { return lastScale_; }

    // ---- Handlers ----
    void FormShow();
    void BitBtnDown10Click();
    void BitBtnUp10Click();
    void ButtonSetupPrinterClick();
    void ButtonPrintClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void BuildLayout();
    void ConnectHandlers();
    // The distances are in yards (LabelUnits "yd").
    bool Yards() const;
    int EnteredDistance() const;
    IPrintDevice& PrinterDevice();

    QLabel* LabelTrainingDistance = nullptr;
    QLineEdit* EditScaledDistance = nullptr;
    QPushButton* BitBtnUp10 = nullptr;
    QPushButton* BitBtnDown10 = nullptr;
    QLabel* LabelUnits = nullptr;
    QPushButton* ButtonPrint = nullptr;
    QPushButton* ButtonSetupPrinter = nullptr;
    QPushButton* ButtonCancel = nullptr;

    TargetDescription target_ {};
    std::unique_ptr<TPrinterDevice> printerDevice_;  // made at the first print or printer setup
    TThePrintManager printManager_;
    double lastScale_ = 0.0;
    // The page orientation of this form's prints: portrait until the
    // operator chooses another in Printer Setup.
    QPageLayout::Orientation orientation_ = QPageLayout::Portrait;
};

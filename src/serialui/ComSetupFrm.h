// The setup dialog of a serial port: six selectors (port, baud rate, data
// bits, stop bits, parity, flow control) that show the port's settings and,
// on OK, write them back in one update bracket, so the port is reconfigured
// once.
//
// GUI thread only. The dialog links its selectors to the port it edits and
// lives only inside EditComPort (or a test). EditComPort runs a nested event
// loop (the modal dialog) and shows a failed apply through the prompts.
#pragma once

#include "ComSelect.h"

#include <QDialog>
#include <QString>

class TComSetupFrm : public QDialog {
    Q_OBJECT
public:
    // lister: the port names offered (empty: the system's ports).
    explicit TComSetupFrm(QWidget* parent = nullptr, TComSelect::TPortLister lister = {});

    TComComboBox* Selector(TComProperty property) const;
    // Links every selector to port and selects its current values.
    void LoadFrom(TCustomComPort& port);
    // Applies every selector to the linked port between BeginUpdate and
    // EndUpdate. The bracket is closed on every path, also when reopening
    // under a new name or the final reconfiguration fails, so the port never
    // stays deaf to later settings. Returns the errors, one per line (empty
    // when all went through).
    QString ApplySettings(TCustomComPort& port);

private:
    TComComboBox* FSelectors[6] = {};
};

// Shows the setup dialog for port; true when the operator chose OK and every
// setting went through. Errors are shown through the prompts.
bool EditComPort(TCustomComPort& port, QWidget* parent = nullptr);

// Makes EditComPort the dialog of TCustomComPort::ShowSetupDialog (the port
// itself knows no widgets). Once, on the GUI thread, before the first use.
void InstallComSetupDialog();

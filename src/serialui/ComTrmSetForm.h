// The terminal's settings dialog ("Setup"): echo, line feeds, wrapping,
// 7-bit input, caret shape, size, emulation and cursor keys.
//
// GUI thread only. LoadFrom fills the controls from a terminal; StoreTo
// writes every value back. EditComTerminal runs it modally (a nested event
// loop) and stores only on OK.
#pragma once

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QSpinBox;
class TCustomComTerminal;

class TComTrmSetForm : public QDialog {
    Q_OBJECT
public:
    explicit TComTrmSetForm(QWidget* parent = nullptr);

    void LoadFrom(const TCustomComTerminal& terminal);
    void StoreTo(TCustomComTerminal& terminal) const;

private:
    QCheckBox* FLocalEcho;
    QCheckBox* FSendLF;
    QCheckBox* FWrapLines;
    QCheckBox* FForce7Bit;
    QCheckBox* FAppendLF;
    QButtonGroup* FCaret;
    QSpinBox* FColumns;
    QSpinBox* FRows;
    QButtonGroup* FEmulation;
    QButtonGroup* FCursorKeys;
};

// Shows the settings of terminal; true when OK stored them.
bool EditComTerminal(TCustomComTerminal& terminal, QWidget* parent = nullptr);

// The dialog keys of every form: Return presses the focused push or tool
// button, else the form's default button; Escape presses the form's Cancel or
// Close button (so it asks whatever that button asks); Ctrl+Tab and
// Ctrl+Shift+Tab move the focus like Tab and Shift+Tab.
//
// GUI thread. The keys are taken by an event filter, a child of the form, that
// sees only what the focused control left unhandled: a cell editor, a memo or
// an open combo keeps its own keys. A grid that can be edited keeps Return
// (it ends the cell's edit), never passing it on to the default button. A
// default or cancel button that is hidden or disabled is not pressed, and
// Escape then does nothing. The buttons are borrowed and may go before the
// form.
#pragma once

#include <initializer_list>

class QAbstractButton;
class QPushButton;
class QWidget;

enum class TReturnKeys {
    ToDefault,   // Return in any control but an editable grid presses the default button
    KeptByEdits  // also a line edit or spin box keeps Return: it only ends the typing
};

// Installs the keys on form (a top-level window). defaultButton, when given,
// is also marked as the form's default; either button may be null.
void InstallFormKeys(QWidget* form, QPushButton* defaultButton, QAbstractButton* cancelButton,
                     TReturnKeys returnKeys = TReturnKeys::ToDefault);

// Sets the Tab order of the controls to the order given.
void SetTabChain(std::initializer_list<QWidget*> controls);

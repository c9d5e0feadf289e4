// Hints for screen readers: a control's hint (tool tip) is also its
// accessible description, and stays so when translation changes the hint;
// a button that shows only an icon is named by its hint (following it when
// it changes), or without one after its control name ("BitBtnCloseSession"
// -> "Close Session").
#pragma once

#include <QString>

class QWidget;

// Applies the above to form and every control on it, now and for hints set later.
void DescribeControls(QWidget* form);
// "BitBtnMoveUp" -> "Move Up": the control name without its kind prefix, in words.
QString ControlWords(const QString& objectName);

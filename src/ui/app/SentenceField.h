// A sentence with a field inside it ("Series score after ... shots"): the
// words before the field go to the control in front of it, the words after
// it to a label behind it, so that the field stands where the sentence puts
// it. The whole sentence stays on the leading control, so that translation
// looks it up as one text and a language may put its words around the field
// in its own order.
//
// GUI thread.
#pragma once

#include <QString>

#include <utility>

class QLabel;
class QWidget;

// The field's place is "..." or else the first run of three or more blanks;
// both parts come without surrounding blanks. Without either mark the whole
// text comes before the field.
std::pair<QString, QString> SplitSentence(const QString& sentence);

// Binds lead (a label or a check box) and tail to sentence and shows it.
void SetSentence(QWidget* lead, QLabel* tail, const QString& sentence);
// The sentence bound to control, or a null string when it holds none.
QString SentenceOf(const QWidget* control);
// Shows another sentence (its translation) on a bound control; false when
// control holds no sentence.
bool ShowSentence(QWidget* control, const QString& sentence);

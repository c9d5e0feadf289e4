// The cell editor of the editable grids (name lists, shooter list): each
// keystroke is written to the model at once, not only when the editor closes,
// so that Cancel and a list read by another screen meanwhile see what was
// typed.
#pragma once

#include <QStyledItemDelegate>

class TKeystrokeDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Leaves an editor that already shows the model's text alone, so that
    // the store of each keystroke does not move the cursor to the end.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
};

// Draws the setup cards of the setup screen's grid: column 0 a 64 x 64
// preview of the setup's target on a light grey cell, column 1 the card's
// lines (the first bold). A row grows when its lines need more height than
// the preview.
//
// GUI thread. Owns the preview renderer (one for all cards: each paint copies
// the row's target into it and renders). Reads the rows through the model it
// was given, which must outlive it.
#pragma once

#include "Targetrenderer.h"

#include <QStyledItemDelegate>

class TSetupListModel;

class TSetupCardDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int PreviewSize = 64;

    TSetupCardDelegate(const TSetupListModel& model, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The preview of row as the cell shows it (empty outside the list).
    QImage Preview(int row) const;

private:
    void PaintPreview(QPainter* painter, const QStyleOptionViewItem& option, int row) const;
    void PaintLines(QPainter* painter, const QStyleOptionViewItem& option, int row) const;

    const TSetupListModel& model_;
    mutable TTargetRenderer preview_;
};

// mm of target the preview shows: the outer size of the ring (its lowest
// ring's diameter) or of the silhouette, whichever is larger; 0 when the
// target has neither.
int PreviewZoomField(const TTargetRenderer& renderer);

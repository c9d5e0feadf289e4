#include "FormShooterWidgets.h"

#include "Shotstring.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {

const QColor EmptyColour(0x80, 0x80, 0x80);

} // namespace

// ---- TTargetImage ----

TTargetImage::TTargetImage(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TTargetImage::SetLayer(const QImage* layer)
{
    layer_ = layer;
    update();
}

void TTargetImage::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect layerRect = layer_ ? layer_->rect() : QRect();
    for (const QRect& rect : event->region()) {
        const QRect inside = rect & layerRect;
        if (!inside.isEmpty())
            painter.drawImage(inside.topLeft(), *layer_, inside);
        // Between a resize and the next pass the layer may be smaller.
        if (inside != rect) {
            const QRegion rest = QRegion(rect) - QRegion(inside);
            for (const QRect& r : rest)
                painter.fillRect(r, EmptyColour);
        }
    }
}

// ---- TShotStripView ----

TShotStripView::TShotStripView(QWidget* parent)
    : QAbstractScrollArea(parent)
    , fill_(EmptyColour)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
}

void TShotStripView::SetStrip(TShotString* strip)
{
    strip_ = strip;
    UpdateRange();
    viewport()->update();
}

void TShotStripView::UpdateRange()
{
    const int width = strip_ ? strip_->Width() : 0;
    horizontalScrollBar()->setRange(0, std::max(0, width - VisibleWidth()));
    horizontalScrollBar()->setPageStep(VisibleWidth());
    horizontalScrollBar()->setSingleStep(20);
    RevealShown();
}

void TShotStripView::RevealShown()
{
    // A box off screen shows nothing; its first paint reveals the slice.
    if (viewport()->isVisible())
        RevealVisible();
}

void TShotStripView::RevealVisible()
{
    if (strip_)
        strip_->Reveal(Position(), VisibleWidth());
}

void TShotStripView::SetFillColour(const QColor& colour)
{
    fill_ = colour;
    viewport()->update();
}

int TShotStripView::Position() const { return horizontalScrollBar()->value(); }

void TShotStripView::SetPosition(int position) { horizontalScrollBar()->setValue(position); }

int TShotStripView::VisibleWidth() const { return viewport()->width(); }

void TShotStripView::paintEvent(QPaintEvent* event)
{
    // Paints a strip laid out while the box was off screen; otherwise
    // scrolling and resizing have revealed the slice already.
    RevealVisible();
    QPainter painter(viewport());
    const int offset = Position();
    const QImage* image = strip_ ? &strip_->Bitmap() : nullptr;
    const int left = strip_ ? strip_->BitmapLeft() : 0;
    for (const QRect& rect : event->region()) {
        // The slice of the strip under this rectangle of the viewport, in
        // the painted part's own pixels.
        const QRect source = rect.translated(offset - left, 0);
        const QRect inside = image ? (source & image->rect()) : QRect();
        painter.fillRect(rect, fill_);
        if (!inside.isEmpty())
            painter.drawImage(inside.topLeft() - QPoint(offset - left, 0), *image, inside);
    }
}

void TShotStripView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateRange();
}

void TShotStripView::scrollContentsBy(int, int)
{
    RevealShown();
    viewport()->update();
}

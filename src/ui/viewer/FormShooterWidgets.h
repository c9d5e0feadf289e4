// The two picture controls of the shooter viewer. Neither copies its
// picture: each paints straight from an image its owner keeps, and only the
// part that needs painting. GUI thread.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QImage>
#include <QWidget>

class TShotString;

// The target: shows the renderer's display layer at (0, 0). After a live
// point the owner calls update() with the rectangle that changed, so a
// repaint copies only that rectangle of the layer.
class TTargetImage : public QWidget {
    Q_OBJECT
public:
    explicit TTargetImage(QWidget* parent = nullptr);
    // The layer shown (not owned; must outlive this control or be reset).
    void SetLayer(const QImage* layer);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const QImage* layer_ = nullptr;
};

// The shot strip's scroll box: a horizontal scroll bar over the whole strip,
// of which the viewport paints only the visible slice. The strip paints only
// a part around what is shown; before the box shows a slice it tells the
// strip (TShotString::Reveal), which paints that part again when the slice
// lies outside it. The viewport is the strip's image control: mouse
// positions on it plus the scroll position are strip pixels.
class TShotStripView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TShotStripView(QWidget* parent = nullptr);
    // The strip (not owned).
    void SetStrip(TShotString* strip);
    // What shows where the strip does not reach (a strip narrower or lower
    // than the box): the strip's own background, so it fills the box.
    void SetFillColour(const QColor& colour);
    // Scroll range := strip width - visible width; the position is kept
    // within it.
    void UpdateRange();
    int Position() const;
    void SetPosition(int position);
    int VisibleWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // The strip's painted part covers what the viewport shows.
    void RevealVisible();
    // RevealVisible while the viewport is on screen.
    void RevealShown();

    TShotString* strip_ = nullptr;
    QColor fill_;
};

// Where the session's windows go: the control panel at the right edge of the
// work area, the viewers tiled beside it, and the panel's buttons. Pure
// functions of the work rectangle, the viewer count and the session mode, so
// that the layout is worked out (and tested) without any window.
//
// Rectangles named "frame" include the window frame the window manager adds;
// ClientRectInFrame takes that frame off again for QWidget::setGeometry.
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

#include <array>
#include <vector>

// ---- Tiling -------------------------------------------------------------------------

struct TTileGrid {
    int rows = 0;
    int columns = 0;
};

// rows := floor(sqrt(n)), columns := ceil(n / rows); 0 x 0 for n < 1.
TTileGrid TileGrid(int count);

// max(128, work-area width / 12).
int ControlPanelWidth(const QRect& workArea);

// The panel's frame: the full height of the work area at its right edge.
QRect ControlPanelFrame(const QRect& workArea);

// The frames of count viewers, row-major in a TileGrid over the work area
// left of the panel. Cells have the integer-divided size; whatever the
// division leaves over stays empty at the right and bottom.
std::vector<QRect> ViewerTileFrames(const QRect& workArea, int panelWidth, int count);

// One viewer over the whole work area left of the panel.
QRect SingleViewerFrame(const QRect& workArea, int panelWidth);

// The client rectangle of a window whose frame is to cover frame.
QRect ClientRectInFrame(const QRect& frame, const QMargins& frameMargins);

// ---- The panel's buttons ---------------------------------------------------------------

enum class TPanelButton {
    None,
    ShootingZeroing,
    OneManyShooters,
    ReplayMode,
    ShooterList,
    CloseSession,
    OpenSession,
    SendMessageAll,
};
constexpr int PanelSlotCount = 5;
constexpr int PanelButtonKinds = 8; // TPanelButton values, None included

struct TPanelArrangement {
    // Top to bottom; slot 4 always holds CloseSession.
    std::array<TPanelButton, PanelSlotCount> slots {};
    // Indexed by TPanelButton; None is never visible.
    std::array<bool, PanelButtonKinds> visible {};

    bool Visible(TPanelButton button) const { return visible[std::size_t(button)]; }
    // The slot holding button, or -1.
    int SlotOf(TPanelButton button) const;
};

// Which button sits in which slot and which are shown, by session mode
// (TSessionMode values), whether the first viewer shows a ring and the number
// of viewers.
TPanelArrangement ArrangePanel(int sessionMode, bool ring, int viewerCount);

// The square of each slot in a panel of that client size: five rows of equal
// height, each square 80 % of the row height or of the width, whichever is
// smaller, centred in its row.
std::array<QRect, PanelSlotCount> PanelSlotRects(const QSize& client);

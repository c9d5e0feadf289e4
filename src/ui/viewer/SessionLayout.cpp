#include "SessionLayout.h"

#include "UiGlobals.h"

#include <algorithm>
#include <cmath>

// ---- Tiling -------------------------------------------------------------------------

TTileGrid TileGrid(int count)
{
    if (count < 1)
        return {};
    int rows = 1;
    while ((rows + 1) * (rows + 1) <= count)
        ++rows;
    return {rows, (count + rows - 1) / rows};
}

int ControlPanelWidth(const QRect& workArea) { return std::max(128, workArea.width() / 12); }

QRect ControlPanelFrame(const QRect& workArea)
{
    const int width = ControlPanelWidth(workArea);
    return QRect(workArea.left() + workArea.width() - width, workArea.top(), width, workArea.height());
}

std::vector<QRect> ViewerTileFrames(const QRect& workArea, int panelWidth, int count)
{
    const TTileGrid grid = TileGrid(count);
    std::vector<QRect> frames;
    if (grid.rows == 0)
        return frames;
    const int cellWidth = (workArea.width() - panelWidth) / grid.columns;
    const int cellHeight = workArea.height() / grid.rows;
    for (int k = 0; k < count; ++k) {
        const int column = k % grid.columns;
        const int row = k / grid.columns;
        frames.emplace_back(workArea.left() + column * cellWidth, workArea.top() + row * cellHeight, cellWidth,
                            cellHeight);
    }
    return frames;
}

QRect SingleViewerFrame(const QRect& workArea, int panelWidth)
{
    return QRect(workArea.topLeft(), QSize(workArea.width() - panelWidth, workArea.height()));
}

QRect ClientRectInFrame(const QRect& frame, const QMargins& frameMargins)
{
    const QRect client = frame.marginsRemoved(frameMargins);
    return QRect(client.topLeft(), client.size().expandedTo(QSize(1, 1)));
}

// ---- The panel's buttons ---------------------------------------------------------------

int TPanelArrangement::SlotOf(TPanelButton button) const
{
    for (int k = 0; k < PanelSlotCount; ++k)
        if (slots[std::size_t(k)] == button)
            return k;
    return -1;
}

TPanelArrangement ArrangePanel(int sessionMode, bool ring, int viewerCount)
{
    using B = TPanelButton;
    TPanelArrangement a;
    a.slots = {B::None, B::None, B::None, B::None, B::CloseSession};
    const bool several = viewerCount >= 2;
    const bool replay = viewerCount > 1 && ring;
    auto show = [&a](B button, bool on) { a.visible[std::size_t(button)] = on; };
    show(B::CloseSession, true);

    switch (sessionMode) {
    case SessionClassic:
        if (ring) {
            a.slots = {B::ShootingZeroing, B::OneManyShooters, B::ReplayMode, B::ShooterList, B::CloseSession};
            show(B::ShootingZeroing, several);
            break;
        }
        [[fallthrough]];
    case SessionDynamic:
    case SessionDownload:
        a.slots = {B::OneManyShooters, B::ReplayMode, B::None, B::ShooterList, B::CloseSession};
        break;
    case SessionOpenFile:
        a.slots = {B::OneManyShooters, B::ReplayMode, B::None, B::OpenSession, B::CloseSession};
        show(B::OpenSession, true);
        break;
    case SessionMonitor:
        a.slots = {B::SendMessageAll, B::OneManyShooters, B::ReplayMode, B::ShooterList, B::CloseSession};
        show(B::SendMessageAll, true);
        break;
    default:
        return a;
    }
    show(B::OneManyShooters, several);
    show(B::ReplayMode, replay);
    show(B::ShooterList, a.SlotOf(B::ShooterList) >= 0);
    return a;
}

std::array<QRect, PanelSlotCount> PanelSlotRects(const QSize& client)
{
    const int h = client.height() / PanelSlotCount;
    const int size = int(std::min(0.8 * h, 0.8 * client.width()));
    const int left = int((client.width() - size) * 0.5);
    std::array<QRect, PanelSlotCount> rects;
    for (int k = 0; k < PanelSlotCount; ++k)
        rects[std::size_t(k)] = QRect(left, int((h - size) * 0.5 + h * k), size, size);
    return rects;
}

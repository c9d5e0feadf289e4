// Where the session's windows go: the viewers tiled left of the control
// panel for one to nine viewers on two work areas (one at the screen's
// origin, one moved by a panel at the left and top), the window frame taken
// off, and the panel's button squares.
#include "SessionLayout.h"

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << "(" << r.x() << "," << r.y() << " " << r.width() << "x" << r.height() << ")";
}

namespace {

const QRect FullHd(0, 0, 1920, 1040);     // task bar below: panel 160 wide
const QRect Shifted(100, 30, 1280, 994);  // side and top bars: panel at least 128

struct TTileCase {
    const char* area;
    int count;
    int rows;
    int columns;
    QRect last;  // the last viewer's frame
};

QRect Area(const char* name) { return QByteArray(name) == "FullHd" ? FullHd : Shifted; }

const TTileCase TileCases[] = {
    // FullHd: 1760 wide beside the panel.
    {"FullHd", 1, 1, 1, {0, 0, 1760, 1040}},
    {"FullHd", 2, 1, 2, {880, 0, 880, 1040}},
    {"FullHd", 3, 1, 3, {1172, 0, 586, 1040}},
    {"FullHd", 4, 2, 2, {880, 520, 880, 520}},
    {"FullHd", 5, 2, 3, {586, 520, 586, 520}},
    {"FullHd", 6, 2, 3, {1172, 520, 586, 520}},
    {"FullHd", 7, 2, 4, {880, 520, 440, 520}},   // one empty cell at the end
    {"FullHd", 8, 2, 4, {1320, 520, 440, 520}},
    {"FullHd", 9, 3, 3, {1172, 692, 586, 346}},
    // Shifted: 1152 wide from x 100, 994 high from y 30.
    {"Shifted", 1, 1, 1, {100, 30, 1152, 994}},
    {"Shifted", 2, 1, 2, {676, 30, 576, 994}},
    {"Shifted", 3, 1, 3, {868, 30, 384, 994}},
    {"Shifted", 4, 2, 2, {676, 527, 576, 497}},
    {"Shifted", 5, 2, 3, {484, 527, 384, 497}},
    {"Shifted", 6, 2, 3, {868, 527, 384, 497}},
    {"Shifted", 7, 2, 4, {676, 527, 288, 497}},
    {"Shifted", 8, 2, 4, {964, 527, 288, 497}},
    {"Shifted", 9, 3, 3, {868, 692, 384, 331}},
};

void PrintTo(const TTileCase& c, std::ostream* os) { *os << c.area << " " << c.count; }

class TilingTest : public ::testing::TestWithParam<TTileCase> {};

TEST_P(TilingTest, ViewersFillTheAreaBesideThePanelRowByRow)
{
    const TTileCase& c = GetParam();
    const QRect area = Area(c.area);
    const QRect panel = ControlPanelFrame(area);
    const TTileGrid grid = TileGrid(c.count);
    EXPECT_EQ(grid.rows, c.rows);
    EXPECT_EQ(grid.columns, c.columns);

    const std::vector<QRect> frames = ViewerTileFrames(area, panel.width(), c.count);
    ASSERT_EQ(int(frames.size()), c.count);
    EXPECT_EQ(frames.back(), c.last);
    EXPECT_EQ(frames.front().topLeft(), area.topLeft());
    for (int k = 0; k < c.count; ++k) {
        SCOPED_TRACE(k);
        const QRect& f = frames[std::size_t(k)];
        EXPECT_TRUE(area.contains(f)) << "outside the work area";
        EXPECT_FALSE(f.intersects(panel)) << "under the panel";
        EXPECT_EQ(f.size(), frames.front().size());
        for (int j = 0; j < k; ++j)
            EXPECT_FALSE(f.intersects(frames[std::size_t(j)])) << "overlaps viewer " << j;
        // Row-major: the next viewer is to the right, or starts the next row.
        if (k > 0) {
            const QRect& before = frames[std::size_t(k - 1)];
            if (k % c.columns)
                EXPECT_EQ(f.topLeft(), before.topRight() + QPoint(1, 0));
            else
                EXPECT_EQ(f.topLeft(), QPoint(area.left(), before.bottom() + 1));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Areas, TilingTest, ::testing::ValuesIn(TileCases), [](const auto& info) {
    return std::string(info.param.area) + "_" + std::to_string(info.param.count);
});

TEST(TilingTest, PanelAndSingleViewerStayInsideTheWorkArea)
{
    struct {
        QRect area;
        QRect panel;
        QRect single;
    } const cases[] = {
        {FullHd, {1760, 0, 160, 1040}, {0, 0, 1760, 1040}},
        {Shifted, {1252, 30, 128, 994}, {100, 30, 1152, 994}},
        {{-1280, 0, 1280, 1024}, {-1280 + 1152, 0, 128, 1024}, {-1280, 0, 1152, 1024}},  // screen left of the primary
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.area.x());
        EXPECT_EQ(ControlPanelFrame(c.area), c.panel);
        EXPECT_EQ(SingleViewerFrame(c.area, ControlPanelWidth(c.area)), c.single);
        EXPECT_EQ(c.panel.right(), c.area.right());
    }
    EXPECT_TRUE(ViewerTileFrames(FullHd, 160, 0).empty());
    EXPECT_EQ(TileGrid(0).rows, 0);
}

TEST(TilingTest, TheWindowFrameIsTakenOffTheCell)
{
    const QRect cell(676, 527, 576, 497);
    EXPECT_EQ(ClientRectInFrame(cell, QMargins(4, 24, 4, 4)), QRect(680, 551, 568, 469));
    EXPECT_EQ(ClientRectInFrame(cell, QMargins()), cell);
    // A frame larger than the cell leaves a window, not a negative size.
    EXPECT_EQ(ClientRectInFrame(QRect(0, 0, 10, 10), QMargins(8, 8, 8, 8)).size(), QSize(1, 1));
}

TEST(TilingTest, PanelButtonsAreCentredSquaresOneRowEach)
{
    struct {
        QSize client;
        int size;
        int left;
        int firstTop;
        int step;
    } const cases[] = {
        {{128, 480}, 76, 26, 10, 96},   // the row height decides: 0.8 x 96
        {{100, 1000}, 80, 10, 60, 200}, // the width decides: 0.8 x 100
        {{160, 1037}, 128, 16, 39, 207},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.client.height());
        const auto rects = PanelSlotRects(c.client);
        for (int k = 0; k < PanelSlotCount; ++k)
            EXPECT_EQ(rects[std::size_t(k)], QRect(c.left, c.firstTop + k * c.step, c.size, c.size)) << k;
    }
}

} // namespace

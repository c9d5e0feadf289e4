// Where the session's windows go: one to nine viewers tiled left of the
// control panel on two work areas (one at the screen's origin, one moved by
// bars at the left and top), the window frame taken off, the panel's squares.
#include "SessionLayout.h"

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << "(" << r.x() << "," << r.y() << " " << r.width() << "x" << r.height() << ")";
}

namespace {

const QRect FullHd(0, 0, 1920, 1040);    // panel 160 wide, viewers 1760
const QRect Shifted(100, 30, 1280, 994); // panel 128 (the least), viewers 1152

struct TTileCase {
    QRect area;
    int count;
    int columns;
    QRect last; // the last viewer's frame
};

const TTileCase TileCases[] = {
    {FullHd, 1, 1, {0, 0, 1760, 1040}},       {FullHd, 2, 2, {880, 0, 880, 1040}},
    {FullHd, 3, 3, {1172, 0, 586, 1040}},     {FullHd, 4, 2, {880, 520, 880, 520}},
    {FullHd, 5, 3, {586, 520, 586, 520}},     {FullHd, 6, 3, {1172, 520, 586, 520}},
    {FullHd, 7, 4, {880, 520, 440, 520}},     {FullHd, 8, 4, {1320, 520, 440, 520}},
    {FullHd, 9, 3, {1172, 692, 586, 346}},    {Shifted, 1, 1, {100, 30, 1152, 994}},
    {Shifted, 2, 2, {676, 30, 576, 994}},     {Shifted, 3, 3, {868, 30, 384, 994}},
    {Shifted, 4, 2, {676, 527, 576, 497}},    {Shifted, 5, 3, {484, 527, 384, 497}},
    {Shifted, 6, 3, {868, 527, 384, 497}},    {Shifted, 7, 4, {676, 527, 288, 497}},
    {Shifted, 8, 4, {964, 527, 288, 497}},    {Shifted, 9, 3, {868, 692, 384, 331}},
};

void PrintTo(const TTileCase& c, std::ostream* os) { *os << c.area.x() << " " << c.count; }

class TilingTest : public ::testing::TestWithParam<TTileCase> {};

TEST_P(TilingTest, ViewersFillTheAreaBesideThePanelRowByRow)
{
    const TTileCase& c = GetParam();
    const QRect panel = ControlPanelFrame(c.area);
    const std::vector<QRect> frames = ViewerTileFrames(c.area, panel.width(), c.count);
    ASSERT_EQ(int(frames.size()), c.count);
    EXPECT_EQ(TileGrid(c.count).columns, c.columns);
    EXPECT_EQ(frames.back(), c.last);
    for (int k = 0; k < c.count; ++k) {
        const QRect& f = frames[std::size_t(k)];
        EXPECT_EQ(f.size(), c.last.size()) << k;
        EXPECT_EQ(f.topLeft(), c.area.topLeft() + QPoint(k % c.columns * f.width(), k / c.columns * f.height())) << k;
        EXPECT_TRUE(c.area.contains(f) && !f.intersects(panel)) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Areas, TilingTest, ::testing::ValuesIn(TileCases), [](const auto& info) {
    return std::string(info.param.area.x() ? "Shifted_" : "FullHd_") + std::to_string(info.param.count);
});

TEST(TilingTest, PanelSingleViewerAndFramesStayInsideTheWorkArea)
{
    EXPECT_EQ(ControlPanelFrame(FullHd), QRect(1760, 0, 160, 1040));
    EXPECT_EQ(ControlPanelFrame(Shifted), QRect(1252, 30, 128, 994));
    EXPECT_EQ(ControlPanelFrame(QRect(-1280, 0, 1280, 1024)), QRect(-128, 0, 128, 1024)); // left of the primary
    EXPECT_EQ(SingleViewerFrame(Shifted, 128), QRect(100, 30, 1152, 994));
    EXPECT_TRUE(ViewerTileFrames(FullHd, 160, 0).empty());
    // The window frame comes off the cell; a frame larger than the cell leaves a window.
    EXPECT_EQ(ClientRectInFrame(QRect(676, 527, 576, 497), QMargins(4, 24, 4, 4)), QRect(680, 551, 568, 469));
    EXPECT_EQ(ClientRectInFrame(QRect(0, 0, 10, 10), QMargins(8, 8, 8, 8)).size(), QSize(1, 1));
}

TEST(TilingTest, PanelButtonsAreCentredSquaresOneRowEach)
{
    struct {
        QSize client;
        QRect first; // slot 0; the others follow one row height apart
        int row;
    } const cases[] = {
        {{128, 480}, {26, 10, 76, 76}, 96},     // 0.8 x the row height
        {{100, 1000}, {10, 60, 80, 80}, 200},   // 0.8 x the width
        {{160, 1037}, {16, 39, 128, 128}, 207}, // 39.5 + 207 k, truncated
    };
    for (const auto& c : cases) {
        const auto rects = PanelSlotRects(c.client);
        for (int k = 0; k < PanelSlotCount; ++k)
            EXPECT_EQ(rects[std::size_t(k)], c.first.translated(0, k * c.row)) << c.client.height() << " " << k;
    }
}

} // namespace

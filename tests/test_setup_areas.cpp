// The 48-cell area grids: the bit layout both ways, and the grids against the simulator.

#include "setup_test_support.h"

#include "pages/areas/area_mask.h"

namespace {

areas::Cells cells_ticked(std::initializer_list<int> numbers)
{
    areas::Cells cells{};
    for (int n : numbers) cells[static_cast<std::size_t>(n - 1)] = true;
    return cells;
}

TEST(AreaMask, PacksCellsRowByRowLeftmostCellInBitZero)
{
    EXPECT_EQ(areas::pack(cells_ticked({1})), (areas::Mask{0x01, 0, 0, 0, 0, 0}));
    EXPECT_EQ(areas::pack(cells_ticked({48})), (areas::Mask{0, 0, 0, 0, 0, 0x80}));
    EXPECT_EQ(areas::pack(cells_ticked({8, 9, 41})), (areas::Mask{0x80, 0x01, 0, 0, 0, 0x01}));
    EXPECT_EQ(areas::pack(areas::Cells{}), (areas::Mask{}));
}

TEST(AreaMask, UnpacksTheMaskIntoCells)
{
    const areas::Cells cells = areas::unpack({0xFF, 0x00, 0x00, 0x00, 0x00, 0x81});
    EXPECT_EQ(cells, cells_ticked({1, 2, 3, 4, 5, 6, 7, 8, 41, 48}));
    // Every single bit lands on its own cell and back.
    for (int n = 1; n <= areas::kCells; ++n) EXPECT_EQ(areas::unpack(areas::pack(cells_ticked({n}))), cells_ticked({n}));
}

// Sets a grid without sending, as a reply would.
void show_cells(TFKR58& w, std::array<QCheckBox*, 48>& boxes, const areas::Cells& cells)
{
    setup::ControlUpdate updating(w);
    for (std::size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(cells[i]);
}

struct GridCase {
    std::array<QCheckBox*, 48> TFKR58::*boxes;
    int cell_to_tick;
    areas::Cells before; // the grid before the click
    Bytes body;          // what the click sends
    std::uint8_t group;  // the setup group that reads it back
};

TEST_F(WindowTest, AClickSendsTheWholeGridAndAReloadReadsItBack)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    const GridCase cases[] = {
        {&TFKR58::BLCCheck, 1, {}, {0x23, 0x13, 0x02, 0x01, 0, 0, 0, 0, 0}, 1},
        {&TFKR58::MOTCheck, 48, {}, {0x23, 0x19, 0x01, 0, 0, 0, 0, 0, 0x80}, 4},
        {&TFKR58::WDRCheck, 41, cells_ticked({8, 9}), {0x23, 0x13, 0x04, 0x80, 0x01, 0, 0, 0, 0x01}, 2},
    };
    for (const GridCase& c : cases) {
        SCOPED_TRACE(c.body[2] * 256 + c.body[3]);
        auto& boxes = w->*c.boxes;
        show_cells(*w, boxes, c.before);
        camera.clear_received();
        // Toggled from code, as a click would (the interlocks may have disabled this grid).
        boxes[static_cast<std::size_t>(c.cell_to_tick - 1)]->toggle();
        ASSERT_TRUE(wait_received(1));
        ASSERT_TRUE(wait_idle());
        EXPECT_EQ(camera.received(), std::vector<Bytes>{expected_frame(c.body)});
        const auto g = setup_test::sim_group(camera, c.group);
        EXPECT_EQ(Bytes(g.begin(), g.begin() + 6), Bytes(c.body.begin() + 3, c.body.end()));

        show_cells(*w, boxes, {});
        w->ReLoadClick();
        ASSERT_TRUE(wait_idle());
        areas::Cells after{};
        for (std::size_t i = 0; i < boxes.size(); ++i) after[i] = boxes[i]->isChecked();
        EXPECT_EQ(areas::pack(after), (areas::Mask{c.body[3], c.body[4], c.body[5], c.body[6], c.body[7], c.body[8]}));
    }
    // Clearing the last ticked cell sends six zero bytes.
    camera.clear_received();
    w->MOTCheck[47]->toggle();
    ASSERT_TRUE(wait_received(1));
    EXPECT_EQ(camera.received().back(), expected_frame({0x23, 0x19, 0x01, 0, 0, 0, 0, 0, 0}));
}

TEST_F(WindowTest, GroupReplySetsTheGridAndAClickDuringASeriesSendsNothing)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    setup_test::feed_reply(*w, setup_test::group_reply(1, {0xFF, 0x00, 0x00, 0x00, 0x00, 0x81, 1, 4}));
    areas::Cells cells{};
    for (std::size_t i = 0; i < 48; ++i) cells[i] = w->BLCCheck[i]->isChecked();
    EXPECT_EQ(cells, cells_ticked({1, 2, 3, 4, 5, 6, 7, 8, 41, 48}));

    camera.clear_received();
    w->ReLoadClick();
    w->BLCCheck[20]->toggle(); // the series is running: the cell changes, nothing is sent
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), 15u);
}

} // namespace

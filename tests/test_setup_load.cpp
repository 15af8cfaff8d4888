// The Setup page loaded from the simulator: every control shows what the camera holds, and the
// page fits the fixed window.

#include "setup_test_support.h"
#include "support/screenshots.h"

#include "pages/areas/area_mask.h"
#include "widgets/spin_button.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>

using setup_test::shown;

namespace {

areas::Cells grid_cells(const std::array<QCheckBox*, 48>& boxes)
{
    areas::Cells cells{};
    for (std::size_t i = 0; i < boxes.size(); ++i) cells[i] = boxes[i]->isChecked();
    return cells;
}

areas::Cells sim_cells(const sim::SetupState::Group& g)
{
    return areas::unpack({g[0], g[1], g[2], g[3], g[4], g[5]});
}

TEST_F(WindowTest, FullLoadShowsEverySettingTheCameraHolds)
{
    // A communication ID range other than the form's 1..239, to see it arrive.
    setup_test::preset(camera, 6, 7, 5);
    setup_test::preset(camera, 6, 8, 200);
    TFKR58* w = open_window();
    EXPECT_TRUE(w->blcs->isHidden());
    ASSERT_TRUE(wait_idle());
    EXPECT_TRUE(fake_dialogs.messages.empty());
    std::array<sim::SetupState::Group, 11> g{};
    for (std::uint8_t i : {0, 1, 2, 3, 4, 5, 6, 7, 10}) g[i] = setup_test::sim_group(camera, i);

    EXPECT_EQ(w->TV->text(), "NTSC");
    EXPECT_EQ(w->Resolution->text(), "Hi-Resolution");
    EXPECT_EQ(w->ccd_x_max, 767);
    EXPECT_EQ(w->ccd_y_max, 256);

    struct Expect {
        QWidget* control;
        int value;
    };
    const Expect expected[] = {
        {w->Ctitle, g[0][0]},     {w->ID_POSI, g[0][1]},     {w->SenseUp, g[0][2]},   {w->Lens, g[0][3]},
        {w->DC_LVL, g[0][4]},     {w->ELCLVL, g[0][5]},      {w->Shutter_NT, g[0][6]}, {w->Shutter_PAL, g[0][6]},
        {w->AGC_SEL, g[0][7]},    {w->AGC_MAX, g[0][8]},     {w->DNR_SEL, g[0][9]},   {w->blcs, g[1][6]},
        {w->blc_lvl, g[1][7]},    {w->dbg_blcs, g[1][6]},    {w->wdr_eff_lvl, g[2][6]}, {w->Zoom, g[2][7]},
        {w->ZoomBar, g[2][8]},    {w->ENH_H, g[2][9]},       {w->ENH_V, g[2][10]},    {w->wb_select, g[3][0]},
        {w->atw_ofs_lvl, g[3][1]}, {w->wb_manu_r, g[3][2]},  {w->wb_manu_b, g[3][3]}, {w->r_y_lvl, g[3][5]},
        {w->b_y_lvl, g[3][6]},    {w->mot_sel, g[4][6]},     {w->mot_lvl, g[4][7]},   {w->mot_time, g[4][8]},
        {w->mot_osd, g[4][9]},    {w->FREEZE, g[5][0]},      {w->FRZ_MODE, g[5][1]},  {w->GAMMA, g[5][2]},
        {w->LANGUAGE, g[5][3]},   {w->SYNC, g[6][0]},        {w->COMM_MODE, g[6][6]}, {w->h_rev, g[7][0]},
        {w->v_rev, g[7][1]},      {w->Nega, g[7][2]},        {w->Priority, g[7][3]},  {w->MaskA, g[7][4]},
        {w->MaskB, g[7][5]},      {w->MaskC, g[7][6]},       {w->MaskD, g[7][7]},
    };
    for (const Expect& e : expected) EXPECT_EQ(shown(e.control), e.value) << e.control->objectName().toStdString();

    // V_PHASE: the maximum arrives before the position, which lies above the form's maximum 0.
    EXPECT_EQ(w->V_PHASE->maximum(), 512);
    EXPECT_EQ(w->V_PHASE->value(), 336);
    EXPECT_EQ(w->COMM_ID->text(), QString::number(g[6][5]));
    EXPECT_EQ(w->COMM_ID_UPDN->minimum(), 5);
    EXPECT_EQ(w->COMM_ID_UPDN->maximum(), 200);
    EXPECT_EQ(w->mask_limits, (std::array<std::uint8_t, 4>{g[10][0], g[10][1], g[10][2], g[10][3]}));

    EXPECT_EQ(grid_cells(w->BLCCheck), sim_cells(g[1]));
    EXPECT_EQ(grid_cells(w->WDRCheck), sim_cells(g[2]));
    EXPECT_EQ(grid_cells(w->MOTCheck), sim_cells(g[4]));
    EXPECT_FALSE(w->blcs->isHidden());
    EXPECT_EQ(w->blc_saved, g[1][6]);

    // Loading sent nothing but the fifteen reads, and left no track-bar timer running.
    EXPECT_EQ(camera.received_count(), 15u);
    for (QTimer* t : {w->DCTimer, w->LensTimer, w->AGCTimer, w->ATWTimer, w->wb_manu_r_timer, w->wb_manu_b_timer,
                      w->blc_lvl_timer, w->wdr_eff_Timer, w->mot_Timer, w->ZoomTimer, w->ENH_H_timer,
                      w->ENH_V_timer, w->r_y_timer, w->b_y_timer, w->V_PHASE_timer})
        EXPECT_FALSE(t->isActive()) << t->objectName().toStdString();
}

TEST_F(WindowTest, PageFitsTheWindowWithoutOverlapOrScrolling)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    EXPECT_FALSE(w->setup_scroll->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(w->setup_scroll->verticalScrollBar()->isVisible());

    // Every visible control of the page lies wholly inside the page and overlaps no other.
    std::vector<QWidget*> controls;
    for (QWidget* c : w->Panel4->findChildren<QWidget*>()) {
        if (!c->isVisible() || c->parentWidget() != c->window()->findChild<QWidget*>("Panel4")) continue;
        controls.push_back(c);
    }
    ASSERT_GT(controls.size(), 20u);
    const QRect page = w->setup_scroll->viewport()->rect();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const QRect r = controls[i]->geometry();
        EXPECT_TRUE(page.contains(r)) << controls[i]->objectName().toStdString();
        for (std::size_t j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(r.intersects(controls[j]->geometry()))
                << controls[i]->objectName().toStdString() << " / " << controls[j]->objectName().toStdString();
    }

    EXPECT_EQ(w->Panel5->size(), QSize(116, 88));
    EXPECT_EQ(w->BLCCheck[9]->geometry(), QRect(2 + 14, 2 + 14, 14, 14)); // cell 10: row 1, column 1
}

// The loaded window in the Release configuration, and the Setup page among all five.
TEST_F(WindowTest, ScreenshotOfTheLoadedPage)
{
    for (const auto& [tool_type, file] : {std::pair{TFKR58::Release, "release-window.png"},
                                          std::pair{TFKR58::Debug, "setup-page.png"}}) {
        const QString path = screenshot_path(file);
        if (path.isEmpty()) GTEST_SKIP() << "CAMERA_SCREENSHOTS not set";
        TFKR58* w = open_window(tool_type);
        ASSERT_TRUE(wait_idle());
        if (tool_type == TFKR58::Debug) {
            w->select_page(TFKR58::SetupPage);
            w->ReLoadClick();
            ASSERT_TRUE(wait_idle());
        }
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
        ASSERT_TRUE(w->grab().save(path));
    }
}

} // namespace

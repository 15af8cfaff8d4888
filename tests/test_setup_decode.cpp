// The Setup page's reply decoding and interlocks, fed with replies directly or through the
// simulator.

#include "setup_test_support.h"

#include "widgets/spin_button.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using setup_test::feed_reply;
using setup_test::group_reply;
using setup_test::shown;

namespace {

Bytes register_reply(std::uint8_t n, std::uint16_t value, std::uint8_t sub = 0x0A)
{
    return {0xA0, sub, n, static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)};
}

// Everything the Setup decoders can write, as numbers.
std::vector<int> snapshot(TFKR58& w)
{
    std::vector<int> values;
    const QList<QWidget*> controls = w.findChildren<QWidget*>();
    for (QWidget* c : controls) {
        if (qobject_cast<RadioGroup*>(c) || qobject_cast<QSlider*>(c) || qobject_cast<QComboBox*>(c)
            || qobject_cast<QCheckBox*>(c))
            values.push_back(shown(c));
        if (auto* e = qobject_cast<QLineEdit*>(c)) values.push_back(e->text().toInt(nullptr, 16));
    }
    values.insert(values.end(), w.mask_limits.begin(), w.mask_limits.end());
    values.insert(values.end(), w.mask_view.begin(), w.mask_view.end());
    values.push_back(w.blc_saved);
    values.push_back(w.V_PHASE->maximum());
    return values;
}

class SetupDecodeTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        w = open_window();
        ASSERT_TRUE(wait_idle());
    }
    TFKR58* w = nullptr;
};

TEST_F(SetupDecodeTest, GroupsNotReadByTheToolChangeNothing)
{
    const std::vector<int> before = snapshot(*w);
    for (std::uint8_t group : {8, 9, 11, 0x50, 0xFF}) {
        feed_reply(*w, group_reply(group, Bytes(11, 0x05)));
        EXPECT_EQ(snapshot(*w), before) << int(group);
    }
    // A refused read decodes nothing either.
    feed_reply(*w, {0x21, 0x50, 0x03, 4, 8, 8, 8, 8, 8, 8});
    EXPECT_EQ(snapshot(*w), before);
}

TEST_F(SetupDecodeTest, MaskRepliesGiveTheViewInDrawingUnits)
{
    feed_reply(*w, {0xA0, 0x1F, 0x14, 10, 43, 100, 44});
    feed_reply(*w, {0xA0, 0x1F, 0x0F, 10, 43, 100, 44});
    EXPECT_EQ(w->mask_view, (std::array<std::int32_t, 4>{}));
    EXPECT_FALSE(w->mask_on_timer->isActive());

    // NTSC: vertical values in camera lines of 0.86 pixel, truncated.
    feed_reply(*w, {0xA0, 0x1F, 0x13, 10, 43, 100, 44});
    EXPECT_EQ(w->mask_view, (std::array<std::int32_t, 4>{10, 50, 100, 51}));
    EXPECT_TRUE(w->mask_on_timer->isActive());

    feed_reply(*w, register_reply(0x40, 0x0001));
    feed_reply(*w, {0xA0, 0x1F, 0x10, 10, 43, 100, 44});
    EXPECT_EQ(w->mask_view, (std::array<std::int32_t, 4>{10, 43, 100, 44}));
}

TEST_F(SetupDecodeTest, HueRegistersAreSignAndMagnitude)
{
    struct Case {
        std::uint8_t n;
        std::uint16_t value;
        QSlider* slider;
        int position;
    };
    const Case cases[] = {
        {0x2C, 0x01FF, w->RYP, -255}, {0x2C, 0x00FF, w->RYP, 255}, {0x2C, 0xFEFF, w->RYP, 255},
        {0x2D, 0x0105, w->BYP, -5},   {0x2E, 0x0007, w->RYN, 7},   {0x2F, 0x0180, w->BYN, -128},
    };
    for (const Case& c : cases) {
        feed_reply(*w, register_reply(c.n, c.value, c.n == 0x2F ? 0x0B : 0x0A));
        EXPECT_EQ(c.slider->value(), c.position) << std::hex << c.value;
        EXPECT_EQ((*w->param_image)[c.n], c.value);
    }
    feed_reply(*w, register_reply(0x2B, 0x8040));
    EXPECT_EQ(w->CromaBY->value(), 0x80);
    EXPECT_EQ(w->CromaRY->value(), 0x40);
}

TEST_F(SetupDecodeTest, ResolutionAndTvSystemFollowTheirBits)
{
    feed_reply(*w, register_reply(0x01, 0x4000));
    EXPECT_EQ(w->Resolution->text(), "Hi-Resolution");
    EXPECT_EQ(w->ccd_x_max, 767);
    feed_reply(*w, register_reply(0x01, 0xBFFF));
    EXPECT_EQ(w->Resolution->text(), "Lo-Resolution");
    EXPECT_EQ(w->ccd_x_max, 511);

    feed_reply(*w, register_reply(0x40, 0x0001));
    EXPECT_EQ(w->TV->text(), "PAL");
    EXPECT_EQ(w->pal_mode, 1);
    EXPECT_EQ(w->ccd_y_max, 312);
    EXPECT_FALSE(w->Shutter_PAL->isHidden());
    EXPECT_TRUE(w->Shutter_NT->isHidden());
    feed_reply(*w, register_reply(0x40, 0x0000));
    EXPECT_EQ(w->TV->text(), "NTSC");
    EXPECT_EQ(w->pal_mode, 0);
    EXPECT_EQ(w->ccd_y_max, 256);
    EXPECT_TRUE(w->Shutter_PAL->isHidden());
}

TEST_F(SetupDecodeTest, VPhaseMaximumArrivesBeforeItsPosition)
{
    {
        setup::ControlUpdate updating(*w);
        w->V_PHASE->setMaximum(0);
    }
    feed_reply(*w, group_reply(6, {1, 0x01, 0x50, 0x02, 0x00, 42, 1, 3, 99}));
    EXPECT_EQ(w->V_PHASE->maximum(), 512);
    EXPECT_EQ(w->V_PHASE->value(), 336);
    EXPECT_EQ(w->COMM_ID->text(), "42");
    EXPECT_EQ(w->COMM_MODE->itemIndex(), 1);
    EXPECT_EQ(w->COMM_ID_UPDN->minimum(), 3);
    EXPECT_EQ(w->COMM_ID_UPDN->maximum(), 99);
    EXPECT_TRUE(w->V_PHASE->isEnabled()); // SYNC "EXT"
}

TEST_F(SetupDecodeTest, ValuesBeyondAControlsRangeClampOrShowNothing)
{
    feed_reply(*w, group_reply(0, {0, 0, 9, 5, 20, 8, 12, 1, 6, 1}));
    EXPECT_EQ(w->SenseUp->currentIndex(), -1);
    EXPECT_EQ(w->Shutter_NT->currentIndex(), -1);
    EXPECT_EQ(w->Shutter_PAL->currentIndex(), -1);
    EXPECT_EQ(w->Lens->itemIndex(), 1);
    EXPECT_EQ(w->DC_LVL->value(), 8);
}

TEST_F(SetupDecodeTest, DelayReplyGivesOneDigitPerEdit)
{
    feed_reply(*w, {0xA0, 0x42, 0x1A, 0x2B});
    EXPECT_EQ(w->rg_width->text(), "1");
    EXPECT_EQ(w->shd_delay->text(), "A");
    EXPECT_EQ(w->shp_delay->text(), "2");
    EXPECT_EQ(w->rg_delay->text(), "B");
}

TEST_F(SetupDecodeTest, InterlocksFollowTheSelections)
{
    struct WbRule {
        bool awc, atw, manual;
    };
    const WbRule wb[] = {{false, true, false}, {true, false, false}, {false, false, false}, {false, false, false},
                         {false, false, true}};
    for (std::uint8_t item = 0; item < 5; ++item) {
        feed_reply(*w, group_reply(3, {item, 4, 4, 4, 0, 4, 4}));
        EXPECT_EQ(w->AWC->isEnabled(), wb[item].awc) << int(item);
        EXPECT_EQ(w->atw_ofs_lvl->isEnabled(), wb[item].atw) << int(item);
        EXPECT_EQ(w->wb_manu_r->isEnabled(), wb[item].manual) << int(item);
        EXPECT_EQ(w->wb_manu_b->isEnabled(), wb[item].manual) << int(item);
    }

    // Title off, AES, AGC off.
    feed_reply(*w, group_reply(0, {0, 0, 0, 1, 4, 4, 0, 0, 4, 0}));
    EXPECT_FALSE(w->ID_POSI->isEnabled());
    EXPECT_FALSE(w->CName->isEnabled());
    EXPECT_FALSE(w->DC_LVL->isEnabled());
    EXPECT_TRUE(w->ELCLVL->isEnabled());
    EXPECT_FALSE(w->Shutter_NT->isEnabled());
    EXPECT_FALSE(w->AGC_MAX->isEnabled());
    EXPECT_FALSE(w->AGC_MAN->isEnabled());

    // Motion off: its level, time, OSD and cells are disabled.
    feed_reply(*w, group_reply(4, {0, 0, 0, 0, 0, 0, 0, 4, 0, 0}));
    for (QWidget* c : std::initializer_list<QWidget*>{w->mot_time, w->mot_osd, w->mot_lvl, w->mot_panel})
        EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
    EXPECT_FALSE(w->MOTCheck[0]->isEnabled());

    // Freeze on: flips, sense-up and the zoom group are disabled; zoom off disables its level.
    feed_reply(*w, group_reply(5, {1, 0, 0, 0}));
    feed_reply(*w, group_reply(2, {0, 0, 0, 0, 0, 0, 4, 0, 4, 4, 4}));
    for (QWidget* c : std::initializer_list<QWidget*>{w->h_rev, w->v_rev, w->SenseUp, w->ZOOM_GRP, w->ZoomBar})
        EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
    feed_reply(*w, group_reply(5, {0, 0, 0, 0}));
    EXPECT_TRUE(w->h_rev->isEnabled());
    EXPECT_TRUE(w->ZOOM_GRP->isEnabled());

    // The Debug page's WDR test follows its own back-light copy.
    {
        setup::ControlUpdate updating(*w);
        w->dbg_blcs->setItemIndex(2);
        w->wdr_test_sel->setItemIndex(1);
    }
    feed_reply(*w, register_reply(0x05, 0));
    EXPECT_TRUE(w->wdr_test_sel->isEnabled());
    EXPECT_TRUE(w->wdr_test_onlvl->isEnabled());
    feed_reply(*w, group_reply(1, {0, 0, 0, 0, 0, 0, 1, 4})); // back light ON
    EXPECT_FALSE(w->wdr_test_sel->isEnabled());
    EXPECT_TRUE(w->blc_grp->isEnabled());
    EXPECT_FALSE(w->wdr_grp->isEnabled());
}

TEST_F(SetupDecodeTest, DecodedValuesAreNeverSentBack)
{
    // A reply decoded outside a read series (after a time-out, say) starts no track-bar timer.
    ASSERT_EQ(w->trans_no, 0u);
    feed_reply(*w, group_reply(0, {1, 0, 1, 0, 1, 1, 1, 1, 1, 1}));
    feed_reply(*w, group_reply(3, {4, 1, 1, 1, 0, 1, 1}));
    feed_reply(*w, group_reply(6, {1, 0x00, 0x10, 0x02, 0x00, 1, 0, 1, 239}));
    EXPECT_FALSE(w->comm_busy);
    for (QTimer* t : w->findChildren<QTimer*>()) {
        if (t == w->SendTimer || t == w->cursor_timer) continue;
        EXPECT_FALSE(t->isActive()) << t->objectName().toStdString();
    }
}

TEST_F(WindowTest, AesHidesWdrWhileTheSavedChoiceIsKept)
{
    setup_test::preset(camera, 0, 3, 1); // AES
    setup_test::preset(camera, 1, 6, 2); // WDR
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(w->blcs->itemIndex(), 0);
    EXPECT_EQ(w->blc_saved, 2);
    EXPECT_EQ(w->dbg_blcs->itemIndex(), 2);
    EXPECT_FALSE(w->wdr_grp->isEnabled());

    w->Lens->setItemIndex(0); // ALC, shutter "OFF": the reply brings WDR back
    ASSERT_TRUE(wait_received(16));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(w->blcs->itemIndex(), 2);
    EXPECT_TRUE(w->wdr_grp->isEnabled());
}

TEST_F(WindowTest, SecondAnswerResetsSyncOnlyOnTheSetupPage)
{
    TFKR58* w = open_window(TFKR58::Debug);
    ASSERT_TRUE(wait_idle());
    w->SYNC->setItemIndex(1); // sends, but the Debug page reads no reply
    ASSERT_TRUE(wait_idle());
    feed_reply(*w, {0xA8});
    EXPECT_EQ(w->SYNC->itemIndex(), 1);
    ASSERT_EQ(fake_dialogs.messages.size(), 1u) << "the Debug page reports it as any other refusal";
    fake_dialogs.messages.clear();

    w->select_page(TFKR58::SetupPage);
    feed_reply(*w, {0xA8});
    EXPECT_EQ(w->SYNC->itemIndex(), 0);
    EXPECT_FALSE(w->comm_busy);
    EXPECT_FALSE(w->V_PHASE->isEnabled());
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(WindowTest, RefusedGroupReadsLeaveBackLightHiddenAndTheSeriesGoesOn)
{
    camera.inject_for_command(sim::Fault::Refuse, 0x33, 0x50);
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), 15u);
    EXPECT_TRUE(w->blcs->isHidden());
    ASSERT_EQ(fake_dialogs.messages.size(), 9u);
    EXPECT_EQ(fake_dialogs.messages[0].text, " Error   ");
    EXPECT_EQ(fake_dialogs.messages[0].caption, "ERROR");
}

} // namespace

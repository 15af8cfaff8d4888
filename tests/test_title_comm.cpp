// The "Camera ID", "COMM." and "Mask" switches against the simulator: the title's four blocks on
// the wire, the title read back with the page, the title and communication settings and the mask
// on/off commands.

#include "setup_test_support.h"

#include "widgets/spin_button.h"

#include <QLineEdit>
#include <QPushButton>

using setup_test::feed_reply;

namespace {

constexpr std::uint16_t S = 0x00FD; // the space code
using Title = sim::SetupState::Title;

// The write of one title block: 0x23 0x10 0x01 b, then five codes high byte first.
Bytes block_write(std::uint8_t block, const Title& title)
{
    Bytes body{0x23, 0x10, 0x01, block};
    for (std::size_t i = 0; i < 5; ++i) {
        const std::uint16_t code = title[5 * block + i];
        body.push_back(static_cast<std::uint8_t>(code >> 8));
        body.push_back(static_cast<std::uint8_t>(code & 0xFF));
    }
    return body;
}

// The camera's answer to the read of one title block.
Bytes block_read_reply(std::uint8_t block, const Title& title)
{
    Bytes body = block_write(block, title);
    body[0] = 0xA0;
    return body;
}

Title sim_title(sim::SimCamera& camera)
{
    return camera.with_model([](sim::CameraModel& m) { return m.setup().title(); });
}

struct TitleCase {
    const char* name;
    QString typed;
    Title codes;       // what the camera receives and keeps
    QString read_back; // what a reload shows
};

const TitleCase kTitleCases[] = {
    {"CameraOne", "CAM 1", {0x0C, 0x0A, 0x16, S, 0x01, S, S, S, S, S, S, S, S, S, S, S, S, S, S, S},
     "CAM 1               "},
    {"UnderscoreGoesOutAsSpace", "a_b", {0x10A, S, 0x10B, S, S, S, S, S, S, S, S, S, S, S, S, S, S, S, S, S},
     "a b                 "},
    // The edit holds at most 20 characters: the last two typed are dropped.
    {"TwentyCharactersFillAllBlocks", "ABCDEFGHIJKLMNOPQRSTUV",
     {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B,
      0x1C, 0x1D},
     "ABCDEFGHIJKLMNOPQRST"},
};

class TitleWriteTest : public WindowTest, public ::testing::WithParamInterface<TitleCase> {};

TEST_P(TitleWriteTest, SetSendsTheFourBlocksInTurnAndAReloadReadsTheTitleBack)
{
    const TitleCase& c = GetParam();
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();

    w->CName->setText(c.typed);
    w->SetTitle->click();
    EXPECT_FALSE(w->SetTitle->isEnabled()) << "disabled while the blocks go out";
    ASSERT_TRUE(wait_received(4));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received(), (std::vector<Bytes>{expected_frame(block_write(0, c.codes)),
                                                     expected_frame(block_write(1, c.codes)),
                                                     expected_frame(block_write(2, c.codes)),
                                                     expected_frame(block_write(3, c.codes))}));
    EXPECT_TRUE(w->SetTitle->isEnabled());
    EXPECT_EQ(sim_title(camera), c.codes);
    EXPECT_TRUE(fake_dialogs.messages.empty());

    w->CName->clear();
    w->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(w->CName->text(), c.read_back);
    EXPECT_EQ(w->title_text, c.read_back);
}

INSTANTIATE_TEST_SUITE_P(Title, TitleWriteTest, ::testing::ValuesIn(kTitleCases),
                         [](const ::testing::TestParamInfo<TitleCase>& info) { return std::string(info.param.name); });

TEST_F(WindowTest, TitleSetDuringAReadSeriesSendsNothing)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    const Title before = sim_title(camera);
    camera.clear_received();
    w->ReLoadClick();
    w->CName->setText(QStringLiteral("XYZ"));
    w->SetTitle->click();
    EXPECT_TRUE(w->SetTitle->isEnabled());
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), page_series(TFKR58::SetupPage).size());
    for (const Bytes& unit : camera.received()) EXPECT_EQ(unit[1], 0x33) << "only the page's reads";
    EXPECT_EQ(sim_title(camera), before);
    EXPECT_EQ(w->CName->text(), QStringLiteral("CAM 1               ")); // the camera's title again
}

TEST_F(WindowTest, ARefusedTitleBlockEndsTheWriteUntilTheNextRead)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    camera.inject(sim::Fault::Refuse, 1);
    w->CName->setText(QStringLiteral("NEW"));
    w->SetTitle->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_dialogs.messages.empty(); }, 15000));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(fake_dialogs.messages[0].text, " Error   ");
    EXPECT_EQ(camera.received_count(), 1u) << "no further block after the refusal";
    EXPECT_FALSE(w->SetTitle->isEnabled());

    w->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    EXPECT_TRUE(w->SetTitle->isEnabled());
    // The simulator refuses after taking the block: the camera holds block 0 new, the rest old.
    EXPECT_EQ(w->CName->text(), QStringLiteral("NEW                 "));
}

// The read side on its own: replies fed straight into the decoders.
TEST_F(WindowTest, TitleReadTakesOnlyACompleteReadInBlockOrder)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    const Title cam1 = kTitleCases[0].codes;
    Title odd = cam1;
    odd[0] = 0xFFFF; // codes without a character read as spaces
    odd[1] = 0x0777;
    for (std::uint8_t b = 0; b < 4; ++b) feed_reply(*w, block_read_reply(b, odd));
    EXPECT_EQ(w->CName->text(), QStringLiteral("  M 1               "));

    // Blocks 1..3 without block 0 (refused or lost) must not be appended to the previous title.
    w->CName->setText(QStringLiteral("KEEP"));
    w->SetTitle->setEnabled(false);
    for (std::uint8_t b = 1; b < 4; ++b) feed_reply(*w, block_read_reply(b, cam1));
    EXPECT_EQ(w->CName->text(), QStringLiteral("KEEP"));
    EXPECT_TRUE(w->SetTitle->isEnabled());

    // A read that stops before block 3 leaves the edit alone.
    for (std::uint8_t b = 0; b < 3; ++b) feed_reply(*w, block_read_reply(b, cam1));
    EXPECT_EQ(w->CName->text(), QStringLiteral("KEEP"));
}

TEST_F(WindowTest, CommIdSetSendsTheShownNumberAndLeavesTheLinkIdAlone)
{
    setup_test::preset(camera, 6, 5, 5); // the camera's communication ID
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    ASSERT_EQ(w->COMM_ID->text(), QStringLiteral("5"));
    camera.clear_received();

    w->COMM_ID->setText(QStringLiteral("17"));
    w->COMM_ID_SET_BTN->click();
    ASSERT_TRUE(wait_received(1));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received(), std::vector<Bytes>{expected_frame({0x23, 0x28, 0x00, 0x11})});
    EXPECT_EQ(w->IDUpDown->position(), 1);
    EXPECT_EQ(setup_test::sim_group(camera, 6)[5], 17);

    w->COMM_ID->setText(QStringLiteral("9"));
    w->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(w->COMM_ID->text(), QStringLiteral("17"));
}

} // namespace

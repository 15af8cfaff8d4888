// The Debug page against the simulator: register, EEPROM and OSD access, the RAM dump, the area
// samples, the AGC log, the raw command and the read-outs, byte for byte on the wire.

#include "debug_test_support.h"
#include "support/screenshots.h"

#include "link/hex_text.h"
#include "pages/setup/setup_support.h"
#include "widgets/radio_group.h"
#include "widgets/spin_button.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

namespace {

std::vector<Bytes> frames_of(const std::vector<Bytes>& bodies)
{
    std::vector<Bytes> out;
    for (const Bytes& b : bodies) out.push_back(expected_frame(b));
    return out;
}

QStringList memo_lines(const QPlainTextEdit* memo) { return memo->toPlainText().split(QLatin1Char('\n')); }

class DebugRegisters : public DebugPageTest {
protected:
    // Selects a register; the page reads it and shows its value.
    void select_register(int reg)
    {
        const std::size_t before = camera.received_count();
        w->DspAdr->setCurrentIndex(reg);
        ASSERT_TRUE(wait_exchanges(before + 1));
    }
};

TEST_F(DebugRegisters, FourDigitsWriteTwoDoNotAndNoWriteSkipsTheEeprom)
{
    EXPECT_EQ(w->DspAdr->currentIndex(), -1);
    EXPECT_EQ(w->DspAdr->maxVisibleItems(), 16);
    // The open list shows 16 rows, whatever the style would otherwise make of a long drop-down list.
    w->DspAdr->showPopup();
    const QAbstractItemView* list = w->DspAdr->view();
    ASSERT_TRUE(QTest::qWaitFor([list] { return list->isVisible(); }));
    EXPECT_EQ(list->viewport()->height() / list->sizeHintForRow(0), 16);
    w->DspAdr->hidePopup();
    // Without a register the value field sends nothing.
    type(w->DspData, QStringLiteral("1234"));
    select_register(0x23);
    EXPECT_EQ(w->DspData->text(), QStringLiteral("0100")); // the read-back, not echoed as a write

    type(w->DspData, QStringLiteral("12"));
    type(w->DspData, QStringLiteral("1234"));
    ASSERT_TRUE(wait_exchanges(2));
    w->NoWrite->setChecked(true);
    type(w->DspData, QStringLiteral("abcd"));
    ASSERT_TRUE(wait_exchanges(3));
    EXPECT_EQ(camera.received(), frames_of({{0x33, 0x0A, 0x23}, {0x23, 0x0A, 0x23, 0x12, 0x34}, {0x23, 0x0B, 0x23, 0xAB, 0xCD}}));
    EXPECT_TRUE(fake_dialogs.messages.empty());

    // Only the write with the EEPROM survives the camera's reset.
    camera.with_model([](sim::CameraModel& m) {
        EXPECT_EQ(m.register_value(0x23), 0xABCD);
        m.power_on_reset();
        EXPECT_EQ(m.register_value(0x23), 0x1234);
        return 0;
    });
}

TEST_F(DebugRegisters, MaskedSpinStepsTheFieldAndAZeroMaskChangesNothing)
{
    select_register(0x30);
    type(w->DspRadix, QStringLiteral("00f0"));
    EXPECT_EQ(w->DspRadix->text(), QStringLiteral("00F0"));
    type(w->DspData, QStringLiteral("12F4"));
    ASSERT_TRUE(wait_exchanges(2));
    w->DspDatSpin->upButton()->click();
    EXPECT_EQ(w->DspData->text(), QStringLiteral("1204"));
    ASSERT_TRUE(wait_exchanges(3));
    w->DspDatSpin->downButton()->click();
    EXPECT_EQ(w->DspData->text(), QStringLiteral("12F4"));
    ASSERT_TRUE(wait_exchanges(4));
    EXPECT_EQ(camera.received()[2], expected_frame({0x23, 0x0A, 0x30, 0x12, 0x04}));
    EXPECT_EQ(camera.received()[3], expected_frame({0x23, 0x0A, 0x30, 0x12, 0xF4}));

    type(w->DspRadix, QStringLiteral("0000"));
    w->DspDatSpin->upButton()->click();
    w->DspDatSpin->downButton()->click();
    EXPECT_EQ(w->DspData->text(), QStringLiteral("12F4"));
    type(w->DspRadix, QStringLiteral("wxyz"));
    EXPECT_EQ(w->DspRadix->text(), QStringLiteral("FFFF"));
    EXPECT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), 4u);
}

TEST_F(DebugRegisters, ReadBacksReachOnlyTheirOwnRegisterAndNeverEchoAsWrites)
{
    select_register(0x23);
    // A read of register 0x40 while 0x23 is shown leaves the field alone.
    w->SendBuffer->setText(QStringLiteral("33 0A 40"));
    w->RamSend->click();
    ASSERT_TRUE(wait_exchanges(2));
    EXPECT_EQ(w->DspData->text(), QStringLiteral("0100"));

    // A read-back that arrives during the page's read series must not swallow the next value.
    select_register(0x01);
    camera.with_model([](sim::CameraModel& m) { m.set_register(0x01, 0x4C21); return 0; });
    forget_traffic();
    w->ReLoadClick();
    ASSERT_TRUE(wait_exchanges(page_series(TFKR58::DebugPage).size()));
    EXPECT_EQ(w->DspData->text(), QStringLiteral("4C21"));
    EXPECT_EQ(camera.received(), frames_of(page_series(TFKR58::DebugPage)));
    forget_traffic();
    type(w->DspData, QStringLiteral("4C20"));
    ASSERT_TRUE(wait_exchanges(1));
    EXPECT_EQ(camera.received(), frames_of({{0x23, 0x0A, 0x01, 0x4C, 0x20}}));
}

TEST_F(DebugRegisters, EepromWordsReadWriteAndTheAddressWraps)
{
    camera.with_model([](sim::CameraModel& m) { m.set_eeprom_word(0x10, 0x2468); return 0; });
    type(w->eepadr, QStringLiteral("0010"));
    ASSERT_TRUE(wait_exchanges(1));
    EXPECT_EQ(w->Eepdata->text(), QStringLiteral("2468"));
    type(w->Eepdata, QStringLiteral("ABCD"));
    ASSERT_TRUE(wait_exchanges(2));
    w->EEP_RAM->setChecked(true);
    w->CSpinButton7->upButton()->click(); // mask FFFF: the whole word counts up
    ASSERT_TRUE(wait_exchanges(3));
    EXPECT_EQ(camera.received(), frames_of({{0x33, 0x0C, 0x00, 0x10},
                                            {0x23, 0x0C, 0x00, 0x10, 0xAB, 0xCD},
                                            {0x23, 0x0F, 0x00, 0x10, 0xAB, 0xCE}}));
    camera.with_model([](sim::CameraModel& m) { EXPECT_EQ(m.eeprom_word(0x10), 0xABCE); return 0; });

    forget_traffic();
    type(w->eepadr, QStringLiteral("03FF"));
    ASSERT_TRUE(wait_exchanges(1));
    w->CSpinButton6->upButton()->click();
    EXPECT_EQ(w->eepadr->text(), QStringLiteral("0000"));
    ASSERT_TRUE(wait_exchanges(2));
    w->CSpinButton6->downButton()->click();
    EXPECT_EQ(w->eepadr->text(), QStringLiteral("03FF"));
    ASSERT_TRUE(wait_exchanges(3));
    EXPECT_EQ(camera.received()[1], expected_frame({0x33, 0x0C, 0x00, 0x00}));
    EXPECT_EQ(camera.received()[2], expected_frame({0x33, 0x0C, 0x03, 0xFF}));

    // An address past the EEPROM sends no write.
    forget_traffic();
    w->eepadr->setText(QStringLiteral("0400"));
    ASSERT_TRUE(wait_idle());
    type(w->Eepdata, QStringLiteral("1111"));
    EXPECT_TRUE(wait_idle());
    EXPECT_EQ(received_bodies(1), (std::vector<Bytes>{{0x33}}));
}

TEST_F(DebugRegisters, EraseAllAsksAndOnYesClearsTheLastWordThenResets)
{
    fake_dialogs.confirm_answer = false;
    w->Button2->click();
    ASSERT_EQ(fake_dialogs.confirmations.size(), 1u);
    EXPECT_EQ(fake_dialogs.confirmations[0].text, QStringLiteral("Are you sure ? "));
    EXPECT_EQ(camera.received_count(), 0u);

    fake_dialogs.confirm_answer = true;
    w->Button2->click();
    ASSERT_TRUE(wait_exchanges(2));
    EXPECT_EQ(camera.received(), frames_of({{0x23, 0x0C, 0x03, 0xFF, 0x00, 0x00}, {0xF3}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.with_model([](sim::CameraModel& m) { return m.reset_count(); }) == 1; }));
    camera.with_model([](sim::CameraModel& m) { EXPECT_EQ(m.eeprom_word(0x3FF), 0); return 0; });
}

TEST_F(DebugRegisters, KeysTypedOnEraseAllPressMenuKeysAndNeverErase)
{
    QTest::keyClick(w->Button2, '8');
    ASSERT_TRUE(wait_exchanges(1));
    QTest::keyClick(w->Button2, '3');
    EXPECT_TRUE(wait_idle());
    EXPECT_EQ(camera.received(), frames_of({{0x23, 0x32, 0x01}}));
    EXPECT_TRUE(fake_dialogs.confirmations.empty());
}

TEST_F(DebugRegisters, WritingTheLastWordByHandAlsoResets)
{
    w->eepadr->setText(QStringLiteral("03FF"));
    ASSERT_TRUE(wait_exchanges(1));
    type(w->Eepdata, QStringLiteral("0001"));
    ASSERT_TRUE(wait_exchanges(3));
    EXPECT_EQ(camera.received()[1], expected_frame({0x23, 0x0C, 0x03, 0xFF, 0x00, 0x01}));
    EXPECT_EQ(camera.received()[2], expected_frame({0xF3}));
}

TEST_F(DebugRegisters, OsdTestValueIsSentInTheChosenWidth)
{
    type(w->osdt, QStringLiteral("12"));
    type(w->osdt, QStringLiteral("1234"));
    ASSERT_TRUE(wait_exchanges(1));
    w->OSD->setItemIndex(1);
    type(w->osdt, QStringLiteral("ABCD"));
    ASSERT_TRUE(wait_exchanges(2));
    EXPECT_EQ(camera.received(), frames_of({{0x23, 0x0E, 0x00, 0x34}, {0x23, 0x0E, 0x01, 0xAB, 0xCD}}));
    camera.with_model([](sim::CameraModel& m) { EXPECT_EQ(m.debug().osd_test, 0xABCD); return 0; });
}

// Any reply code but an acceptance is an error here; a second answer (0xA8) too.
TEST_F(DebugRegisters, RefusedReplyIsReported)
{
    struct Case {
        const char* address;
        sim::Fault fault;
    };
    for (const Case c : {Case{"FFFF", sim::Fault::None}, Case{"0010", sim::Fault::SecondAnswer}}) {
        SCOPED_TRACE(sim::fault_name(c.fault));
        forget_traffic();
        if (c.fault != sim::Fault::None) camera.inject(c.fault, 1);
        w->eepadr->setText(QString::fromLatin1(c.address));
        ASSERT_TRUE(wait_exchanges(1));
        ASSERT_EQ(fake_dialogs.messages.size(), 1u);
        EXPECT_EQ(fake_dialogs.messages[0].text, QStringLiteral(" Error "));
        EXPECT_EQ(fake_dialogs.messages[0].caption, QStringLiteral("ERR"));
        EXPECT_EQ(w->Eepdata->text(), QStringLiteral("Data"));
    }
}

// ---- RAM, area samples, AGC log ----

class DebugRam : public DebugPageTest {
protected:
    std::vector<Bytes> ram_reads(int first, int count)
    {
        std::vector<Bytes> reads;
        for (int a = first; a < first + count; a += 2)
            reads.push_back({0x33, 0x0D, static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a & 0xFF), 0x01});
        return reads;
    }
    QString ram_line(int first)
    {
        return camera.with_model([first](sim::CameraModel& m) {
            QString line;
            for (int k = 0; k < 16; ++k) line += hex_byte_text(m.debug().ram_at(static_cast<std::size_t>(first + k))) + QLatin1Char(' ');
            return line;
        });
    }
};

TEST_F(DebugRam, AddressAlignsToSixteenAndTheDumpTakesEightReads)
{
    w->ramAdr->setText(QStringLiteral("E80F"));
    ASSERT_TRUE(wait_exchanges(8));
    EXPECT_EQ(w->ramAdr->text(), QStringLiteral("E800"));
    EXPECT_EQ(camera.received(), frames_of(ram_reads(0xE800, 16)));
    EXPECT_EQ(w->RdAdr->toPlainText(), QStringLiteral("E800"));
    EXPECT_EQ(memo_lines(w->Memo1), QStringList{ram_line(0xE800)});
    w->ramAdr->setText(QStringLiteral("E810"));
    ASSERT_TRUE(wait_exchanges(16));

    // A count of 1 still reads two bytes and shows one line, and no full-line address.
    forget_traffic();
    w->RamCount->setText(QStringLiteral("1"));
    ASSERT_TRUE(wait_exchanges(1));
    EXPECT_EQ(camera.received(), frames_of(ram_reads(0xE810, 2)));
    EXPECT_EQ(memo_lines(w->Memo1).size(), 1);
    EXPECT_EQ(memo_lines(w->Memo1)[0].left(6), ram_line(0xE810).left(6));
    EXPECT_TRUE(w->RdAdr->toPlainText().isEmpty());

    // Outside the RAM only the address column changes.
    forget_traffic();
    w->RamCount->setText(QStringLiteral("20"));
    ASSERT_TRUE(wait_exchanges(16));
    forget_traffic();
    w->ramAdr->setText(QStringLiteral("D000"));
    EXPECT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), 0u);
    EXPECT_EQ(w->RdAdr->toPlainText(), QStringLiteral("D000\nD010"));
}

TEST_F(DebugRam, RefusedReadStopsTheChainAndWritesStayInRange)
{
    // The count edit reads without the range test; the camera refuses and the chain ends.
    w->ramAdr->setText(QStringLiteral("D000"));
    ASSERT_TRUE(wait_idle());
    w->RamCount->setText(QStringLiteral("40"));
    ASSERT_TRUE(wait_exchanges(1));
    EXPECT_EQ(camera.received_count(), 1u);
    ASSERT_EQ(fake_dialogs.messages.size(), 1u);
    EXPECT_EQ(fake_dialogs.messages[0].text, QStringLiteral(" Error "));

    forget_traffic();
    w->ramAdrwr->setText(QStringLiteral("E810"));
    w->ram_send_buff->setText(QStringLiteral("5A"));
    w->btn_ram_w->click();
    ASSERT_TRUE(wait_exchanges(1));
    w->ramAdrwr->setText(QStringLiteral("F000"));
    w->btn_ram_w->click();
    w->ramAdrwr->setText(QStringLiteral("E810"));
    w->ram_send_buff->setText(QStringLiteral("5"));
    w->btn_ram_w->click();
    EXPECT_TRUE(wait_idle());
    EXPECT_EQ(camera.received(), frames_of({{0x23, 0x0D, 0xE8, 0x10, 0x5A}}));
    camera.with_model([](sim::CameraModel& m) { EXPECT_EQ(m.debug().ram_at(0xE810), 0x5A); return 0; });
}

TEST_F(DebugRam, RepeatRefreshesDumpAndSamplesUntilUnchecked)
{
    w->RamRepeat->setChecked(true);
    w->ramAdr->setText(QStringLiteral("E80F"));
    // The counter byte at E800 moves with each pass, so the shown dump changes.
    ASSERT_TRUE(wait_received(8));
    const QString first_pass = w->Memo1->toPlainText();
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.received_count() >= 24 && w->Memo1->toPlainText() != first_pass; }, 20000));
    w->RamRepeat->setChecked(false);
    ASSERT_TRUE(wait_idle());
    const std::size_t after = camera.received_count();
    QCoreApplication::processEvents();
    EXPECT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), after);
    EXPECT_EQ(after % 8, 0u); // the pass under way completed

    forget_traffic();
    w->RamRepeat->setChecked(true);
    w->samp->click();
    ASSERT_TRUE(wait_received(48 * 2 + 1));
    w->RamRepeat->setChecked(false);
    ASSERT_TRUE(wait_idle());
    const auto bodies = received_bodies(3);
    ASSERT_EQ(bodies.size() % 48, 0u);
    for (std::size_t i = 0; i < bodies.size(); ++i)
        EXPECT_EQ(bodies[i], (Bytes{0x33, 0x35, static_cast<std::uint8_t>(i % 48)})) << i;
    const QStringList rows = memo_lines(w->Memo1);
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows[0].size(), 40);
}

TEST_F(DebugRam, SilentCameraEndsAPassQuietlyAndTheNextStartsAfresh)
{
    camera.inject(sim::Fault::NoAnswer, 1);
    w->samp->click();
    ASSERT_TRUE(wait_received(1));
    // A second click while the read is outstanding is dropped, not queued.
    w->samp->click();
    tick_send_timer(TFKR58::kFrameReplyTicks + 1);
    EXPECT_FALSE(w->comm_busy);
    EXPECT_TRUE(fake_dialogs.messages.empty());
    EXPECT_EQ(camera.received_count(), 1u);

    forget_traffic();
    w->samp->click();
    ASSERT_TRUE(wait_exchanges(48));
    EXPECT_EQ(received_bodies(3).front(), (Bytes{0x33, 0x35, 0x00}));
    EXPECT_EQ(memo_lines(w->Memo1).size(), 6);
}

TEST_F(DebugRam, AgcLogLineGrowsAndRepeatsThroughTheTimer)
{
    exchange_with_reply({0x33, 0x45, 0x0B},
                        {0xA0, 0x45, 0x0B, 0x01, 0x23, 0x45, 0x01, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45});
    EXPECT_EQ(w->Label30->text(), QStringLiteral("AGC F Wno Cont IRIS NLVL ALVL"));
    EXPECT_EQ(memo_lines(w->Memo1).last(), QStringLiteral("0123 1 45 6789 ABCD EF01 2345"));
    EXPECT_FALSE(w->WD_Timer->isActive());

    forget_traffic();
    w->RamRepeat->setChecked(true);
    w->WD_RP_TIME->setText(QStringLiteral("0"));
    w->wd_agc->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->Memo1->blockCount() >= 5; }, 20000));
    EXPECT_EQ(w->WD_Timer->interval(), 1);
    w->RamRepeat->setChecked(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->WD_Timer->isActive() && !w->comm_busy; }));
    for (const Bytes& body : received_bodies(3)) EXPECT_EQ(body, (Bytes{0x33, 0x45, 0x0B}));
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

// ---- Raw command and read-outs ----

TEST_F(DebugPageTest, RawCommandSendsTheTypedBytes)
{
    for (const char* text : {"33 0A 01", "330A01", "33 A 1"}) {
        forget_traffic();
        w->SendBuffer->setText(QString::fromLatin1(text));
        w->RamSend->click();
        ASSERT_TRUE(wait_exchanges(1));
        EXPECT_EQ(camera.received(), frames_of({{0x33, 0x0A, 0x01}})) << text;
    }
    forget_traffic();
    w->SendBuffer->setText(QStringLiteral("SendBuffer"));
    w->RamSend->click();
    ASSERT_TRUE(wait_exchanges(1));
    EXPECT_EQ(camera.received(), frames_of({{0x0E, 0xDB, 0xFF, 0x0E}}));
}

TEST_F(DebugPageTest, ReadOutsShowTheCameraData)
{
    // The page's own reads brought the WDR and shutter data.
    const auto reg = [this](int r) { return camera.with_model([r](sim::CameraModel& m) { return int{m.register_value(static_cast<std::uint8_t>(r))}; }); };
    EXPECT_EQ(w->disp_81->text(), hex_word_text(reg(0x81)));
    EXPECT_EQ(w->disp_81_gsn->text(), hex_byte_text(reg(0x81) & 0x1F));
    EXPECT_EQ(w->disp_0d_gby->text(), hex_byte_text((reg(0x0D) >> 10) & 0x1F));
    EXPECT_EQ(w->disp_66->text(), hex_word_text(reg(0x66)));
    camera.with_model([](sim::CameraModel& m) { m.service().wdr_shutter_no = 0x10; return 0; });
    w->sht_rd_btn->click();
    ASSERT_TRUE(wait_exchanges(1));
    EXPECT_EQ(camera.received(), frames_of({{0x33, 0x49}}));
    EXPECT_EQ(w->disp_43->text(), hex_word_text(reg(0x43)));
    EXPECT_EQ(w->disp_46->text(), hex_word_text(reg(0x46)));
    EXPECT_EQ(w->wdr_test_onlvl->value(), 0x10);
    EXPECT_EQ(w->wdr_test_ontext->text(), QStringLiteral("10"));
    EXPECT_EQ(w->wdr_no_dec->text(), QStringLiteral("16"));

    // A shutter number beyond the track bar's end does not move it and leaves no skip behind.
    w->wdr_test_onlvl->setValue(63);
    w->wdr_test_timer->stop(); // the move is not the point here: nothing is sent for it
    exchange_with_reply({0x33, 0x49}, {0xA0, 0x49, 0x50, 0x12, 0x34});
    EXPECT_EQ(w->wdr_test_onlvl->value(), 63);
    EXPECT_FALSE(w->wdr_level_skip);
    EXPECT_FALSE(w->wdr_test_timer->isActive());
    EXPECT_EQ(w->wdr_test_ontext->text(), QStringLiteral("50"));
    EXPECT_EQ(w->disp_43->text(), QStringLiteral("1234"));

    exchange_with_reply({0x33, 0x4C, 0x00}, {0xA0, 0x4C, 0x00, 0x01, 0x80, 0x01, 0x40});
    EXPECT_EQ(w->rg_input->text(), QStringLiteral("0180"));
    EXPECT_EQ(w->bg_input->text(), QStringLiteral("0140"));

    // The WDR test mode read back is shown, not sent back.
    forget_traffic();
    exchange_with_reply({0x33, 0x3A, 0x03}, {0xA0, 0x3A, 0x03, 0x02});
    EXPECT_EQ(w->wdr_test_sel->itemIndex(), 1);
    EXPECT_EQ(camera.received_count(), 1u);
}

// An assistive tool reads every read-out as what it is with the value it shows, and each new
// value as it arrives.
TEST_F(DebugPageTest, AssistiveToolsReadEachReadOutWithItsValue)
{
    struct Exchange {
        Bytes command;
        Bytes reply;
    };
    const std::vector<Exchange> rounds[2] = {
        {{{0x33, 0x48}, {0xA0, 0x48, 0x05, 0x01, 0x02, 0x04, 0x43, 0x10, 0xA6, 0x08, 0x07, 0x09, 0x08, 0x0A, 0x09}},
         {{0x33, 0x49}, {0xA0, 0x49, 0x05, 0x11, 0x11, 0x22, 0x22, 0x33, 0x33, 0x44, 0x44}},
         {{0x33, 0x4C, 0x00}, {0xA0, 0x4C, 0x00, 0x01, 0x80, 0x01, 0x40}}},
        {{{0x33, 0x48}, {0xA0, 0x48, 0x2A, 0xF1, 0xE2, 0x7E, 0x01, 0x45, 0xFE, 0x12, 0x34, 0xBE, 0xEF, 0x00, 0x00}},
         {{0x33, 0x49}, {0xA0, 0x49, 0x2A, 0x00, 0x43, 0x00, 0x44, 0x00, 0x45, 0x00, 0x46}},
         {{0x33, 0x4C, 0x01}, {0xA0, 0x4C, 0x01, 0x02, 0x01, 0x00, 0xFF}}},
    };
    struct Readout {
        QLabel* label;
        const char* what;
        const char* shown[2];
    };
    const Readout readouts[] = {
        {w->disp_89, "WDR data 89h", {"0102", "F1E2"}},       {w->disp_81, "WDR data 81h", {"0443", "7E01"}},
        {w->disp_81_gbn, "WDR data GBN", {"01", "1F"}},       {w->disp_81_gkn, "WDR data GKN", {"02", "10"}},
        {w->disp_81_gsn, "WDR data GSN", {"03", "01"}},       {w->disp_0d, "WDR data 0Dh", {"10A6", "45FE"}},
        {w->disp_0d_gby, "WDR data GBY", {"04", "11"}},       {w->disp_0d_gky, "WDR data GKY", {"05", "0F"}},
        {w->disp_0d_gsy, "WDR data GSY", {"06", "1E"}},       {w->disp_8f, "WDR data 8Fh", {"0807", "1234"}},
        {w->disp_67, "WDR data 67h", {"0908", "BEEF"}},       {w->disp_66, "WDR data 66h", {"0A09", "0000"}},
        {w->disp_43, "Shutter data 43h", {"1111", "0043"}},   {w->disp_44, "Shutter data 44h", {"2222", "0044"}},
        {w->disp_45, "Shutter data 45h", {"3333", "0045"}},   {w->disp_46, "Shutter data 46h", {"4444", "0046"}},
        {w->rg_input, "White balance input RG", {"0180", "0201"}},
        {w->bg_input, "White balance input BG", {"0140", "00FF"}},
        {w->wdr_no_dec, "WDR shutter number, decimal", {"5", "42"}},
    };
    for (int round = 0; round < 2; ++round) {
        for (const Exchange& e : rounds[round]) ASSERT_NO_FATAL_FAILURE(exchange_with_reply(e.command, e.reply));
        for (const Readout& r : readouts) {
            QAccessibleInterface* seen = QAccessible::queryAccessibleInterface(r.label);
            ASSERT_NE(seen, nullptr) << r.what;
            const QString shown = QString::fromLatin1(r.shown[round]);
            EXPECT_EQ(r.label->text(), shown) << r.what;
            EXPECT_EQ(seen->text(QAccessible::Name), QString::fromLatin1(r.what) + QStringLiteral(": ") + shown);
            EXPECT_EQ(seen->text(QAccessible::Value), shown) << r.what;
        }
    }
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(DebugPageTest, AcceptedWdrShutterNumberReadsTheWdrData)
{
    // The technician moves the shutter number; its timer tick sends it.
    w->wdr_test_onlvl->setValue(0x21);
    ASSERT_TRUE(w->wdr_test_timer->isActive());
    w->wdr_test_timer->stop();
    w->wdr_test_timerTimer();
    ASSERT_TRUE(wait_exchanges(2));
    EXPECT_EQ(w->wdr_test_ontext->text(), QStringLiteral("21"));
    EXPECT_EQ(camera.received(), frames_of({{0x23, 0x3A, 0x02, 0x21}, {0x33, 0x48}}));
}

TEST_F(DebugPageTest, ControlsCarryTheirNamesAndTheWindowShowsTheirWholeWidth)
{
    const std::vector<std::pair<QWidget*, const char*>> controls = {
        {w->DspAdr, "DspAdr"},       {w->DspData, "DspData"},         {w->DspRadix, "DspRadix"},
        {w->DspDatSpin, "DspDatSpin"}, {w->NoWrite, "NoWrite"},        {w->eepadr, "eepadr"},
        {w->Eepdata, "Eepdata"},     {w->eepRadix, "eepRadix"},       {w->CSpinButton6, "CSpinButton6"},
        {w->CSpinButton7, "CSpinButton7"}, {w->EEP_RAM, "EEP_RAM"},   {w->Button2, "Button2"},
        {w->OSD, "OSD"},             {w->osdt, "osdt"},               {w->ramAdr, "ramAdr"},
        {w->RamCount, "RamCount"},   {w->RdAdr, "RdAdr"},             {w->Memo1, "Memo1"},
        {w->RamRepeat, "RamRepeat"}, {w->ramAdrwr, "ramAdrwr"},       {w->ram_send_buff, "ram_send_buff"},
        {w->btn_ram_w, "btn_ram_w"}, {w->samp, "samp"},               {w->WD_RP_TIME, "WD_RP_TIME"},
        {w->wd_agc, "wd_agc"},       {w->SendBuffer, "SendBuffer"},   {w->RamSend, "RamSend"},
        {w->sht_rd_btn, "sht_rd_btn"}, {w->disp_89, "disp_89"},       {w->disp_0d_gsy, "disp_0d_gsy"},
        {w->disp_46, "disp_46"},     {w->rg_input, "rg_input"},       {w->bg_input, "bg_input"},
    };
    for (const auto& [control, name] : controls) {
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(control->objectName(), QString::fromLatin1(name));
        EXPECT_FALSE(QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty()) << name;
        EXPECT_TRUE(w->panel_dbg->isAncestorOf(control)) << name;
    }
    // Maximum lengths, and "&& RAM" showing one ampersand.
    EXPECT_EQ(w->DspData->maxLength(), 4);
    EXPECT_EQ(w->RamCount->maxLength(), 2);
    EXPECT_EQ(w->WD_RP_TIME->maxLength(), 3);
    EXPECT_EQ(w->ram_send_buff->maxLength(), 2);
    EXPECT_EQ(w->EEP_RAM->text(), QStringLiteral("&& RAM"));

    // At the window's fixed size the page scrolls at most vertically.
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    w->PageControl1->setCurrentIndex(TFKR58::DebugPage);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->panel_dbg->isVisible(); }));
    EXPECT_FALSE(w->debug_scroll->horizontalScrollBar()->isVisible())
        << w->panel_dbg->minimumSizeHint().width() << " wide in " << w->debug_scroll->viewport()->width();
}

// The page after a register read and a RAM dump, and its menu keys and service commands on their
// own, for the documentation (scripts/screenshots.sh).
TEST_F(DebugPageTest, ScreenshotOfThePage)
{
    const QString path = screenshot_path("debug-page.png");
    if (path.isEmpty()) GTEST_SKIP() << "no screenshots asked for";
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    w->DspAdr->setCurrentIndex(0x23);
    ASSERT_TRUE(wait_exchanges(1));
    w->eepadr->setText(QStringLiteral("0010"));
    ASSERT_TRUE(wait_exchanges(2));
    w->RamCount->setText(QStringLiteral("40"));
    ASSERT_TRUE(wait_exchanges(2 + 32));
    ASSERT_TRUE(w->grab().save(path));
    auto* service = w->findChild<QWidget*>(QStringLiteral("service_commands"));
    ASSERT_NE(service, nullptr);
    ASSERT_TRUE(service->grab().save(screenshot_path("service-commands.png")));
}

} // namespace

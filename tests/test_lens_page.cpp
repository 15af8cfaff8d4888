// The Lens Adjust page against the simulated camera: the page's read series and the write-back of
// the timing delays, the manual offset and its arrows, and whole runs of the automatic adjustment
// with the pause between readings ticked by the test.

#include "service_test_support.h"
#include "support/screenshots.h"

#include "widgets/spin_button.h"

#include <QAccessible>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

namespace {

using service_test::times_received;
using service_test::wait_for_frame;

const Bytes kAutoStart{0x33, 0x12};
const Bytes kReadLevel{0x33, 0x46};

Bytes offset_write(std::uint8_t v) { return {0x23, 0x43, v, 0x01}; }

class LensPageTest : public WindowTest {
protected:
    // The Delay configuration: the Lens Adjust page alone, loaded.
    TFKR58* open_lens_page()
    {
        TFKR58* w = open_window(TFKR58::Delay);
        EXPECT_TRUE(wait_lens_idle());
        camera.clear_received();
        return w;
    }

    // No exchange outstanding, no series and no delay write waiting.
    bool wait_lens_idle()
    {
        return wait_idle() && QTest::qWaitFor([this] { return window->Trans_chk() && !window->RG_delayTimer->isActive(); }, 15000);
    }

    template <class F>
    auto lens(F&& f)
    {
        return camera.with_model([&](sim::CameraModel& m) { return f(m.lens()); });
    }

    int level_reads() { return lens([](sim::LensState& l) { return l.level_reads; }); }
    int offset_writes() { return lens([](sim::LensState& l) { return l.offset_writes; }); }

    // Drives the procedure as the pause timer would: each time a pause is pending, its tick runs
    // at once, until the run ends, waits with nothing scheduled, or reaches `max_readings`.
    struct Run {
        int readings = 0; // level readings the camera answered
        int writes = 0;   // offset writes
        bool finished = false;
    };
    Run run_procedure(int max_readings = 2000)
    {
        const int reads_before = level_reads();
        const int writes_before = offset_writes();
        while (window->ref_check->isChecked() && level_reads() - reads_before < max_readings) {
            if (!wait_lens_idle()) break;
            if (!window->Lens_tim->isActive()) break; // waiting: nothing scheduled
            window->Lens_timTimer();
        }
        EXPECT_TRUE(wait_lens_idle());
        return {level_reads() - reads_before, offset_writes() - writes_before, !window->ref_check->isChecked()};
    }

    // Presses "Auto Start" and waits until the first reading has been answered.
    void start_procedure()
    {
        window->lens_auto_stt->click();
        ASSERT_TRUE(wait_lens_idle());
        ASSERT_TRUE(window->ref_check->isChecked());
    }
};

TEST_F(LensPageTest, ReadSeriesShowsTheOffsetAndWritesTheDelaysBackOnce)
{
    camera.with_model([](sim::CameraModel& m) {
        m.lens().delays = 0x1234;
        m.lens().set_offset(0x9C);
    });
    TFKR58* w = open_window(TFKR58::Delay);
    ASSERT_TRUE(wait_lens_idle());
    std::vector<Bytes> expected = page_series(TFKR58::LensPage);
    ASSERT_EQ(expected, (std::vector<Bytes>{{0x33, 0x0A, 0x01}, {0x33, 0x0A, 0x40}, {0x33, 0x42}, {0x33, 0x43}}));
    expected.push_back({0x23, 0x42, 0x12, 0x34, 0x01});
    std::vector<Bytes> sent;
    for (const Bytes& body : expected) sent.push_back(expected_frame(body));
    EXPECT_EQ(camera.received(), sent) << "the offset shown by the read is not written back";
    EXPECT_EQ(w->pwm_ref->text(), "9C");
    EXPECT_EQ(w->rg_width->text(), "1");
    EXPECT_EQ(w->shd_delay->text(), "2");
    EXPECT_EQ(w->shp_delay->text(), "3");
    EXPECT_EQ(w->rg_delay->text(), "4");
    EXPECT_EQ(w->lens_ref->text(), "_");
    EXPECT_TRUE(fake_dialogs.messages.empty());

    // The same delays again change no edit, so nothing is written back.
    camera.clear_received();
    w->load_dly->click();
    ASSERT_TRUE(wait_lens_idle());
    EXPECT_EQ(camera.received().size(), 4u);

    // While the link is taken the write waits for the next tick instead of being lost.
    camera.clear_received();
    w->kizu_busy = true;
    w->rg_delay->setText("A");
    w->RG_delayTimerTimer();
    EXPECT_TRUE(w->RG_delayTimer->isActive());
    w->kizu_busy = false;
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x42, 0x12, 0x3A, 0x01}));
    ASSERT_TRUE(wait_lens_idle());
    EXPECT_EQ(lens([](sim::LensState& l) { return l.delays; }), 0x123A);
}

TEST_F(LensPageTest, ArrowsStepTheOffsetWithin50ToB0AndTypedValuesAreWrittenAsTyped)
{
    TFKR58* w = open_lens_page();
    EXPECT_EQ(w->pwm_ref->text(), "78");
    struct Case {
        const char* start;
        bool up;
        const char* shown;
    };
    // From code (the read) first, so that only the arrow's own write goes out.
    for (const Case c : {Case{"00", false, "50"}, Case{"AF", true, "B0"}, Case{"51", false, "50"}, Case{"50", false, "50"},
                         Case{"B0", true, "B0"}, Case{"C0", false, "BF"}, Case{"00", true, "01"}}) {
        SCOPED_TRACE(std::string(c.start) + (c.up ? " up" : " down"));
        {
            w->ctrl_updating = true;
            w->pwm_ref->setText(QString::fromLatin1(c.start));
            w->ctrl_updating = false;
        }
        camera.clear_received();
        QToolButton* arrow = c.up ? w->CSpinButton5->upButton() : w->CSpinButton5->downButton();
        arrow->click();
        EXPECT_EQ(w->pwm_ref->text(), QString::fromLatin1(c.shown));
        ASSERT_TRUE(wait_lens_idle());
        const bool changed = QString::fromLatin1(c.start) != QString::fromLatin1(c.shown);
        const std::uint8_t v = static_cast<std::uint8_t>(QString::fromLatin1(c.shown).toInt(nullptr, 16));
        EXPECT_EQ(camera.received(), changed ? std::vector<Bytes>{expected_frame(offset_write(v))} : std::vector<Bytes>{})
            << "an unchanged text sends nothing";
    }

    // Typing: the first digit sends nothing, the second writes the byte, beyond the arrows' range.
    w->pwm_ref->clear();
    camera.clear_received();
    w->pwm_ref->setFocus();
    QTest::keyClicks(w->pwm_ref, "c");
    EXPECT_TRUE(camera.received().empty());
    QTest::keyClicks(w->pwm_ref, "0");
    ASSERT_TRUE(wait_lens_idle());
    EXPECT_EQ(camera.received(), (std::vector<Bytes>{expected_frame(offset_write(0xC0))}));
    EXPECT_EQ(lens([](sim::LensState& l) { return l.offset(); }), 0xC0);
    // A character that is not a hexadecimal digit cannot be typed; the arrow keys step.
    w->pwm_ref->clear();
    QTest::keyClicks(w->pwm_ref, "zC");
    EXPECT_EQ(w->pwm_ref->text(), "C");
    w->pwm_ref->setText("C0");
    ASSERT_TRUE(wait_lens_idle());
    camera.clear_received();
    QTest::keyClick(w->pwm_ref, Qt::Key_Down);
    EXPECT_EQ(w->pwm_ref->text(), "BF");
    ASSERT_TRUE(wait_lens_idle());
    EXPECT_EQ(camera.received(), (std::vector<Bytes>{expected_frame(offset_write(0xBF))}));

    // "Read" shows the level in decimal, negative ones included.
    lens([](sim::LensState& l) {
        l.noise = 0;
        l.target = 0x80;
        l.gain = 3;
    });
    w->pwm_ref->setText("90"); // the lens shows it from the second reading on
    ASSERT_TRUE(wait_lens_idle());
    // An assistive tool reads the level as what it is with the value shown, the new one too.
    QAccessibleInterface* level = QAccessible::queryAccessibleInterface(w->lens_ref);
    EXPECT_EQ(level->text(QAccessible::Name), "Lens level: _");
    for (int i = 0; i < 2; ++i) {
        w->rens_ref_read->click();
        ASSERT_TRUE(wait_lens_idle());
    }
    EXPECT_EQ(w->lens_ref->text(), "-48");
    EXPECT_EQ(level->text(QAccessible::Name), "Lens level: -48");
    EXPECT_EQ(level->text(QAccessible::Value), "-48");
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(LensPageTest, AutoStartRefusedWhenTheLensIsAes)
{
    camera.with_model([](sim::CameraModel& m) { m.setup().set_byte(0, 3, 1); });
    TFKR58* w = open_lens_page();
    w->lens_auto_stt->click();
    ASSERT_TRUE(wait_lens_idle());
    ASSERT_EQ(fake_dialogs.messages.size(), 1u);
    EXPECT_EQ(fake_dialogs.messages[0].text, "ALC/AES selection is not ALC.");
    EXPECT_EQ(fake_dialogs.messages[0].caption, "Setting ERROR.");
    EXPECT_FALSE(w->ref_check->isChecked());
    EXPECT_TRUE(w->lens_auto_stt->isEnabled());
    EXPECT_FALSE(w->Lens_tim->isActive());
    EXPECT_EQ(camera.received(), (std::vector<Bytes>{expected_frame(kAutoStart)})) << "no level read follows";
}

TEST_F(LensPageTest, AutomaticRunConvergesAndGivesTheControlsBack)
{
    TFKR58* w = open_lens_page();
    const int start_offset = lens([](sim::LensState& l) { return l.offset(); });
    w->threash->setValue(7); // left over from an earlier run: the start resets it
    start_procedure();
    EXPECT_FALSE(w->lens_auto_stt->isEnabled());
    EXPECT_FALSE(w->lens_mnl_grp->isEnabled());
    EXPECT_TRUE(w->rens_ref_read->isEnabled());
    EXPECT_EQ(w->threash->value(), 0);
    EXPECT_EQ(camera.received(), (std::vector<Bytes>{expected_frame(kAutoStart), expected_frame(kReadLevel)}));
    EXPECT_TRUE(w->Lens_tim->isActive()) << "the first reading only schedules the next";

    const Run run = run_procedure();
    std::printf("[ lens     ] from offset %02X: %d readings, %d offset writes, dead band %d, final offset %s\n",
                start_offset, run.readings, run.writes, w->threash->value(), qPrintable(w->pwm_ref->text()));
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(w->lens_auto_stt->isEnabled());
    EXPECT_TRUE(w->lens_mnl_grp->isEnabled());
    EXPECT_FALSE(w->Lens_tim->isActive());
    const int target = lens([](sim::LensState& l) { return l.target; });
    const int offset = lens([](sim::LensState& l) { return l.offset(); });
    EXPECT_LE(std::abs(offset - target), 1);
    EXPECT_EQ(w->pwm_ref->text().toInt(nullptr, 16), offset);
    EXPECT_LE(std::abs(w->lens_ref->text().toInt()), w->threash->value());
    EXPECT_GE(run.writes, std::abs(target - start_offset));
    // Four readings before each adjustment (the first was taken at the start), eleven to finish.
    EXPECT_GE(run.readings, 4 * run.writes + 10);
    EXPECT_TRUE(fake_dialogs.messages.empty());

    // A later reading only shows the level.
    camera.clear_received();
    w->rens_ref_read->click();
    ASSERT_TRUE(wait_lens_idle());
    EXPECT_FALSE(w->Lens_tim->isActive());
    EXPECT_EQ(camera.received().size(), 1u);
}

TEST_F(LensPageTest, AnOscillatingLensWidensTheBandUntilItSettles)
{
    TFKR58* w = open_lens_page();
    // The zero lies between two offsets, so every step swings the level from +3 to -3 and back:
    // it can only settle once the band has widened to take in the swing.
    lens([](sim::LensState& l) {
        l.gain = 6;
        l.bias = 3;
        l.noise = 0;
        l.target = l.offset();
    });
    start_procedure();
    const Run run = run_procedure();
    std::printf("[ lens     ] oscillating: %d readings, %d offset writes, dead band %d\n", run.readings, run.writes,
                w->threash->value());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(w->threash->value(), 3);
    EXPECT_EQ(run.writes, 16) << "six adjustments, then five between each widening";
}

TEST_F(LensPageTest, ForceStopEndsARun)
{
    TFKR58* w = open_lens_page();
    start_procedure();
    for (int i = 0; i < 3; ++i) {
        w->Lens_timTimer();
        ASSERT_TRUE(wait_lens_idle());
    }
    ASSERT_TRUE(w->Lens_tim->isActive());
    w->ref_check->click(); // "Force Stop"
    EXPECT_FALSE(w->ref_check->isChecked());
    EXPECT_TRUE(w->lens_auto_stt->isEnabled());
    EXPECT_TRUE(w->lens_mnl_grp->isEnabled());

    // The reading already scheduled still goes out; its reply only shows the level.
    camera.clear_received();
    w->Lens_timTimer();
    ASSERT_TRUE(wait_lens_idle());
    EXPECT_EQ(camera.received(), (std::vector<Bytes>{expected_frame(kReadLevel)}));
    EXPECT_FALSE(w->Lens_tim->isActive());
    EXPECT_NE(w->lens_ref->text(), "_");
}

TEST_F(LensPageTest, ARunWaitsAfterAnErrorReplyUntilReadOrForceStop)
{
    TFKR58* w = open_lens_page();
    start_procedure();

    // A refused reading: the error is shown and nothing is scheduled.
    camera.inject_for_command(sim::Fault::Refuse, 0x33, 0x46);
    w->Lens_timTimer();
    ASSERT_TRUE(wait_lens_idle());
    ASSERT_EQ(fake_dialogs.messages.size(), 1u);
    EXPECT_EQ(fake_dialogs.messages[0].text, " Error ");
    EXPECT_EQ(fake_dialogs.messages[0].caption, "ERR");
    EXPECT_TRUE(w->ref_check->isChecked());
    EXPECT_FALSE(w->Lens_tim->isActive());
    EXPECT_FALSE(w->lens_auto_stt->isEnabled());

    // "Read" picks the run up again.
    camera.clear_faults();
    EXPECT_TRUE(w->rens_ref_read->isEnabled());
    w->rens_ref_read->click();
    ASSERT_TRUE(wait_lens_idle());
    EXPECT_TRUE(w->Lens_tim->isActive());
    EXPECT_TRUE(run_procedure().finished);

    // A reading that is never answered: after the time-out the run waits the same way, and
    // unchecking "Force Stop" gives the controls back.
    start_procedure();
    w->SendTimer->stop();
    camera.inject(sim::Fault::NoAnswer);
    camera.clear_received();
    w->Lens_timTimer();
    ASSERT_TRUE(wait_received(1));
    tick_send_timer(TFKR58::kFrameReplyTicks + 1);
    EXPECT_TRUE(w->Trans_chk());
    EXPECT_FALSE(w->Lens_tim->isActive());
    EXPECT_TRUE(w->ref_check->isChecked());
    w->ref_check->click();
    EXPECT_TRUE(w->lens_auto_stt->isEnabled());
    EXPECT_TRUE(w->lens_mnl_grp->isEnabled());
    EXPECT_EQ(camera.received().size(), 1u);
}

TEST_F(LensPageTest, ARunWaitsAtTheOffsetLimit)
{
    TFKR58* w = open_lens_page();
    // The lens wants an offset beyond B0: the arrows stop there and no write follows.
    lens([](sim::LensState& l) {
        l.set_offset(0xAE);
        l.target = 0xC8;
        l.noise = 0;
    });
    w->load_dly->click();
    ASSERT_TRUE(wait_lens_idle());
    start_procedure();
    const Run run = run_procedure();
    EXPECT_FALSE(run.finished);
    EXPECT_EQ(run.writes, 2);
    EXPECT_EQ(w->pwm_ref->text(), "B0");
    EXPECT_FALSE(w->Lens_tim->isActive());
    EXPECT_TRUE(w->Trans_chk());
    EXPECT_GT(std::atoi(qPrintable(w->lens_ref->text())), 0);
    w->ref_check->click();
    EXPECT_TRUE(w->lens_mnl_grp->isEnabled());
}

TEST_F(LensPageTest, LeavingThePageEndsARun)
{
    TFKR58* w = open_window(TFKR58::Debug);
    ASSERT_TRUE(wait_lens_idle());
    w->PageControl1->setCurrentIndex(TFKR58::LensPage);
    ASSERT_TRUE(wait_lens_idle());
    start_procedure();
    ASSERT_TRUE(w->Lens_tim->isActive());
    w->PageControl1->setCurrentIndex(TFKR58::DebugPage);
    EXPECT_FALSE(w->Lens_tim->isActive());
    EXPECT_FALSE(w->ref_check->isChecked());
    EXPECT_TRUE(w->lens_auto_stt->isEnabled());
}

TEST_F(LensPageTest, ControlsCarryTheirNamesAndCaptions)
{
    TFKR58* w = open_lens_page();
    EXPECT_EQ(w->GroupBox21->title(), "Lens Adjust");
    EXPECT_EQ(w->lens_auto_grp->title(), "Auto");
    EXPECT_EQ(w->lens_mnl_grp->title(), "Manual");
    EXPECT_EQ(w->GroupBox10->title(), "DC Lens offset");
    EXPECT_EQ(w->lens_auto_stt->text(), "Auto Start");
    EXPECT_EQ(w->ref_check->text(), "Force Stop");
    EXPECT_EQ(w->rens_ref_read->text(), "Read");
    EXPECT_EQ(w->pwm_ref->maxLength(), 2);
    EXPECT_EQ(w->Lens_tim->interval(), 200);
    EXPECT_EQ(w->RG_delayTimer->interval(), 50);
    EXPECT_EQ(w->lens_step, 1);
    EXPECT_TRUE(w->threash->isHidden());
    EXPECT_FALSE(w->threash->isEnabled());
    EXPECT_TRUE(w->delay_grp->isHidden());
    EXPECT_TRUE(w->load_dly->isHidden());
    for (QWidget* c : std::initializer_list<QWidget*>{w->lens_auto_stt, w->ref_check, w->pwm_ref, w->rens_ref_read,
                                                      w->lens_ref, w->CSpinButton5->upButton(),
                                                      w->CSpinButton5->downButton()})
        EXPECT_FALSE(QAccessible::queryAccessibleInterface(c)->text(QAccessible::Name).isEmpty())
            << c->objectName().toStdString();
}

TEST_F(LensPageTest, Screenshot)
{
    const QString path = screenshot_path("lens-page.png");
    if (path.isEmpty()) GTEST_SKIP() << "no screenshots asked for";
    TFKR58* w = open_lens_page();
    start_procedure();
    for (int i = 0; i < 6; ++i) {
        w->Lens_timTimer();
        ASSERT_TRUE(wait_lens_idle());
    }
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    ASSERT_TRUE(w->grab().save(path));
}

} // namespace

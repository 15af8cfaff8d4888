// The clone station's window as a line operator uses it: two simulated cameras on COM1 and COM2,
// plugged in and out, one of which never takes a word of the master file; by keyboard and
// scanner, on a small screen and a large one.

#include "codecs/data_file.h"
#include "comm/port_naming.h"
#include "records/records.h"
#include "sim_camera.h"
#include "station/master_file.h"
#include "station_test_support.h"
#include "station_window/port_tile.h"
#include "station_window/station_window.h"
#include "station_window/yield_panel.h"
#include "yield/yield_view.h"
#include "support/colour_vision.h"
#include "support/fake_dialogs.h"
#include "support/private_folder.h"
#include "support/screenshots.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSysInfo>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

namespace {

using station::JobResult;
using station_window::PortTile;
using station_window::StationWindow;
using station_window::TileState;

constexpr int kJobDeadlineMs = 60000;
constexpr int kUnwritten = 0x12;
// The inside of a maximised window on a 1366x768 and a 1920x1080 screen, under a panel and a
// title bar.
constexpr QSize kSmallScreen{1366, 700};
constexpr QSize kLargeScreen{1920, 1012};

class StationWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        for (std::size_t i = 0; i < cameras.size(); ++i) {
            cameras[i].set_boot_ms(200);
            ASSERT_TRUE(cameras[i].start());
            ASSERT_TRUE(cameras[i].publish_as_port(static_cast<int>(i) + 1));
        }
        // Camera 1's memory with the word camera 2 never takes changed, so both jobs write it.
        frames::ParamImage image = camera_image(cameras[0]);
        image[kUnwritten] ^= 0x0101;
        master = folder.path() + QStringLiteral("/master.dat");
        QFile file(master);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data_file::camera_file(image));
        file.close();
        cameras[1].set_unwritten_word(kUnwritten);
        window = std::make_unique<StationWindow>();
        window->sound_box()->setChecked(false);
        ASSERT_TRUE(window->open_master_file(master));
        for (int port : {1, 2}) {
            ASSERT_TRUE(window->port_tick(port)) << "no tick for COM" << port;
            window->port_tick(port)->setChecked(true);
        }
        connect_states();
    }

    void TearDown() override // a failed test leaves no run behind
    {
        if (window && window->running()) {
            window->stop();
            EXPECT_TRUE(QTest::qWaitFor([&] { return !window->running(); }, kJobDeadlineMs)) << "the run did not stop";
        }
    }

    // Ticking a port makes the tiles anew.
    void connect_states()
    {
        for (int port : {1, 2}) {
            if (PortTile* tile = window->tile(port))
                QObject::connect(tile, &PortTile::state_changed, window.get(), [this, tile](int p, TileState state) {
                    states[p].push_back(state);
                    cameras_shown[p].push_back(tile->camera());
                });
        }
    }

    bool wait_for(int port, TileState state, std::size_t count = 1)
    {
        const auto seen = [&] { return std::count(states[port].begin(), states[port].end(), state) >= int(count); };
        return QTest::qWaitFor(seen, kJobDeadlineMs);
    }

    static QColor fill(PortTile* tile) { return tile->palette().color(QPalette::Window); }

    void stop_and_wait()
    {
        window->stop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->running(); }, kJobDeadlineMs)) << "the run did not stop";
    }

    // The records of the run, read back as the station wrote them.
    static QList<station::JobRow> rows()
    {
        station::Records records;
        QString error;
        EXPECT_TRUE(records.open_for_reading(station::Records::default_path(), &error)) << error.toStdString();
        return records.list();
    }

    static int count_of(const QList<station::JobRow>& rows, JobResult result)
    {
        return static_cast<int>(std::count_if(rows.begin(), rows.end(), [&](const station::JobRow& row) { return row.result == result; }));
    }

    // The counters must say what the records say.
    void expect_counters_agree_with(const QList<station::JobRow>& rows)
    {
        EXPECT_EQ(window->passed(), count_of(rows, JobResult::Pass));
        EXPECT_EQ(window->failed(), count_of(rows, JobResult::FailVerify) + count_of(rows, JobResult::FailLink)
                                        + count_of(rows, JobResult::FailRefused));
        EXPECT_EQ(window->unverified(), count_of(rows, JobResult::Unverified));
        EXPECT_EQ(window->stopped(), count_of(rows, JobResult::Aborted));
    }

    // Another word at address 0, never one it held before: the master as the operator saves it again.
    void change_master()
    {
        QFile file(master);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        constexpr std::size_t kDigitOfWord = 10;
        char digit = bytes[kDigitOfWord];
        while (digit == bytes[kDigitOfWord]) digit = "ABCDEF"[master_changes++ % 6];
        bytes[kDigitOfWord] = digit;
        ASSERT_TRUE(file.seek(0));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    int master_changes = 0;

    static QByteArray file_bytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    PrivateFolder config{"XDG_CONFIG_HOME"};
    PrivateFolder data{"XDG_DATA_HOME"};
    QTemporaryDir folder;
    FakeDialogs fake_dialogs;
    std::array<sim::SimCamera, 2> cameras;
    QString master;
    std::unique_ptr<StationWindow> window;
    std::map<int, std::vector<TileState>> states;
    std::map<int, std::vector<QString>> cameras_shown; // the tile's camera line as each state came
};

TEST_F(StationWindowTest, TilesShowEveryCameraAndAgreeWithTheRecords)
{
    window->show();
    window->start();
    ASSERT_TRUE(window->running()) << "the run did not start";
    ASSERT_TRUE(wait_for(1, TileState::Pass)) << "COM1 never passed";
    ASSERT_TRUE(wait_for(2, TileState::Fail)) << "COM2 never failed";
    const std::vector<TileState> one_camera{TileState::Waiting, TileState::Writing, TileState::Restarting,
                                            TileState::Verifying};
    std::vector<TileState> pass = one_camera;
    pass.push_back(TileState::Pass);
    std::vector<TileState> fail = one_camera;
    fail.push_back(TileState::Fail);
    EXPECT_EQ(states[1], pass);
    EXPECT_EQ(states[2], fail);
    EXPECT_EQ(fill(window->tile(1)), station_window::kPassColour);
    EXPECT_EQ(fill(window->tile(2)), station_window::kFailColour);
    EXPECT_EQ(window->tile(1)->accessibleName(), QStringLiteral("COM1: PASS"));
    EXPECT_EQ(window->tile(2)->accessibleName(), QStringLiteral("COM2: FAIL"));
    EXPECT_TRUE(window->tile(2)->reason().startsWith(QStringLiteral("1 word differs: 0x0012")))
        << window->tile(2)->reason().toStdString();
    EXPECT_EQ(window->tile(1)->action(), QStringLiteral("Unplug the camera"));
    EXPECT_EQ(window->tile(2)->action(), QStringLiteral("Put the camera in the reject box"));

    // The next cameras: the tiles wait for them and show their own verdicts; COM1's is taken
    // away and another put in its place between two probes.
    cameras[1].unplug();
    ASSERT_TRUE(wait_for(2, TileState::Waiting, 2)) << "unplugging went unseen";
    EXPECT_NE(fill(window->tile(2)), station_window::kFailColour);
    EXPECT_EQ(window->tile(2)->action(), QStringLiteral("Plug in a camera"));
    cameras[0].plug_in(51);
    cameras[1].plug_in(52);
    ASSERT_TRUE(wait_for(1, TileState::Pass, 2) && wait_for(2, TileState::Fail, 2)) << "the second cameras";
    EXPECT_EQ(window->tile(1)->camera(), QStringLiteral("Title \"CAM51\""));
    // A verdict's camera line never outlives it: no other state shows a camera.
    for (int port : {1, 2})
        for (std::size_t i = 0; i < states[port].size(); ++i)
            if (states[port][i] != TileState::Pass && states[port][i] != TileState::Fail) {
                EXPECT_EQ(cameras_shown[port][i], QString()) << "COM" << port << " state " << i;
            }
    window->stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->running(); }, kJobDeadlineMs)) << "the run did not stop";
    // Stopped, no tile looks like a live verdict.
    for (int port : {1, 2}) {
        PortTile* tile = window->tile(port);
        EXPECT_EQ(tile->state(), TileState::Stopped);
        EXPECT_EQ(fill(tile), station_window::kStoppedColour);
        EXPECT_EQ(tile->state_label()->text(), QStringLiteral("STOPPED: not writing"));
        EXPECT_EQ(tile->camera(), QString());
    }
    EXPECT_TRUE(window->tile(2)->reason().startsWith(QLatin1String("Before the stop: FAIL"))) << window->tile(2)->reason().toStdString();

    EXPECT_EQ(window->passed(), 2);
    EXPECT_EQ(window->failed(), 2);
    EXPECT_TRUE(window->counters_label()->text().startsWith(QStringLiteral("Passed 2   Failed 2   Unverified 0   Stopped 0")));
    const QList<station::JobRow> rows = this->rows();
    ASSERT_EQ(rows.size(), 4);
    expect_counters_agree_with(rows);
    QTableWidget* table = window->records_table();
    // The table read after the run's end: one read while the last job was open shows it unfinished.
    const auto table_read_after_the_run = [&] {
        if (table->rowCount() != rows.size()) return false;
        for (int r = 0; r < rows.size(); ++r)
            if (table->item(r, 4)->text() != station::result_word(rows[r].result)) return false;
        return true;
    };
    ASSERT_TRUE(QTest::qWaitFor(table_read_after_the_run, kJobDeadlineMs)) << table->rowCount();
    for (int r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(table->item(r, 1)->text(), QStringLiteral("COM%1").arg(rows[r].start.port));
        EXPECT_EQ(table->item(r, 4)->text(), station::result_word(rows[r].result));
        EXPECT_EQ(table->item(r, 5)->text(), QStringLiteral("batch"));
    }
    EXPECT_EQ(table->item(0, 0)->text() >= table->item(3, 0)->text(), true) << "newest first";
    const QHeaderView* columns = table->horizontalHeader();
    EXPECT_GE(columns->sectionPosition(8) + columns->sectionSize(8), columns->viewport()->width() - 1)
        << "the reasons do not take the table's width";

    // A name without a suffix gets ".csv", and the window says where it wrote.
    fake_dialogs.save_answer = folder.path() + QStringLiteral("/records");
    window->export_button()->click();
    QFile csv(fake_dialogs.save_answer + QStringLiteral(".csv"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_dialogs.messages.empty(); }, kJobDeadlineMs)) << "nothing exported";
    EXPECT_EQ(fake_dialogs.messages.back().text, QStringLiteral("4 records written to ") + csv.fileName());
    EXPECT_EQ(fake_dialogs.filters.back(), QStringLiteral("CSV files (*.csv);;All files (*)"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(csv.readAll()), station::records_csv(rows));
}

// The Yield view follows the line (COM1 passes, COM2 fails, camera after camera) and says what
// `camera-station stats` says of the same records; the shift report is written where the dialog
// says; the records table filters by result and shows each job's station and attempt.
TEST_F(StationWindowTest, TheYieldViewFollowsTheLineAndAgreesWithStats)
{
    window->show();
    window->start();
    ASSERT_TRUE(window->running()) << "the run did not start";
    ASSERT_TRUE(wait_for(1, TileState::Pass) && wait_for(2, TileState::Fail));
    window->yield_button()->click();
    station_window::YieldPanel* panel = window->yield_panel();
    ASSERT_TRUE(panel && panel->isVisible());
    const auto jobs_shown = [&] { return panel->figures() ? panel->figures()->total.jobs : -1; };
    ASSERT_TRUE(QTest::qWaitFor([&] { return jobs_shown() == 2; }, kJobDeadlineMs)) << jobs_shown();
    for (sim::SimCamera& camera : cameras) camera.unplug();
    ASSERT_TRUE(wait_for(1, TileState::Waiting, 2) && wait_for(2, TileState::Waiting, 2));
    cameras[0].plug_in(51);
    cameras[1].plug_in(52);
    ASSERT_TRUE(wait_for(1, TileState::Pass, 2) && wait_for(2, TileState::Fail, 2));
    EXPECT_TRUE(QTest::qWaitFor([&] { return jobs_shown() == 4 && !panel->busy(); }, kJobDeadlineMs))
        << "the view did not follow the line: " << jobs_shown();
    stop_and_wait();

    QProcess stats;
    stats.start(QStringLiteral(CAMERA_STATION_EXE),
                {QStringLiteral("stats"), QStringLiteral("--json"), QStringLiteral("--since"),
                 panel->since().toString(Qt::ISODate), QStringLiteral("--db"), station::Records::default_path()});
    ASSERT_TRUE(stats.waitForFinished(kJobDeadlineMs));
    const QJsonObject said = QJsonDocument::fromJson(stats.readAllStandardOutput()).object();
    const yield::YieldCounts& shown = panel->figures()->total;
    EXPECT_EQ(said.value(QStringLiteral("cameras")).toInt(-1), shown.cameras);
    EXPECT_EQ(shown.cameras, 4);
    EXPECT_EQ(said.value(QStringLiteral("first_pass")).toInt(-1), shown.first_pass);
    EXPECT_EQ(shown.first_pass, 2);
    ASSERT_EQ(panel->figures()->ports.size(), 2);
    EXPECT_EQ(panel->figures()->ports[1].counts.first_pass, 0) << "COM2 never passes";
    EXPECT_EQ(panel->view()->figure_label(QStringLiteral("First-pass yield"))->text(),
              yield::percent_text(said.value(QStringLiteral("first_pass_yield")).toDouble()));

    fake_dialogs.save_answer = folder.path() + QStringLiteral("/shift.pdf");
    panel->report_button()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo(fake_dialogs.save_answer).size() > 0; }, kJobDeadlineMs))
        << "no shift report written";

    QTableWidget* table = window->records_table();
    window->result_filter()->setCurrentText(QStringLiteral("fail-verify"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->rowCount() == 2; }, kJobDeadlineMs)) << table->rowCount();
    for (int r = 0; r < table->rowCount(); ++r) {
        EXPECT_EQ(table->item(r, 4)->text(), QStringLiteral("fail-verify"));
        EXPECT_EQ(table->item(r, 1)->text(), QStringLiteral("COM2"));
        EXPECT_EQ(table->item(r, 6)->text(), rows().value(0).start.station);
        EXPECT_EQ(table->item(r, 7)->text(), QStringLiteral("1")) << "a camera without a serial is always attempt 1";
    }
}

// A camera scanned with a serial that passed already is written again only when the operator
// says yes; no writes it not, and has no record. (A port refuses the same serial twice in a row:
// the retests here come after another camera.)
TEST_F(StationWindowTest, ARetestIsAskedForAndRecorded)
{
    window->port_tick(2)->setChecked(false);
    connect_states();
    window->serial_box()->setChecked(true);
    window->show();
    window->start();
    ASSERT_TRUE(window->running());
    std::size_t cameras_seen = 0;
    const auto camera_with = [&](const QString& serial) {
        if (cameras_seen > 0) {
            cameras[0].unplug();
            ASSERT_TRUE(wait_for(1, TileState::Waiting, cameras_seen + 1));
            cameras[0].plug_in(static_cast<int>(42 + cameras_seen));
        }
        ++cameras_seen;
        ASSERT_TRUE(wait_for(1, TileState::ScanSerial, cameras_seen)) << "COM1 did not ask for camera " << cameras_seen;
        QLineEdit* field = window->tile(1)->serial_field();
        QTest::keyClicks(field, serial);
        QTest::keyClick(field, Qt::Key_Return);
    };
    camera_with(QStringLiteral("SN-7"));
    ASSERT_TRUE(wait_for(1, TileState::Pass, 1));
    camera_with(QStringLiteral("SN-8"));
    ASSERT_TRUE(wait_for(1, TileState::Pass, 2));
    EXPECT_TRUE(fake_dialogs.confirmations.empty()) << "asked for a camera never written before";
    fake_dialogs.confirm_answer = false;
    camera_with(QStringLiteral("SN-7"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake_dialogs.confirmations.size() == 1; }, kJobDeadlineMs)) << "no question";
    EXPECT_TRUE(fake_dialogs.confirmations[0].text.contains(QStringLiteral("SN-7 passed with master.dat before")))
        << fake_dialogs.confirmations[0].text.toStdString();
    fake_dialogs.confirm_answer = true;
    camera_with(QStringLiteral("SN-8"));
    ASSERT_TRUE(wait_for(1, TileState::Pass, 3)) << "the confirmed retest did not pass";
    stop_and_wait();
    EXPECT_EQ(fake_dialogs.confirmations.size(), 2u);
    const QList<station::JobRow> rows = this->rows();
    ASSERT_EQ(rows.size(), 3) << "the camera not written again has a record";
    const auto row_of = [](const station::JobRow& row) {
        return std::tuple(row.start.serial, row.start.attempt, row.start.retest_confirmed);
    };
    EXPECT_EQ(row_of(rows[0]), std::tuple(QStringLiteral("SN-8"), 2, true));
    EXPECT_EQ(row_of(rows[1]), std::tuple(QStringLiteral("SN-8"), 1, false));
    EXPECT_EQ(row_of(rows[2]), std::tuple(QStringLiteral("SN-7"), 1, false));
}

TEST_F(StationWindowTest, SpaceStartsAndStopsAndTheSerialComesFromTheTile)
{
    window->serial_box()->setChecked(true);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get())) << "the window never became active";
    // Tab passes through the records table instead of walking its cells.
    window->refresh_records();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->records_table()->rowCount() == 0 && !window->records_status()->text().isEmpty(); }, kJobDeadlineMs));
    window->records_table()->setRowCount(2);
    window->records_table()->setFocus();
    QTest::keyClick(window->records_table(), Qt::Key_Tab);
    EXPECT_FALSE(window->records_table()->hasFocus()) << "Tab stayed in the records table";
    // Space on a tick ticks it; elsewhere it starts the run.
    window->port_tick(2)->setFocus();
    QTest::keyClick(window->port_tick(2), Qt::Key_Space);
    EXPECT_FALSE(window->port_tick(2)->isChecked());
    EXPECT_FALSE(window->running());
    connect_states();
    window->start_button()->setFocus();
    QTest::keyClick(window->start_button(), Qt::Key_Space);
    ASSERT_TRUE(window->running()) << "Space did not start the run";

    ASSERT_TRUE(wait_for(1, TileState::ScanSerial)) << "COM1 never asked for the serial";
    QLineEdit* field = window->tile(1)->serial_field();
    EXPECT_TRUE(field->isVisible());
    EXPECT_TRUE(field->hasFocus()) << "the focus is not on the field of the tile that asks";
    EXPECT_EQ(window->prompt()->text(), QStringLiteral("COM1: Scan the serial number"));
    const auto scan = [&](const QString& serial) {
        QTest::keyClicks(field, serial);
        QTest::keyClick(field, Qt::Key_Return);
    };
    const auto latest_serial = [&] {
        const QTableWidgetItem* item = window->records_table()->item(0, 3);
        return item ? item->text() : QString();
    };
    scan(QStringLiteral("SN-0042"));
    ASSERT_TRUE(wait_for(1, TileState::Pass)) << "COM1 never passed";
    EXPECT_NE(window->prompt()->text(), QStringLiteral("COM1: Scan the serial number")) << "the prompt still names COM1";
    EXPECT_TRUE(QTest::qWaitFor([&] { return latest_serial() == QLatin1String("SN-0042"); }, kJobDeadlineMs));
    // A scan while no tile asks is refused, never kept for the next camera.
    EXPECT_TRUE(field->hasFocus()) << "the focus left the field the next scan is meant for";
    scan(QStringLiteral("LATE"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window->tile(1)->reason() == QLatin1String("Scan \"LATE\" refused: no port asks for a serial number"); },
        kJobDeadlineMs))
        << window->tile(1)->reason().toStdString();
    cameras[0].unplug();
    ASSERT_TRUE(wait_for(1, TileState::Waiting, 2));
    cameras[0].plug_in(43);
    ASSERT_TRUE(wait_for(1, TileState::ScanSerial, 2)) << "COM1 did not ask for the next camera's serial";
    scan(QStringLiteral("SN-0043"));
    ASSERT_TRUE(wait_for(1, TileState::Pass, 2));
    EXPECT_TRUE(QTest::qWaitFor([&] { return latest_serial() == QLatin1String("SN-0043"); }, kJobDeadlineMs))
        << latest_serial().toStdString();

    // In a serial field Space is a space; Esc stops the run from there.
    QTest::keyClick(field, Qt::Key_Space);
    EXPECT_EQ(field->text(), QStringLiteral(" "));
    EXPECT_TRUE(window->running()) << "Space in a serial field stopped the run";
    QTest::keyClick(field, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->running(); }, kJobDeadlineMs)) << "Esc did not stop the run";

    // The next shift's window opens on the same master file and ports.
    window.reset();
    StationWindow next;
    ASSERT_TRUE(next.port_tick(1) && next.port_tick(2));
    EXPECT_TRUE(next.port_tick(1)->isChecked());
    EXPECT_FALSE(next.port_tick(2)->isChecked());
    EXPECT_TRUE(next.tile(1) != nullptr);
    EXPECT_FALSE(next.sound_box()->isChecked());
    next.start();
    EXPECT_TRUE(next.running()) << "the remembered master file was not loaded";
    next.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !next.running(); }, kJobDeadlineMs));
}

} // namespace

namespace {

TEST_F(StationWindowTest, AStoppedJobAndAnUnverifiedOneAreCountedApartAsTheRecordsSay)
{
    // Stop while both cameras restart: neither a FAIL nor a camera of the hour.
    for (sim::SimCamera& camera : cameras) camera.set_boot_ms(4000);
    window->start();
    ASSERT_TRUE(wait_for(1, TileState::Restarting) && wait_for(2, TileState::Restarting));
    stop_and_wait();
    for (int port : {1, 2}) {
        EXPECT_EQ(window->tile(port)->state(), TileState::Stopped);
        EXPECT_TRUE(window->tile(port)->reason().endsWith(QLatin1String("(Stop pressed)"))) << window->tile(port)->reason().toStdString();
    }
    EXPECT_EQ(window->stopped(), 2);
    EXPECT_EQ(window->failed(), 0);
    EXPECT_TRUE(window->counters_label()->text().contains(QLatin1String("Stopped 2   - cameras/hour")))
        << window->counters_label()->text().toStdString();
    QList<station::JobRow> records = rows();
    expect_counters_agree_with(records);
    for (const station::JobRow& row : records) EXPECT_TRUE(row.end.has_value()) << "a stopped job's record was left open";

    // Without the read-back: UNVERIFIED in amber, counted apart from PASS and FAIL, and each
    // camera written once: its restart (longer than the silence that means "unplugged") is
    // not taken for an unplugging.
    for (sim::SimCamera& camera : cameras) camera.set_boot_ms(2000);
    cameras[0].plug_in(71);
    cameras[1].plug_in(72);
    window->verify_box()->setChecked(false);
    window->show();
    window->start();
    ASSERT_TRUE(wait_for(1, TileState::Unverified) && wait_for(2, TileState::Unverified));
    cameras[0].clear_received();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cameras[0].received_count() >= 6; }, kJobDeadlineMs)) << "COM1's camera never came back";
    const auto verdict = std::find(states[1].begin(), states[1].end(), TileState::Unverified);
    EXPECT_EQ(std::count(verdict, states[1].end(), TileState::Waiting), 0) << "the camera's restart ended its verdict";
    EXPECT_EQ(window->tile(1)->state(), TileState::Unverified);
    EXPECT_EQ(fill(window->tile(1)), station_window::kAmberColour);
    window->start_button()->setFocus();
    QTest::keyClick(window->start_button(), Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->running(); }, kJobDeadlineMs)) << "Space did not stop the run";
    EXPECT_EQ(window->unverified(), 2);
    EXPECT_TRUE(window->counters_label()->text().startsWith(QLatin1String("Passed 0   Failed 0   Unverified 2   Stopped 0   ")))
        << window->counters_label()->text().toStdString();
    EXPECT_FALSE(window->counters_label()->text().contains(QLatin1String("- cameras/hour")));
    records = rows();
    records.erase(std::remove_if(records.begin(), records.end(), [](const station::JobRow& row) { return row.result == JobResult::Aborted; }),
                  records.end());
    expect_counters_agree_with(records);
}

TEST_F(StationWindowTest, ABusyDatabaseNeitherFreezesTheWindowNorLetsACameraGoUnrecorded)
{
    {
        station::Records records;
        QString error;
        ASSERT_TRUE(records.open(station::Records::default_path(), &error)) << error.toStdString();
        station::JobStart start;
        start.started = QDateTime::currentDateTime();
        start.port = 4;
        ASSERT_GT(records.begin(start), 0);
    }
    window.reset();
    // Another program holds the whole database: the window opens at once and says why its
    // table is empty, then fills it in once the database is let go.
    auto holder = std::make_unique<DatabaseHolder>(station::Records::default_path(), DatabaseHolder::Hold::Everything);
    ASSERT_TRUE(holder->held());
    QElapsedTimer clock;
    clock.start();
    window = std::make_unique<StationWindow>();
    EXPECT_LT(clock.elapsed(), 1000) << "the window waited for the database";
    window->sound_box()->setChecked(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->records_status()->text().contains(QLatin1String("database is locked")); },
                                kJobDeadlineMs))
        << window->records_status()->text().toStdString();
    EXPECT_EQ(window->records_table()->rowCount(), 0);
    holder->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->records_table()->rowCount() == 1; }, kJobDeadlineMs));
    EXPECT_EQ(window->records_status()->text(), QString());

    // A run while another program holds the write lock: the tile waits to record and the camera
    // is not touched until it can be.
    window->port_tick(2)->setChecked(false);
    connect_states();
    cameras[0].clear_received();
    holder = std::make_unique<DatabaseHolder>(station::Records::default_path(), DatabaseHolder::Hold::Writes);
    ASSERT_TRUE(holder->held());
    window->start();
    ASSERT_TRUE(wait_for(1, TileState::WaitingToRecord)) << "COM1 never waited to record";
    for (const sim::Bytes& unit : cameras[0].received())
        EXPECT_FALSE(unit.size() > 1 && (unit[0] == frames::SOH || unit[1] == 0x23)) << "written before its record existed";
    holder->release();
    ASSERT_TRUE(wait_for(1, TileState::Pass));
    stop_and_wait();
    expect_counters_agree_with(rows().mid(0, 1));
}

TEST_F(StationWindowTest, ExportWithNoRecordsSaysSo)
{
    fake_dialogs.save_answer = folder.path() + QStringLiteral("/records.csv");
    window->export_button()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_dialogs.messages.empty(); }, kJobDeadlineMs));
    EXPECT_EQ(fake_dialogs.messages.back().text, QStringLiteral("No records to export."));
    EXPECT_FALSE(QFile::exists(fake_dialogs.save_answer)) << "a file of a header alone was written";
}

TEST_F(StationWindowTest, AMasterFileChangedOnDiskIsNeverWrittenUnderTheHashItWasReadWith)
{
    window->port_tick(2)->setChecked(false);
    connect_states();
    // Before a run: the file is read again, and said to have changed, instead of a start.
    const QString facts = window->file_facts()->text();
    change_master();
    window->start();
    EXPECT_FALSE(window->running());
    ASSERT_FALSE(fake_dialogs.messages.empty());
    EXPECT_TRUE(fake_dialogs.messages.back().text.contains(QLatin1String("changed on disk and was read again")));
    EXPECT_NE(window->file_facts()->text(), facts);

    // During a run: the operator goes on with the file as it was read; every camera then gets
    // that file, and its records name it.
    const QByteArray as_read = file_bytes(master);
    fake_dialogs.confirm_answer = false;
    window->start();
    ASSERT_TRUE(wait_for(1, TileState::Pass));
    change_master();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake_dialogs.confirmations.size() == 1; }, kJobDeadlineMs)) << "the change went unnoticed";
    EXPECT_TRUE(window->running());
    EXPECT_TRUE(window->run_message()->text().contains(QLatin1String("changed on disk"))) << window->run_message()->text().toStdString();
    cameras[0].unplug();
    ASSERT_TRUE(wait_for(1, TileState::Waiting, 2));
    cameras[0].plug_in(44);
    ASSERT_TRUE(wait_for(1, TileState::Pass, 2));
    EXPECT_EQ(data_file::camera_file(camera_image(cameras[0])), as_read);
    for (const station::JobRow& row : rows())
        EXPECT_EQ(row.start.file_sha256, QString::fromLatin1(QCryptographicHash::hash(as_read, QCryptographicHash::Sha256).toHex()));

    // Or stops the run for it: the changed file is read once the run has ended.
    fake_dialogs.confirm_answer = true;
    change_master();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->running(); }, kJobDeadlineMs)) << "the run went on";
    EXPECT_EQ(fake_dialogs.confirmations.size(), 2u);
    const QString now = QString::fromLatin1(QCryptographicHash::hash(file_bytes(master), QCryptographicHash::Sha256).toHex());
    EXPECT_TRUE(window->file_facts()->text().contains(now.left(12))) << window->file_facts()->text().toStdString();
}

TEST_F(StationWindowTest, AKeepFileBesideTheMasterIsWhatEveryJobKeepsAndGoesWithTheMaster)
{
    // COM2's camera never takes the word at 0x0012: kept, it is the camera's own, and COM2 passes.
    const QString keep = folder.path() + QStringLiteral("/own.keep");
    QFile file(keep);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# the word that is each camera's own\n0x0012\n");
    file.close();
    fake_dialogs.open_answer = keep;
    window->keep_button()->click();
    EXPECT_EQ(window->keep_facts()->text(), QStringLiteral("own.keep: 0x0012 (1 word)"));
    EXPECT_EQ(fake_dialogs.filters.back(), QStringLiteral("Keep files (*.keep *.txt);;All files (*)"));
    window->start();
    const auto verdict = [&](int port) {
        const auto& seen = states[port];
        return std::find_if(seen.begin(), seen.end(), [](TileState s) { return s == TileState::Pass || s == TileState::Fail; });
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return verdict(1) != states[1].end() && verdict(2) != states[2].end(); }, kJobDeadlineMs));
    EXPECT_EQ(*verdict(1), TileState::Pass);
    EXPECT_EQ(*verdict(2), TileState::Pass) << window->tile(2)->reason().toStdString();
    stop_and_wait();
    const QList<station::JobRow> records = rows();
    ASSERT_EQ(records.size(), 2);
    for (const station::JobRow& row : records) EXPECT_EQ(row.start.keep_map, QStringLiteral("0x0012"));

    // The next window has it with the master file; one that cannot be read keeps the run from starting.
    window.reset();
    window = std::make_unique<StationWindow>();
    EXPECT_EQ(window->keep_facts()->text(), QStringLiteral("own.keep: 0x0012 (1 word)"));
    ASSERT_TRUE(QFile::remove(keep));
    window->start();
    EXPECT_FALSE(window->running());
    ASSERT_FALSE(fake_dialogs.messages.empty());
    EXPECT_TRUE(fake_dialogs.messages.back().text.endsWith(QLatin1String("The keep file cannot be read: the run does not start.")))
        << fake_dialogs.messages.back().text.toStdString();
    EXPECT_EQ(window->keep_facts()->text(), QStringLiteral("own.keep: cannot be read"));

    // Another master file goes without it.
    const QString other = folder.path() + QStringLiteral("/other.dat");
    ASSERT_TRUE(QFile::copy(master, other));
    fake_dialogs.open_answer = other;
    window->master_button()->click();
    EXPECT_EQ(window->keep_facts()->text(), QStringLiteral("(none)"));
    window.reset();
    EXPECT_EQ(StationWindow().keep_facts()->text(), QStringLiteral("(none)"));
}

TEST_F(StationWindowTest, ClosingDuringARunAsksThenStopsAndRecordsTheJobs)
{
    for (sim::SimCamera& camera : cameras) camera.set_boot_ms(4000);
    window->show();
    window->start();
    ASSERT_TRUE(wait_for(1, TileState::Restarting) && wait_for(2, TileState::Restarting));
    fake_dialogs.confirm_answer = false;
    window->close();
    EXPECT_EQ(fake_dialogs.confirmations.size(), 1u);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->running());
    fake_dialogs.confirm_answer = true;
    window->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->running() && !window->isVisible(); }, kJobDeadlineMs));
    const QList<station::JobRow> records = rows();
    ASSERT_EQ(records.size(), 2);
    for (const station::JobRow& row : records) {
        EXPECT_EQ(row.result, JobResult::Aborted);
        ASSERT_TRUE(row.end.has_value());
        EXPECT_TRUE(row.end->reason.endsWith(QLatin1String("(the window was closed)"))) << row.end->reason.toStdString();
    }
}

// The plant's settings in the window: no run without an operator where one is required, nor with
// a master that is not approved (the window says so, naming the file's SHA-256, and no camera is
// asked anything); the records name the station and the operator; the window shows where the
// records go and how many wait for a server that cannot be reached.
TEST_F(StationWindowTest, TheOperatorAndTheApprovalComeFirstAndTheRecordsNameThem)
{
    window.reset();
    QTemporaryDir no_server;
    ASSERT_TRUE(no_server.isValid());
    const QString away = QStringLiteral("postgresql:///camera?host=%1").arg(no_server.path());
    const QString settings_path = config.path() + QStringLiteral("/camera-adjust/station.conf");
    const auto settings = [&](const QString& text) {
        QFile file(settings_path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    };
    settings(QStringLiteral("[station]\nname=line-w\nrequire_operator=true\nrequire_approved=true\n"));
    const station::MasterFile master_read = [&] {
        station::MasterFile file;
        EXPECT_TRUE(station::load_master_file(master, file, nullptr));
        return file;
    }();
    StationWindow plant;
    ASSERT_TRUE(plant.port_tick(1));
    plant.port_tick(2)->setChecked(false);
    EXPECT_EQ(plant.records_where()->text(), QStringLiteral("Records: ") + station::Records::default_path());
    const auto started_and_ended = [&] {
        plant.start();
        return QTest::qWaitFor([&] { return !plant.running(); }, kJobDeadlineMs);
    };
    cameras[0].clear_received();
    ASSERT_TRUE(started_and_ended());
    ASSERT_FALSE(fake_dialogs.messages.empty());
    EXPECT_EQ(fake_dialogs.messages.back().text, QStringLiteral("Scan your badge or type your name in the Operator field first."));
    plant.operator_field()->setText(QStringLiteral("  Dana  "));
    ASSERT_TRUE(started_and_ended());
    EXPECT_TRUE(fake_dialogs.messages.back().text.contains(
        QStringLiteral("(SHA-256 %1) is not approved for writing").arg(master_read.sha256)))
        << fake_dialogs.messages.back().text.toStdString();
    EXPECT_EQ(cameras[0].received_count(), 0u) << "a camera was asked before the run was refused";

    {
        station::Records records;
        ASSERT_TRUE(records.open(station::Records::default_path(), nullptr));
        ASSERT_TRUE(records.approve({master_read.sha256, QStringLiteral("master.dat"), QStringLiteral("Dana"), {}, {}}));
    }
    QObject::connect(plant.tile(1), &PortTile::state_changed, &plant, [this](int p, TileState state) { states[p].push_back(state); });
    plant.start();
    ASSERT_TRUE(wait_for(1, TileState::Pass)) << plant.run_message()->text().toStdString();
    plant.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !plant.running(); }, kJobDeadlineMs));
    QList<station::JobRow> journal = rows();
    ASSERT_EQ(journal.size(), 1);
    EXPECT_EQ(journal[0].start.station, QStringLiteral("line-w"));
    EXPECT_EQ(journal[0].start.operator_name, QStringLiteral("Dana"));

    // A server that cannot be reached: the run goes on, its record waits and the window counts it
    // (not the row of the run without a server, which stays in this file alone).
    settings(QStringLiteral("[station]\ndatabase=%1\n").arg(away));
    StationWindow offline;
    EXPECT_EQ(offline.records_where()->text(),
              QStringLiteral("Records: %1 (journal %2)").arg(away, station::Records::default_path()));
    QObject::connect(offline.tile(1), &PortTile::state_changed, &offline, [this](int p, TileState state) { states[p].push_back(state); });
    cameras[0].unplug();
    cameras[0].plug_in(77);
    offline.start();
    ASSERT_TRUE(wait_for(1, TileState::Pass, 2)) << offline.run_message()->text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return offline.forward_status()->text().startsWith(QStringLiteral("records: 1 waiting, server unreachable since "));
    }, kJobDeadlineMs)) << offline.forward_status()->text().toStdString();
    offline.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !offline.running(); }, kJobDeadlineMs));
    journal = rows();
    ASSERT_EQ(journal.size(), 2);
    EXPECT_EQ(journal[0].start.station, QSysInfo::machineHostName());
    EXPECT_TRUE(journal[0].start.operator_name.isEmpty());
}

} // namespace

namespace {

TEST_F(StationWindowTest, AFirstStartSaysWhatToDoAndTheTicksShowWhichPortsExist)
{
    window.reset();
    QSettings(QStringLiteral("camera-adjust"), QStringLiteral("camera-station-window")).clear();
    window = std::make_unique<StationWindow>();
    window->sound_box()->setChecked(false);
    window->show_as_last_left();
    EXPECT_TRUE(window->isMaximized());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_TRUE(window->guide()->isVisible());
    EXPECT_EQ(window->guide()->text(), QStringLiteral("1. Choose the master file 2. Tick the ports 3. Start"));
    // Start waits for a master file and a port, and says which is missing.
    const auto blocked_by = [&](const char* missing) {
        EXPECT_FALSE(window->start_button()->isEnabled()) << missing;
        EXPECT_EQ(window->prompt()->text(), QLatin1String(missing));
    };
    blocked_by("Choose the master file first.");
    fake_dialogs.open_answer = master;
    for (QPushButton* button : window->findChildren<QPushButton*>())
        if (button->text() == QLatin1String("&Master file...")) button->click();
    EXPECT_EQ(fake_dialogs.filters.value(0), QStringLiteral("Data files (*.dat);;All files (*)"));
    blocked_by("Tick the ports to serve first.");
    QTest::keyClick(window.get(), Qt::Key_1, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->port_tick(1)->isChecked(); }, 5000)) << "Alt+1 did not tick COM1";
    EXPECT_TRUE(window->start_button()->isEnabled());
    EXPECT_FALSE(window->guide()->isVisible());
    // Alt+S starts, and stops.
    QTest::keyClick(window.get(), Qt::Key_S, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->running(); }, 5000)) << "Alt+S did not start the run";
    QTest::keyClick(window.get(), Qt::Key_S, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->running(); }, kJobDeadlineMs)) << "Alt+S did not stop the run";

    // An idle tile: grey, no words counted, and the device its link points to.
    PortTile* tile = window->tile(1);
    ASSERT_TRUE(tile);
    EXPECT_EQ(tile->state(), TileState::Stopped);
    EXPECT_FALSE(tile->findChild<QProgressBar*>()->isVisibleTo(tile)) << "an idle tile counts words";
    EXPECT_EQ(tile->device(), QString::fromStdString(cameras[0].slave_path()));

    // A port whose device goes away cannot be ticked until it is back.
    cameras[1].unpublish();
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/ttyUSB1"), port_link_path(2)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->port_tick(2)->isEnabled(); }, kJobDeadlineMs)) << "the gone port stays offered";
    EXPECT_EQ(window->port_tick(2)->toolTip(), QStringLiteral("/nonexistent/ttyUSB1: no such device"));
    ASSERT_TRUE(QFile::remove(port_link_path(2)));
    ASSERT_TRUE(cameras[1].publish_as_port(2));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->port_tick(2)->isEnabled(); }, kJobDeadlineMs)) << "the port that is back is not offered";
}

// A keep file of several ranges, whose line on the master bar is long.
QString write_keep_file(const QString& folder)
{
    const QString path = folder + QStringLiteral("/own-words-of-this-product.keep");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write("0x0100-0x011F\n0x0140-0x015F\n0x0200\n0x0210\n0x0220-0x022F\n0x0300-0x03FF\n");
    return path;
}

TEST_F(StationWindowTest, NinePortsWithSerialFieldsFitASmallScreenAndTheWindowShrinksBack)
{
    ASSERT_TRUE(window->set_keep_file(write_keep_file(folder.path())));
    window->serial_box()->setChecked(true);
    window->show();
    for (int port = 3; port <= 9; ++port) window->port_tick(port)->setChecked(true);
    const QSize nine = window->size();
    window->resize(kSmallScreen);
    QApplication::processEvents();
    ASSERT_EQ(window->size(), kSmallScreen) << "the window cannot be made that small";
    const QRect inside = window->rect();
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window.get()) || widget->isWindow()) continue;
        const QRect shown(widget->mapTo(window.get(), QPoint(0, 0)), widget->size());
        EXPECT_TRUE(inside.contains(shown)) << widget->metaObject()->className() << " " << widget->objectName().toStdString();
    }
    for (int port = 1; port <= 9; ++port) {
        PortTile* tile = window->tile(port);
        ASSERT_TRUE(tile);
        EXPECT_GE(tile->height(), tile->minimumSizeHint().height()) << "COM" << port << " is squeezed";
        EXPECT_TRUE(tile->serial_field()->isVisibleTo(window.get()));
    }
    EXPECT_TRUE(window->export_button()->isVisibleTo(window.get()));
    EXPECT_GE(window->records_table()->height(), 3 * window->records_table()->verticalHeader()->defaultSectionSize());

    // Fewer ports: a window that is not maximised gives back the room they took.
    for (int port = 3; port <= 9; ++port) window->port_tick(port)->setChecked(false);
    QApplication::processEvents();
    EXPECT_LT(window->height(), nine.height());

    // The next shift's window opens as this one was left.
    const QSize left = window->size();
    window->close();
    window = std::make_unique<StationWindow>();
    window->show_as_last_left();
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(window->size(), left);
}

TEST(PortTileTest, TheStateWordGrowsWithTheTileAndTheReasonIsNeverCut)
{
    PortTile tile(1, QStringLiteral("/dev/ttyUSB0"));
    tile.show_serial_field(true);
    tile.set_state(TileState::Fail);
    const QString reason = QStringLiteral("10 words differ: 0x0012 (file 22F0, camera 23F1), 0x0013 (file 0000, camera 0001), "
                                          "0x0014 (file 0000, camera 0001), 0x0015 (file 0000, camera 0001)");
    tile.set_reason(reason);
    tile.show();
    const auto state_points = [&](QSize size) {
        tile.resize(size);
        return tile.state_label()->font().pointSize();
    };
    const int small = state_points({260, 215}); // one of nine on a 1366x768 screen
    const int large = state_points({950, 640}); // one of two on a 1920x1080 screen
    EXPECT_GE(large, 2 * small) << small << " pt in a small tile, " << large << " pt in a large one";
    QPlainTextEdit* reason_view = tile.findChild<QPlainTextEdit*>();
    EXPECT_GE(reason_view->font().pointSize(), 14);
    EXPECT_EQ(tile.reason(), reason);
    EXPECT_TRUE(reason_view->focusPolicy() & Qt::TabFocus) << "the reason cannot be reached by keyboard";
    EXPECT_TRUE(reason_view->textInteractionFlags() & Qt::TextSelectableByKeyboard);
}

TEST(PortTileTest, PassAndFailDifferInMarkAndInLightnessToAnEyeWithoutRedGreen)
{
    PortTile tile(1, QStringLiteral("/dev/ttyUSB0"));
    tile.resize(300, 220);
    tile.show();
    const auto seen = [&](TileState state, char16_t mark) {
        tile.set_state(state);
        EXPECT_TRUE(tile.state_label()->text().startsWith(QChar(mark))) << tile.state_label()->text().toStdString();
        return deuteranope_lightness(dominant_colour(tile.grab().toImage()));
    };
    const double pass = seen(TileState::Pass, u'\u2714');
    const double fail = seen(TileState::Fail, u'\u2718');
    EXPECT_GE(std::abs(pass - fail), 20.0) << "PASS " << pass << " and FAIL " << fail << " look alike";
}

// Nine ports with serial numbers on a 1366x768 screen, and two on a 1920x1080 screen.
TEST_F(StationWindowTest, ScreenshotsOnASmallAndALargeScreen)
{
    const QString small_path = screenshot_path("station-window-1366x768.png");
    if (small_path.isEmpty()) GTEST_SKIP() << "no screenshots asked for";
    // Two ports on the large screen: PASS and FAIL.
    window->show();
    window->resize(kLargeScreen);
    window->start();
    ASSERT_TRUE(wait_for(1, TileState::Pass) && wait_for(2, TileState::Fail));
    // The records' columns span the table (the header lays them out a moment after the rows).
    const auto columns_span_the_table = [&] {
        const QHeaderView* header = window->records_table()->horizontalHeader();
        const int last = header->count() - 1;
        return header->sectionPosition(last) + header->sectionSize(last) >= header->viewport()->width() - 1;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->records_table()->rowCount() == 2 && columns_span_the_table(); },
                                kJobDeadlineMs));
    ASSERT_TRUE(window->grab().save(screenshot_path("station-window-1920x1080.png")));
    stop_and_wait();

    // Nine ports on the small one: each camera's serial scanned as its port asks, the last one
    // still asking, COM5's camera not plugged in.
    std::array<sim::SimCamera, 7> more;
    for (std::size_t i = 0; i < more.size(); ++i) {
        more[i].set_boot_ms(200);
        ASSERT_TRUE(more[i].start());
        ASSERT_TRUE(more[i].publish_as_port(static_cast<int>(i) + 3));
        more[i].plug_in(static_cast<std::uint32_t>(i) + 83);
    }
    more[2].unplug();
    cameras[0].plug_in(81);
    cameras[1].plug_in(82);
    ASSERT_TRUE(window->set_keep_file(write_keep_file(folder.path())));
    window->serial_box()->setChecked(true);
    for (int port = 3; port <= 9; ++port) window->port_tick(port)->setChecked(true);
    window->resize(kSmallScreen);
    window->start();
    int scanned = 0;
    const auto asking = [&] {
        for (int port = 1; port <= 9; ++port)
            if (window->tile(port)->state() == TileState::ScanSerial) return port;
        return 0;
    };
    while (scanned < 7) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return asking() != 0; }, kJobDeadlineMs)) << scanned << " scanned";
        PortTile* tile = window->tile(asking());
        QTest::keyClicks(tile->serial_field(), QStringLiteral("SN-%1").arg(2401 + scanned++));
        QTest::keyClick(tile->serial_field(), Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return tile->state() != TileState::ScanSerial; }, kJobDeadlineMs));
    }
    const auto verdicts = [&] {
        int done = 0;
        for (int port = 1; port <= 9; ++port) {
            const TileState state = window->tile(port)->state();
            done += state == TileState::Pass || state == TileState::Fail;
        }
        return done;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return verdicts() == 7 && asking() != 0; }, kJobDeadlineMs)) << [&] {
        std::string all;
        for (int port = 1; port <= 9; ++port) all += station_window::state_word(window->tile(port)->state()).toStdString() + " / " + window->tile(port)->reason().toStdString() + "\n";
        return all;
    }();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->records_table()->rowCount() >= 9 && columns_span_the_table(); },
                                kJobDeadlineMs));
    ASSERT_TRUE(window->grab().save(small_path));
}

} // namespace

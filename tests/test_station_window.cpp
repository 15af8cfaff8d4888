// The clone station's window as a line operator uses it: two simulated cameras on COM1 and COM2,
// plugged in and out, one of which never takes a word of the master file.

#include "codecs/data_file.h"
#include "records/records.h"
#include "sim_camera.h"
#include "station_test_support.h"
#include "station_window/port_tile.h"
#include "station_window/station_window.h"
#include "station_window/yield_panel.h"
#include "yield/yield_view.h"
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
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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
                QObject::connect(tile, &PortTile::state_changed, window.get(),
                                 [this](int p, TileState state) { states[p].push_back(state); });
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
    if (const QString path = screenshot_path("station-window.png"); !path.isEmpty()) {
        window->resize(1000, 560);
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->grab().save(path); }, 5000));
    }

    // The next cameras: the tiles wait for them and show their own verdicts.
    for (sim::SimCamera& camera : cameras) camera.unplug();
    ASSERT_TRUE(wait_for(1, TileState::Waiting, 2) && wait_for(2, TileState::Waiting, 2)) << "unplugging went unseen";
    EXPECT_NE(fill(window->tile(2)), station_window::kFailColour);
    cameras[0].plug_in(51);
    cameras[1].plug_in(52);
    ASSERT_TRUE(wait_for(1, TileState::Pass, 2) && wait_for(2, TileState::Fail, 2)) << "the second cameras";
    window->stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->running(); }, kJobDeadlineMs)) << "the run did not stop";

    EXPECT_EQ(window->passed(), 2);
    EXPECT_EQ(window->failed(), 2);
    EXPECT_TRUE(window->counters_label()->text().startsWith(QStringLiteral("Passed 2   Failed 2   Unverified 0   Stopped 0")));
    const QList<station::JobRow> rows = this->rows();
    ASSERT_EQ(rows.size(), 4);
    expect_counters_agree_with(rows);
    QTableWidget* table = window->records_table();
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->rowCount() == rows.size(); }, kJobDeadlineMs)) << table->rowCount();
    for (int r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(table->item(r, 1)->text(), QStringLiteral("COM%1").arg(rows[r].start.port));
        EXPECT_EQ(table->item(r, 4)->text(), station::result_word(rows[r].result));
    }
    EXPECT_EQ(table->item(0, 0)->text() >= table->item(3, 0)->text(), true) << "newest first";

    fake_dialogs.save_answer = folder.path() + QStringLiteral("/records.csv");
    window->export_button()->click();
    QFile csv(fake_dialogs.save_answer);
    ASSERT_TRUE(QTest::qWaitFor([&] { return csv.exists(); }, kJobDeadlineMs)) << "nothing exported";
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
        EXPECT_EQ(table->item(r, 5)->text(), rows().value(0).start.station);
        EXPECT_EQ(table->item(r, 6)->text(), QStringLiteral("1")) << "a camera without a serial is always attempt 1";
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return latest_serial() == QLatin1String("SN-0042"); }, kJobDeadlineMs));
    // A scan while no tile asks is refused, never kept for the next camera.
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->tile(1)->reason() == QLatin1String("Unplug the camera"); }, kJobDeadlineMs));
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

    window->start_button()->setFocus();
    QTest::keyClick(window->start_button(), Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->running(); }, kJobDeadlineMs)) << "Space did not stop the run";

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

    // Without the read-back: UNVERIFIED, counted apart from PASS and FAIL.
    for (sim::SimCamera& camera : cameras) camera.set_boot_ms(200);
    cameras[0].plug_in(71);
    cameras[1].plug_in(72);
    window->verify_box()->setChecked(false);
    window->start();
    ASSERT_TRUE(wait_for(1, TileState::Unverified) && wait_for(2, TileState::Unverified));
    stop_and_wait();
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

} // namespace

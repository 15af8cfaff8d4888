// The clone station's window as a line operator uses it: two simulated cameras on COM1 and COM2,
// plugged in and out, one of which never takes a word of the master file.

#include "codecs/data_file.h"
#include "records/records.h"
#include "sim_camera.h"
#include "station_test_support.h"
#include "station_window/port_tile.h"
#include "station_window/station_window.h"
#include "support/fake_dialogs.h"
#include "support/private_folder.h"
#include "support/screenshots.h"

#include <QCheckBox>
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
#include <vector>

namespace {

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
    EXPECT_TRUE(window->counters_label()->text().startsWith(QStringLiteral("Passed 2   Failed 2")));
    station::Records records;
    QString error;
    ASSERT_TRUE(records.open(station::Records::default_path(), &error)) << error.toStdString();
    const QList<station::JobRow> rows = records.list();
    ASSERT_EQ(rows.size(), 4);
    QTableWidget* table = window->records_table();
    ASSERT_EQ(table->rowCount(), rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(table->item(r, 1)->text(), QStringLiteral("COM%1").arg(rows[r].start.port));
        EXPECT_EQ(table->item(r, 4)->text(), station::result_word(rows[r].result));
    }
    EXPECT_EQ(table->item(0, 0)->text() >= table->item(3, 0)->text(), true) << "newest first";

    fake_dialogs.save_answer = folder.path() + QStringLiteral("/records.csv");
    window->export_button()->click();
    QFile csv(fake_dialogs.save_answer);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(csv.readAll()), station::records_csv(rows));
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
    QTest::keyClicks(field, QStringLiteral("SN-0042"));
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(wait_for(1, TileState::Pass)) << "COM1 never passed";
    EXPECT_TRUE(window->records_table()->item(0, 3) && window->records_table()->item(0, 3)->text() == "SN-0042");

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

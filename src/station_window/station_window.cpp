#include "station_window/station_window.h"

#include "comm/port_naming.h"
#include "station/port_states.h"
#include "station_window/port_tile.h"
#include "station_window/retest_question.h"
#include "station_window/yield_panel.h"
#include "widgets/dialogs.h"
#include "widgets/readout.h"
#include "widgets/timers.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStackedWidget>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace station_window {
namespace {

using station::JobResult;

const QString kCaption = QStringLiteral("Camera Clone Station");
// The window's own file dialogs speak English (the Copy page keeps its own texts).
const QString kMasterFilter = QStringLiteral("Data files (*.dat);;All files (*)");
const QString kCsvFilter = QStringLiteral("CSV files (*.csv);;All files (*)");
const QString kGuide = QStringLiteral("1. Choose the master file 2. Tick the ports 3. Start");
const QString kKeepFilter = QStringLiteral("Keep files (*.keep *.txt);;All files (*)");
constexpr int kPortCount = 9;
constexpr int kRecordsShown = 50;
constexpr int kCountersRefreshMs = 5000;
constexpr int kRecordsRetryMs = 3000;
constexpr int kPortsRefreshMs = 2000;
constexpr int kShaDigits = 12;
constexpr int kPromptPoints = 20;
constexpr int kGuidePoints = 24;
constexpr int kRecordsRowsShown = 3; // the least the records table shows on a small screen
// The tiles take three parts of the room the bars leave, the records one.
constexpr int kTilesStretch = 3;
constexpr int kRecordsStretch = 1;

// A thick frame around the control that has the focus, seen from a metre away.
const QString kFocusFrames = QStringLiteral(
    "QPushButton:focus, QCheckBox:focus, QComboBox:focus, QLineEdit:focus, QTableView:focus,"
    " QPlainTextEdit:focus, station_window--PortTile:focus { border: 3px solid #0d47a1; }");

QSettings settings() { return QSettings(QStringLiteral("camera-adjust"), QStringLiteral("camera-station-window")); }

// The device a port opens, its links followed: the tile names /dev/ttyUSB0 rather than the
// COM1 link that points there. A link that points nowhere is named by where it points.
QString resolved_device(int port)
{
    const QString path = port_device_path(port);
    const QFileInfo info(path);
    if (!info.isSymLink()) return path;
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? info.symLinkTarget() : target;
}

// Up to four tiles in a row; more in two rows, so that nine fit a 1366x768 screen.
int tile_columns(int tiles) { return tiles <= 4 ? tiles : (tiles + 1) / 2; }

// A long path or keep map must not widen the window past a small screen: the label takes the
// room the master bar has left, and its tooltip holds the whole text.
void shares_the_bar(QLabel* label)
{
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(label->fontMetrics().averageCharWidth() * 12);
}

void set_points(QWidget* widget, int points)
{
    QFont type = widget->font();
    type.setPointSize(points);
    type.setBold(true);
    widget->setFont(type);
}

// The tile state of the station's progress states.
TileState progress_state(const QString& state)
{
    if (state == station::port_state::kBooting) return TileState::Restarting;
    if (state == station::port_state::kVerifying) return TileState::Verifying;
    return TileState::Writing; // "reading" the camera's own words is part of the write
}

TileState verdict_state(JobResult result)
{
    switch (result) {
    case JobResult::Pass: return TileState::Pass;
    case JobResult::Unverified: return TileState::Unverified;
    case JobResult::Aborted: return TileState::Stopped; // cut short by Stop: not a verdict on the camera
    default: return TileState::Fail;
    }
}

// The SHA-256 of the file at `path` as it is on disk now; empty when it cannot be read.
QString sha256_on_disk(const QString& path)
{
    QByteArray bytes;
    QString error;
    return station::read_whole_file(path, bytes, &error) ? station::sha256_text(bytes) : QString();
}

// Space starts and stops the run, except on a button or check box with the focus, which Space
// presses as usual.
class SpaceStaysWithButton final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
                event->accept();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

struct StationWindow::Run {
    Run(QObject* context, RunView& view) : events(context, view) {}
    ~Run()
    {
        if (retests) retests->cancel(); // a port waiting for an answer ends before the station is
        if (check) check->wait();
        delete check;
    }

    station::StationSettings settings;
    station::MasterFile file;
    PostedEvents events;
    station::SerialArbiter serials;
    // Before the station starts its records are checked off the window's thread (the journal,
    // the server, the master's approval); a Stop meanwhile ends the run before any camera.
    QThread* check = nullptr;
    bool stopped_before_start = false;
    std::unique_ptr<RetestQuestion> retests;
    std::unique_ptr<station::Station> station;
};

namespace {

// The settings file and the window's options; empty when they can be used, else why not.
QString plan_for_window(const QString& db_path, const QString& station_name, station::RecordsPlan& plan)
{
    station::StationConfig config;
    QString error;
    if (station::read_station_config(station::station_config_path(), config, &error)
        && station::plan_records(config, db_path, station_name, plan, &error))
        return {};
    plan.journal = station::Records::default_path();
    return error;
}

} // namespace

StationWindow::StationWindow(const QString& db_path, QWidget* parent, const QString& station_name) : QMainWindow(parent)
{
    plan_error_ = plan_for_window(db_path, station_name, plan_);
    setWindowTitle(kCaption);
    setStyleSheet(kFocusFrames);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setSpacing(4);
    auto* controls = new QHBoxLayout;
    controls->addWidget(build_ports_row());
    controls->addWidget(build_run_row());
    controls->addWidget(build_plant_row(), 1); // on the same line: a small screen has none to spare
    layout->addWidget(build_master_bar());
    layout->addLayout(controls);
    layout->addWidget(build_prompt_row());
    run_message_ = new QLabel(central);
    run_message_->setWordWrap(true);
    run_message_->hide(); // shown with a message only: a small screen has no line to spare
    make_readout(run_message_, QStringLiteral("Run message"));
    layout->addWidget(run_message_);
    layout->addWidget(build_middle(), kTilesStretch);
    layout->addWidget(build_records(), kRecordsStretch);
    // The bars lie flat: on a small screen every pixel of height goes to the tiles.
    for (QWidget* bar : central->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (bar->layout() && bar != middle_) bar->layout()->setContentsMargins(0, 0, 0, 0);
    setCentralWidget(central);

    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        if (button != start_button_) button->installEventFilter(new SpaceStaysWithButton(button));
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(space, &QShortcut::activated, this, &StationWindow::start_or_stop);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &StationWindow::stop);
    counters_timer_ = named_timer(this, "countersTimer", kCountersRefreshMs, &StationWindow::show_counters);
    ports_timer_ = named_timer(this, "portsTimer", kPortsRefreshMs, &StationWindow::refresh_ports);
    ports_timer_->start();
    records_retry_timer_ = named_timer(this, "recordsRetryTimer", kRecordsRetryMs, &StationWindow::refresh_records);
    records_retry_timer_->setSingleShot(true);
    reader_ = new RecordsReader(plan_.journal, this);
    master_watch_ = new QFileSystemWatcher(this);
    connect(master_watch_, &QFileSystemWatcher::fileChanged, this, &StationWindow::check_master_file);

    restore();
    refresh_ports();
    show_readiness();
    refresh_records();
    show_counters();
    start_forwarding();
    if (!plan_error_.isEmpty()) run_message_->setText(plan_error_);
    start_button_->setFocus();
}

StationWindow::~StationWindow()
{
    forwarder_.reset(); // its reports are posted to this window
    if (run_ && run_->station) run_->station->stop(QStringLiteral("the window was closed")); // then waited for
}

QWidget* StationWindow::build_master_bar()
{
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    open_button_ = new QPushButton(QStringLiteral("&Master file..."), bar);
    file_label_ = new QLabel(QStringLiteral("(none)"), bar);
    make_readout(file_label_, QStringLiteral("Master file"));
    shares_the_bar(file_label_);
    file_facts_label_ = new QLabel(bar);
    make_readout(file_facts_label_, QStringLiteral("Master file records and SHA-256"));
    mode_box_ = new QComboBox(bar);
    mode_box_->addItems({QStringLiteral("Batch"), QStringLiteral("Single")});
    mode_box_->setAccessibleName(QStringLiteral("Mode"));
    auto* mode_label = new QLabel(QStringLiteral("M&ode:"), bar);
    mode_label->setBuddy(mode_box_);
    verify_box_ = new QCheckBox(QStringLiteral("&Verify"), bar);
    verify_box_->setChecked(true);
    row->addWidget(open_button_);
    row->addWidget(file_label_, 1);
    row->addWidget(file_facts_label_);
    row->addWidget(mode_label);
    row->addWidget(mode_box_);
    row->addWidget(verify_box_);
    add_keep_controls(bar, row);
    connect(open_button_, &QPushButton::clicked, this, &StationWindow::choose_master_file);
    return bar;
}

QWidget* StationWindow::build_ports_row()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->addWidget(new QLabel(QStringLiteral("Ports:"), box));
    for (int port = 1; port <= kPortCount; ++port) {
        auto* tick = new QCheckBox(QStringLiteral("COM&%1").arg(port), box);
        tick->setObjectName(QStringLiteral("port%1").arg(port));
        port_ticks_.insert(port, tick);
        row->addWidget(tick);
        connect(tick, &QCheckBox::toggled, this, [this] {
            rebuild_tiles();
            refresh_ports();
            show_readiness();
            remember();
        });
    }
    return box;
}

QWidget* StationWindow::build_run_row()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    start_button_ = new QPushButton(QStringLiteral("&Start"), box);
    serial_box_ = new QCheckBox(QStringLiteral("Ask for each camera's serial &number"), box);
    sound_box_ = new QCheckBox(QStringLiteral("So&und on PASS and FAIL"), box);
    sound_box_->setChecked(true);
    row->addSpacing(start_button_->fontMetrics().averageCharWidth() * 2);
    row->addWidget(start_button_);
    row->addWidget(serial_box_);
    row->addWidget(sound_box_);
    row->addStretch(1);
    connect(start_button_, &QPushButton::clicked, this, &StationWindow::start_or_stop);
    connect(serial_box_, &QCheckBox::toggled, this, [this](bool on) {
        for (PortTile* tile : std::as_const(tiles_)) tile->show_serial_field(on);
        fit_to_tiles();
    });
    connect(sound_box_, &QCheckBox::toggled, this, [this](bool on) {
        sounds_.set_enabled(on);
        remember();
    });
    return box;
}

QWidget* StationWindow::build_prompt_row()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    prompt_label_ = new QLabel(box);
    set_points(prompt_label_, kPromptPoints);
    prompt_label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    prompt_label_->setAutoFillBackground(true);
    make_readout(prompt_label_, QStringLiteral("Station"));
    counters_label_ = new QLabel(box);
    make_readout(counters_label_, QStringLiteral("This run"));
    QFont large = counters_label_->font();
    large.setPointSize(large.pointSize() + 4);
    counters_label_->setFont(large);
    row->addWidget(prompt_label_, 1);
    row->addWidget(counters_label_);
    return box;
}

// The tiles, or while no port is ticked the first steps in their place.
QWidget* StationWindow::build_middle()
{
    middle_ = new QStackedWidget(this);
    guide_label_ = new QLabel(kGuide, middle_);
    set_points(guide_label_, kGuidePoints);
    guide_label_->setAlignment(Qt::AlignCenter);
    guide_label_->setWordWrap(true);
    auto* tiles = new QWidget(middle_);
    tiles_layout_ = new QGridLayout(tiles);
    tiles_layout_->setContentsMargins(0, 0, 0, 0);
    tiles_layout_->setSpacing(4);
    middle_->addWidget(guide_label_);
    middle_->addWidget(tiles);
    return middle_;
}

QWidget* StationWindow::build_records()
{
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    auto* head = new QHBoxLayout;
    auto* caption = new QLabel(QStringLiteral("&Latest records"), box);
    export_button_ = new QPushButton(QStringLiteral("&Export CSV"), box);
    records_status_ = new QLabel(box);
    records_status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    make_readout(records_status_, QStringLiteral("Records status"));
    head->addWidget(caption);
    head->addWidget(records_status_, 1);
    add_records_filters(box, head);
    head->addWidget(export_button_);
    records_table_ = new QTableWidget(0, 9, box);
    records_table_->setHorizontalHeaderLabels({QStringLiteral("Started"), QStringLiteral("Port"),
                                               QStringLiteral("Title"), QStringLiteral("Serial"),
                                               QStringLiteral("Result"), QStringLiteral("Mode"),
                                               QStringLiteral("Station"), QStringLiteral("Attempt"),
                                               QStringLiteral("Reason")});
    records_table_->setAccessibleName(QStringLiteral("Latest records"));
    records_table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    records_table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    records_table_->horizontalHeader()->setStretchLastSection(true);
    records_table_->verticalHeader()->hide();
    records_table_->verticalHeader()->setDefaultSectionSize(records_table_->fontMetrics().height() + 6); // compact rows
    records_table_->setTabKeyNavigation(false); // Tab moves on to the next control, not cell by cell
    records_table_->setMinimumHeight(records_table_->horizontalHeader()->sizeHint().height()
                                     + kRecordsRowsShown * records_table_->verticalHeader()->defaultSectionSize()
                                     + 2 * records_table_->frameWidth());
    caption->setBuddy(records_table_);
    layout->addLayout(head);
    layout->addWidget(records_table_);
    connect(export_button_, &QPushButton::clicked, this, &StationWindow::export_csv);
    return box;
}

bool StationWindow::open_master_file(const QString& path)
{
    auto file = std::make_unique<station::MasterFile>();
    QString error;
    if (!station::load_master_file(path, *file, &error)) {
        dialogs().message(error, kCaption);
        return false;
    }
    file_label_->setText(file->path);
    file_label_->setToolTip(file->path);
    file_facts_label_->setText(
        QStringLiteral("%1 records   SHA-256 %2").arg(file->named).arg(file->sha256.left(kShaDigits)));
    if (!master_watch_->files().isEmpty()) master_watch_->removePaths(master_watch_->files());
    master_watch_->addPath(file->path);
    master_ = std::move(file);
    ignored_master_sha_.clear();
    remember();
    show_readiness();
    return true;
}

void StationWindow::show_as_last_left()
{
    if (restoreGeometry(settings().value(QStringLiteral("geometry")).toByteArray()))
        show();
    else
        showMaximized();
}

// A watch can miss a change (a file replaced by another of the same name drops it), so the file
// is also looked at before a run and after each camera.
void StationWindow::check_master_file()
{
    if (!master_) return;
    if (!master_watch_->files().contains(master_->path) && QFileInfo::exists(master_->path))
        master_watch_->addPath(master_->path);
    const QString sha256 = sha256_on_disk(master_->path);
    if (sha256 != master_->sha256 && sha256 != ignored_master_sha_) master_file_changed(sha256);
}

// Outside a run the file is read again; during a run the file as read goes on being written (its
// records name its SHA-256), unless the operator stops the run to read the changed one.
void StationWindow::master_file_changed(const QString& sha256)
{
    const QString path = master_->path;
    const QString was = master_->sha256.left(kShaDigits);
    const QString now = sha256.isEmpty() ? QStringLiteral("(cannot be read)") : sha256.left(kShaDigits);
    if (!running()) {
        if (!open_master_file(path)) {
            master_.reset();
            file_label_->setText(QStringLiteral("(none)"));
            file_label_->setToolTip({});
            file_facts_label_->clear();
            show_readiness();
            return;
        }
        dialogs().message(QStringLiteral("%1 changed on disk and was read again: SHA-256 %2, was %3.").arg(path, now, was),
                          kCaption);
        return;
    }
    ignored_master_sha_ = sha256; // asked once for each change
    show_run_message(QStringLiteral("%1 changed on disk (SHA-256 %2): this run writes the file as it was read "
                                    "(SHA-256 %3).")
                         .arg(path, now, was));
    if (dialogs().confirm(QStringLiteral("%1 changed on disk (SHA-256 %2).\n\nThis run goes on writing the file as it "
                                         "was read (SHA-256 %3). Stop the run and read the file again?")
                              .arg(path, now, was),
                          kCaption)) {
        reload_master_after_run_ = true;
        stop_for(QStringLiteral("the master file changed"));
    }
}

// Another master file takes the keep file with it: the words one product's units keep are not
// another's.
void StationWindow::choose_master_file()
{
    const QString path = dialogs().open_file_name(kMasterFilter, QString());
    if (path.isEmpty()) return;
    const QString before = master_ ? master_->path : QString();
    if (open_master_file(path) && master_->path != before) clear_keep_file();
}

// ---- The keep file ----------------------------------------------------------------------------

void StationWindow::add_keep_controls(QWidget* bar, QHBoxLayout* row)
{
    keep_button_ = new QPushButton(QStringLiteral("&Keep file..."), bar);
    keep_button_->setAccessibleDescription(QStringLiteral("The words each camera keeps of its own"));
    keep_label_ = new QLabel(QStringLiteral("(none)"), bar);
    make_readout(keep_label_, QStringLiteral("Keep file"));
    shares_the_bar(keep_label_);
    row->addWidget(keep_button_);
    row->addWidget(keep_label_, 1);
    connect(keep_button_, &QPushButton::clicked, this, &StationWindow::choose_keep_file);
}

void StationWindow::choose_keep_file()
{
    const QString path = dialogs().open_file_name(kKeepFilter, keep_path_);
    if (!path.isEmpty()) set_keep_file(path);
}

bool StationWindow::set_keep_file(const QString& path)
{
    keep_path_ = QFileInfo(path).absoluteFilePath();
    remember();
    station::KeepMap map;
    QString error;
    if (show_keep_file(map, &error)) return true;
    dialogs().message(error, kCaption);
    return false;
}

// Reads the keep file and shows it on the master bar ("own.keep: 0x0100-0x011F (32 words)");
// false, with why in `error`, when it cannot be read. No keep file is an empty map.
bool StationWindow::show_keep_file(station::KeepMap& map, QString* error)
{
    const bool read = keep_path_.isEmpty() || station::load_keep_file(keep_path_, map, error);
    const QString name = QFileInfo(keep_path_).fileName();
    if (keep_path_.isEmpty())
        keep_label_->setText(QStringLiteral("(none)"));
    else if (!read)
        keep_label_->setText(QStringLiteral("%1: cannot be read").arg(name));
    else
        keep_label_->setText(QStringLiteral("%1: %2 (%3)")
                                 .arg(name, map.empty() ? QStringLiteral("none") : map.text(), station::words_text(map.count())));
    keep_label_->setToolTip(read ? QStringLiteral("%1\n%2").arg(keep_label_->text(), keep_path_).trimmed() : *error);
    return read;
}

void StationWindow::clear_keep_file()
{
    keep_path_.clear();
    station::KeepMap none;
    show_keep_file(none, nullptr);
    remember();
}

// The keep file as it is now, for a run; false (and a message) when it cannot be read.
bool StationWindow::keep_map_for_run(station::KeepMap& map)
{
    QString error;
    if (show_keep_file(map, &error)) return true;
    dialogs().message(QStringLiteral("%1\n\nThe keep file cannot be read: the run does not start.").arg(error), kCaption);
    return false;
}

void StationWindow::export_csv()
{
    export_button_->setEnabled(false);
    reader_->read(-1, [this](const QList<station::JobRow>& rows, const QString& error) {
        export_button_->setEnabled(true);
        write_csv(rows, error);
    });
}

void StationWindow::write_csv(const QList<station::JobRow>& rows, const QString& error)
{
    if (!error.isEmpty()) {
        dialogs().message(error, kCaption);
        return;
    }
    if (rows.isEmpty()) {
        dialogs().message(QStringLiteral("No records to export."), kCaption);
        return;
    }
    QString path = dialogs().save_file_name(kCsvFilter, QString());
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".csv");
    if (QFileInfo::exists(path) && !dialogs().confirm(QStringLiteral("%1 exists. Replace it?").arg(path), kCaption))
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(station::records_csv(rows).toUtf8()) < 0 || !file.commit()) {
        dialogs().message(QStringLiteral("%1: %2").arg(path, file.errorString()), kCaption);
        return;
    }
    dialogs().message(QStringLiteral("%1 records written to %2").arg(rows.size()).arg(path), kCaption);
}

void StationWindow::rebuild_tiles()
{
    if (running()) return; // the ticks are locked while a run goes
    qDeleteAll(tiles_);
    tiles_.clear();
    QList<int> ports;
    for (auto tick = port_ticks_.cbegin(); tick != port_ticks_.cend(); ++tick)
        if (tick.value()->isChecked()) ports.append(tick.key());
    const int columns = tile_columns(static_cast<int>(ports.size()));
    for (int i = 0; i < tiles_layout_->columnCount(); ++i) tiles_layout_->setColumnStretch(i, 0);
    for (int i = 0; i < tiles_layout_->rowCount(); ++i) tiles_layout_->setRowStretch(i, 0);
    for (int index = 0; index < ports.size(); ++index) {
        const int port = ports[index];
        auto* tile = new PortTile(port, resolved_device(port), tiles_layout_->parentWidget());
        if (!QFileInfo::exists(port_device_path(port))) tile->set_state(TileState::NoPort);
        tile->show_serial_field(serial_box_->isChecked());
        connect(tile, &PortTile::serial_entered, this, [this](int port, const QString& serial) {
            if (run_) run_->serials.scan(serial, port);
        });
        tiles_layout_->addWidget(tile, index / columns, index % columns);
        tiles_layout_->setColumnStretch(index % columns, 1);
        tiles_layout_->setRowStretch(index / columns, 1);
        tile->show(); // now, not once the layout gets to it: the window's size is taken next
        tiles_.insert(port, tile);
    }
    middle_->setCurrentIndex(tiles_.isEmpty() ? 0 : 1);
    fit_to_tiles();
}

// A window that is not maximised takes the size its tiles need: it grows when ports are ticked
// and shrinks back when they are unticked.
void StationWindow::fit_to_tiles()
{
    if (!isVisible() || isMaximized() || isFullScreen()) return;
    centralWidget()->layout()->activate();
    layout()->activate();
    QSize size = sizeHint();
    if (const QScreen* shown_on = screen()) size = size.boundedTo(shown_on->availableGeometry().size());
    resize(size);
}

// The ticks show which ports have a device now: a port without one cannot be ticked (one ticked
// before can be unticked), and its idle tile says "No port" until its device is back.
void StationWindow::refresh_ports()
{
    for (auto tick = port_ticks_.cbegin(); tick != port_ticks_.cend(); ++tick) {
        const int port = tick.key();
        QCheckBox* box = tick.value();
        const bool present = QFileInfo::exists(port_device_path(port));
        const QString device = resolved_device(port);
        box->setEnabled(!running() && (present || box->isChecked()));
        box->setToolTip(present ? device : QStringLiteral("%1: no such device").arg(device));
        box->setAccessibleDescription(box->toolTip());
        const bool changed = port_present_.value(port, present) != present;
        port_present_.insert(port, present);
        PortTile* tile = tiles_.value(port);
        if (!tile || running()) continue;
        tile->set_device(device);
        if (changed && (tile->state() == TileState::Stopped || tile->state() == TileState::NoPort)) {
            tile->set_state(present ? TileState::Stopped : TileState::NoPort);
            tile->set_reason({});
        }
    }
}

void StationWindow::lock_settings(bool locked)
{
    for (QWidget* control : {static_cast<QWidget*>(open_button_), static_cast<QWidget*>(keep_button_),
                             static_cast<QWidget*>(mode_box_), static_cast<QWidget*>(verify_box_),
                             static_cast<QWidget*>(serial_box_)})
        control->setEnabled(!locked);
    operator_field_->setReadOnly(locked); // the run's records name who started it
    start_button_->setText(locked ? QStringLiteral("&Stop") : QStringLiteral("&Start"));
    refresh_ports();
    show_readiness();
}

QString StationWindow::start_blocker() const
{
    if (!master_) return QStringLiteral("Choose the master file first.");
    if (tiles_.isEmpty()) return QStringLiteral("Tick the ports to serve first.");
    return {};
}

// Start is offered only when a run can begin; what is missing is said beside it.
void StationWindow::show_readiness()
{
    const QString blocker = running() ? QString() : start_blocker();
    start_button_->setEnabled(blocker.isEmpty());
    const QString keys = running() ? QStringLiteral("Esc or Space stops the run") : QStringLiteral("Space starts the run");
    start_button_->setToolTip(blocker.isEmpty() ? keys : blocker);
    start_button_->setAccessibleDescription(start_button_->toolTip());
    show_prompt();
}

// The one line the operator reads first: which port wants a serial number scanned, else what
// the window waits for.
void StationWindow::show_prompt()
{
    QString text;
    QColor fill = palette().color(QPalette::Window);
    if (running() && asking_port_ != 0) {
        text = QStringLiteral("COM%1: %2").arg(asking_port_).arg(next_action(TileState::ScanSerial));
        fill = tile_colours(TileState::ScanSerial).fill;
    } else if (running()) {
        text = QStringLiteral("Running: Esc stops");
    } else {
        text = start_blocker();
        if (text.isEmpty()) text = QStringLiteral("Ready: press Start");
    }
    prompt_label_->setText(text);
    QPalette colours = prompt_label_->palette();
    colours.setColor(QPalette::Window, fill);
    prompt_label_->setPalette(colours);
}

void StationWindow::start()
{
    if (running()) return;
    if (const QString blocker = start_blocker(); !blocker.isEmpty()) {
        dialogs().message(blocker, kCaption);
        return;
    }
    if (const QString sha256 = sha256_on_disk(master_->path); sha256 != master_->sha256) {
        master_file_changed(sha256); // read again (and shown) before any camera gets it
        return;
    }
    if (!plan_error_.isEmpty()) {
        dialogs().message(plan_error_, kCaption);
        return;
    }
    if (!operator_named()) return;
    station::KeepMap keep;
    if (!keep_map_for_run(keep)) return;
    RunView& view = *this;
    run_ = std::make_unique<Run>(this, view);
    station::StationSettings& s = run_->settings;
    run_->file = *master_;
    s.job.command = station::Command::Write;
    s.job.single = mode_box_->currentIndex() == 1;
    s.job.verify = verify_box_->isChecked();
    s.job.file = &run_->file;
    s.job.keep = keep;
    s.ports = tiles_.keys();
    s.loop = true;
    s.ask_serial = serial_box_->isChecked();
    s.db_path = plan_.journal;
    s.forward = plan_.server.has_value();
    s.station_name = plan_.station_name;
    s.operator_name = operator_field_->text().trimmed();
    ask_before_retests(s);
    counts_ = {};
    asking_port_ = 0;
    show_run_message({});
    for (PortTile* tile : std::as_const(tiles_)) tile->clear_camera();
    lock_settings(true);
    check_records_then_run();
}

// Once the records are checked: the run's clock starts with its first camera's chance.
void StationWindow::begin_run()
{
    run_->station = std::make_unique<station::Station>(run_->settings, run_->events, &run_->serials);
    run_clock_.start();
    show_counters();
    enable_timer(counters_timer_);
    run_->station->start([this] { QMetaObject::invokeMethod(this, &StationWindow::run_ended, Qt::QueuedConnection); });
}

void StationWindow::stop() { stop_for(QStringLiteral("Stop pressed")); }

void StationWindow::stop_for(const QString& cause)
{
    if (!run_) return;
    if (run_->retests) run_->retests->cancel();
    if (run_->station)
        run_->station->stop(cause);
    else
        run_->stopped_before_start = true;
}

void StationWindow::closeEvent(QCloseEvent* event)
{
    if (!running()) {
        settings().setValue(QStringLiteral("geometry"), saveGeometry());
        event->accept();
        return;
    }
    event->ignore();
    if (close_after_run_) return; // already stopping for it
    if (!dialogs().confirm(QStringLiteral("A run is going. Stop it and close the window?\n\nThe cameras in progress "
                                          "are stopped and recorded first."),
                           kCaption))
        return;
    close_after_run_ = true;
    stop_for(QStringLiteral("the window was closed"));
}

void StationWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) refresh_ports();
}

void StationWindow::show_run_message(const QString& text)
{
    run_message_->setText(text);
    run_message_->setVisible(!text.isEmpty());
}

void StationWindow::start_or_stop()
{
    if (running())
        stop();
    else
        start();
}

void StationWindow::run_ended()
{
    if (!run_) return;
    run_->station->wait();
    run_over();
}

// After the run, or instead of it when its records' check refused it (no tile then ran).
void StationWindow::run_over()
{
    run_.reset();
    run_ms_ = run_clock_.elapsed();
    asking_port_ = 0;
    counters_timer_->stop();
    for (PortTile* tile : std::as_const(tiles_)) tile->show_stopped();
    lock_settings(false);
    show_counters();
    refresh_records();
    if (std::exchange(reload_master_after_run_, false)) {
        ignored_master_sha_.clear();
        check_master_file();
    }
    if (close_after_run_) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

// Cameras per hour count the cameras that got the file and a verdict: a job cut short by Stop is
// none of them.
void StationWindow::show_counters()
{
    const int cameras = counts_.passed + counts_.failed + counts_.unverified;
    QString rate = QStringLiteral("-");
    const qint64 run_ms = running() ? run_clock_.elapsed() : run_ms_; // after the run: its own rate
    if (cameras > 0) rate = QString::number(cameras * 3600000.0 / std::max<qint64>(run_ms, 1), 'f', 0);
    QString text = QStringLiteral("Passed %1   Failed %2   Unverified %3   Stopped %4   %5 cameras/hour")
                       .arg(counts_.passed)
                       .arg(counts_.failed)
                       .arg(counts_.unverified)
                       .arg(counts_.aborted)
                       .arg(rate);
    if (counts_.unrecorded > 0) text += QStringLiteral("   Not recorded %1").arg(counts_.unrecorded);
    counters_label_->setText(text);
}

void StationWindow::refresh_records()
{
    if (reader_->reading()) {
        reread_records_ = true;
        return;
    }
    reader_->read(records_filter(), [this](const QList<station::JobRow>& rows, const QString& error) {
        show_records(rows, error);
        if (std::exchange(reread_records_, false)) refresh_records();
    });
}

// A table that cannot be read keeps the rows it shows and says why; it is read again shortly.
void StationWindow::show_records(const QList<station::JobRow>& rows, const QString& error)
{
    if (!error.isEmpty()) {
        records_status_->setText(QStringLiteral("The latest records cannot be shown (trying again): ") + error);
        enable_timer(records_retry_timer_);
        return;
    }
    records_status_->setText(rows.isEmpty() ? QStringLiteral("No records yet.") : QString());
    records_table_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const station::JobRow& row = rows[r];
        const QStringList cells{row.start.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                QStringLiteral("COM%1").arg(row.start.port), row.start.title, row.start.serial,
                                station::result_word(row.result), row.start.mode, row.start.station,
                                row.start.attempt > 0 ? QString::number(row.start.attempt) : QStringLiteral("-"),
                                row.end ? row.end->reason : QString()};
        for (int c = 0; c < cells.size(); ++c) records_table_->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    // The reason, last, stretches over the room the others leave (resizing every column to its
    // contents would undo that stretch).
    for (int c = 0; c + 1 < records_table_->columnCount(); ++c) records_table_->resizeColumnToContents(c);
}

void StationWindow::remember()
{
    QSettings s = settings();
    if (master_) s.setValue(QStringLiteral("master_file"), master_->path);
    s.setValue(QStringLiteral("keep_file"), keep_path_);
    QStringList ticked;
    for (auto tick = port_ticks_.cbegin(); tick != port_ticks_.cend(); ++tick)
        if (tick.value()->isChecked()) ticked.append(QString::number(tick.key()));
    s.setValue(QStringLiteral("ports"), ticked.join(QLatin1Char(',')));
    s.setValue(QStringLiteral("sound"), sound_box_->isChecked());
}

void StationWindow::restore()
{
    const QSettings s = settings();
    const QString file = s.value(QStringLiteral("master_file")).toString();
    const QStringList ticked = s.value(QStringLiteral("ports")).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    const bool sound = s.value(QStringLiteral("sound"), true).toBool();
    const QString keep = s.value(QStringLiteral("keep_file")).toString();
    if (!file.isEmpty() && QFileInfo::exists(file) && open_master_file(file)) {
        keep_path_ = keep; // shown even when it cannot be read: a run then says so
        station::KeepMap map;
        QString error;
        show_keep_file(map, &error);
    }
    for (const QString& port : ticked)
        if (QCheckBox* tick = port_ticks_.value(port.toInt())) tick->setChecked(true);
    sound_box_->setChecked(sound);
}

void StationWindow::port_state(int port, const QString& state)
{
    PortTile* tile = tiles_.value(port);
    if (!tile) return;
    no_longer_asking(port);
    if (state == station::port_state::kWaiting) {
        tile->set_state(TileState::Waiting);
    } else if (state == station::port_state::kTurnToAsk) {
        tile->set_state(TileState::WaitingForTurn);
    } else if (state == station::port_state::kWaitingToRecord) {
        tile->set_state(TileState::WaitingToRecord);
    } else if (state == station::port_state::kScanSerial) {
        tile->set_state(TileState::ScanSerial);
        asking_port_ = port;
        show_prompt();
        tile->serial_field()->setFocus(); // the scan that comes next is this port's
    } else if (state == station::port_state::kUnplug) {
        tile->show_last_verdict(); // the camera that had it answers again
    } else {
        tile->set_state(TileState::Writing); // "camera found": its job begins
    }
}

// The port has its serial number (or its turn ended): the prompt stops naming it.
void StationWindow::no_longer_asking(int port)
{
    if (asking_port_ != port) return;
    asking_port_ = 0;
    show_prompt();
}

void StationWindow::port_progress(int port, const QString& state, int done, int total)
{
    PortTile* tile = tiles_.value(port);
    if (!tile) return;
    no_longer_asking(port);
    const TileState now = progress_state(state);
    if (tile->state() != now) tile->set_state(now);
    tile->set_progress(done, total); // single mode too counts the file's words as it writes them
}

// Given once the camera's record is complete, so the counters agree with the records.
void StationWindow::camera_finished(const station::CameraReport& report)
{
    switch (report.result) {
    case JobResult::Pass: ++counts_.passed; sounds_.pass(); break;
    case JobResult::Unverified: ++counts_.unverified; break;
    case JobResult::Aborted: ++counts_.aborted; break;
    default: ++counts_.failed; sounds_.fail(); break;
    }
    if (PortTile* tile = tiles_.value(report.port)) {
        tile->set_state(verdict_state(report.result));
        tile->set_camera(report.title, report.serial);
        if (report.result != JobResult::Pass) tile->set_reason(report.reason);
    }
    show_counters();
    refresh_records();
    if (yield_panel_ && yield_panel_->isVisible()) yield_panel_->refresh();
    check_master_file();
}

void StationWindow::camera_unrecorded(const station::CameraReport& report, const QString& why)
{
    ++counts_.unrecorded;
    sounds_.fail();
    if (PortTile* tile = tiles_.value(report.port)) {
        tile->set_state(TileState::NotRecorded);
        tile->set_camera(report.title, report.serial);
        tile->set_reason(report.record_id < 0
                             ? QStringLiteral("Not written: ") + why
                             : QStringLiteral("Would have been %1; record %2 incomplete: %3")
                                   .arg(station::Output::verdict(report.result))
                                   .arg(report.record_id)
                                   .arg(why));
    }
    show_counters();
}

// The scan is lost, never kept for a later camera: the operator hears it and scans again.
void StationWindow::scan_refused(int port, const QString& serial, const QString& why)
{
    sounds_.fail();
    const int asking = run_ ? run_->serials.asking() : 0;
    PortTile* tile = tiles_.value(port ? port : asking);
    const QString text = QStringLiteral("Scan \"%1\" refused: %2").arg(serial, why);
    if (tile)
        tile->set_reason(text);
    else
        show_run_message(text);
    if (PortTile* asking_tile = tiles_.value(asking)) asking_tile->serial_field()->setFocus();
}

void StationWindow::port_note(int port, const QString& text)
{
    if (PortTile* tile = tiles_.value(port))
        tile->set_reason(text);
    else if (port == 0)
        show_run_message(text);
}

void StationWindow::port_error(int port, const QString& text)
{
    PortTile* tile = tiles_.value(port);
    if (!tile) {
        show_run_message(text);
        return;
    }
    no_longer_asking(port);
    tile->set_state(TileState::NoPort);
    tile->set_reason(text);
}

// ---- The plant's records: who runs the station, where the records go, what waits ----------

QWidget* StationWindow::build_plant_row()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    operator_field_ = new QLineEdit(box);
    operator_field_->setObjectName(QStringLiteral("operatorField"));
    operator_field_->setAccessibleName(QStringLiteral("Operator"));
    operator_field_->setPlaceholderText(QStringLiteral("scan a badge or type a name"));
    auto* operator_label = new QLabel(QStringLiteral("O&perator:"), box);
    operator_label->setBuddy(operator_field_);
    records_where_ = new QLabel(QStringLiteral("Records: ") + plan_.where(), box);
    make_readout(records_where_, QStringLiteral("Where the records go"));
    records_where_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long path or URI takes the room left on the line; the whole of it is in the tooltip.
    records_where_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    records_where_->setToolTip(records_where_->text());
    forward_status_ = new QLabel(box);
    make_readout(forward_status_, QStringLiteral("Records waiting for the server"));
    row->addWidget(operator_label);
    row->addWidget(operator_field_);
    row->addWidget(records_where_, 1);
    row->addWidget(forward_status_);
    // A badge scanner ends with Enter: the name is taken, and Space starts the run again.
    connect(operator_field_, &QLineEdit::returnPressed, start_button_, qOverload<>(&QWidget::setFocus));
    return box;
}

// With a server, the window sends the journal for as long as it is open, runs or not.
void StationWindow::start_forwarding()
{
    if (!plan_.server || !plan_error_.isEmpty()) return;
    forward_status_->setText(QStringLiteral("records: connecting to the server"));
    station::ForwarderSettings settings;
    settings.journal = plan_.journal;
    settings.server = *plan_.server;
    QPointer<QLabel> label = forward_status_;
    forwarder_ = std::make_unique<station::Forwarder>(settings, [this, label](const station::ForwardStatus& status) {
        const QString text = station::forward_status_text(status);
        QMetaObject::invokeMethod(this, [label, text] { if (label) label->setText(text); }, Qt::QueuedConnection);
    });
    forwarder_->start();
}

// An empty name is allowed unless the settings require one.
bool StationWindow::operator_named()
{
    if (!plan_.require_operator || !operator_field_->text().trimmed().isEmpty()) return true;
    dialogs().message(QStringLiteral("Scan your badge or type your name in the Operator field first."), kCaption);
    operator_field_->setFocus();
    return false;
}

void StationWindow::check_records_then_run()
{
    run_message_->setText(QStringLiteral("Checking the records..."));
    const station::RecordsPlan plan = plan_;
    const station::MasterFile* master = &run_->file; // the Run outlives its check
    QPointer<StationWindow> window = this;
    run_->check = QThread::create([window, plan, master] {
        const station::StartCheck check = station::check_before_run(plan, master);
        QMetaObject::invokeMethod(window, [window, check] { if (window) window->records_checked(check); },
                                  Qt::QueuedConnection);
    });
    run_->check->start();
}

// A refusal (the server refuses the login, the master is not approved) is said, and no camera
// is touched.
void StationWindow::records_checked(const station::StartCheck& check)
{
    if (!run_ || run_->station) return;
    if (!check.ok) {
        run_message_->setText(check.error);
        dialogs().message(check.error, kCaption);
        run_over();
        return;
    }
    run_message_->setText(check.notes.join(QLatin1Char('\n')));
    if (run_->stopped_before_start) {
        run_over();
        return;
    }
    begin_run();
}

// ---- Yield, retests and the records' filters ----------------------------------------------------

// The Yield view in a window of its own, counted again whenever it is opened.
void StationWindow::open_yield()
{
    if (!yield_panel_) {
        yield_panel_ = new YieldPanel(plan_, this);
        yield_panel_->setWindowFlag(Qt::Window);
        yield_panel_->resize(1100, 760);
    }
    yield_panel_->show();
    yield_panel_->raise();
    yield_panel_->refresh();
}

// A camera that passed with this master already is written again only when the operator says so.
void StationWindow::ask_before_retests(station::StationSettings& settings)
{
    run_->retests = std::make_unique<RetestQuestion>(this, kCaption);
    settings.confirm_retest = [question = run_->retests.get(), name = QFileInfo(run_->file.path).fileName()](
                                  int port, const QString& serial) { return question->ask(port, serial, name); };
}

void StationWindow::add_records_filters(QWidget* box, QHBoxLayout* head)
{
    yield_button_ = new QPushButton(QStringLiteral("&Yield"), box);
    serial_filter_ = new QLineEdit(box);
    serial_filter_->setPlaceholderText(QStringLiteral("Serial"));
    serial_filter_->setAccessibleName(QStringLiteral("Serial filter"));
    serial_filter_->setClearButtonEnabled(true);
    result_filter_ = new QComboBox(box);
    result_filter_->setAccessibleName(QStringLiteral("Result filter"));
    result_filter_->addItem(QStringLiteral("All results"));
    for (JobResult result : {JobResult::Pass, JobResult::FailVerify, JobResult::FailLink, JobResult::FailRefused,
                             JobResult::Unverified, JobResult::Aborted})
        result_filter_->addItem(station::result_word(result), static_cast<int>(result));
    head->addWidget(serial_filter_);
    head->addWidget(result_filter_);
    head->addWidget(yield_button_);
    connect(serial_filter_, &QLineEdit::textChanged, this, &StationWindow::refresh_records);
    connect(result_filter_, &QComboBox::currentIndexChanged, this, &StationWindow::refresh_records);
    connect(yield_button_, &QPushButton::clicked, this, &StationWindow::open_yield);
}

station::JobFilter StationWindow::records_filter() const
{
    station::JobFilter filter;
    filter.limit = kRecordsShown;
    filter.serial = serial_filter_->text().trimmed();
    if (result_filter_->currentIndex() > 0) filter.result = static_cast<JobResult>(result_filter_->currentData().toInt());
    return filter;
}

} // namespace station_window

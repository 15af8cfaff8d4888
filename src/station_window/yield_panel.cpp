#include "station_window/yield_panel.h"

#include "records/server_records.h"
#include "widgets/dialogs.h"
#include "yield/shift_report.h"
#include "yield/yield_query.h"
#include "yield/yield_view.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace station_window {

const QString kYieldCaption = QStringLiteral("Yield");

std::optional<yield::YieldFigures> count_yield(const station::RecordsPlan& plan, const QDateTime& since, QString* error)
{
    yield::YieldFilter filter;
    filter.since = since;
    if (plan.server) {
        station::ServerRecords server;
        if (server.open(*plan.server, error) != station::ServerOpen::Opened) return std::nullopt;
        return yield::yield_on_server(server, filter, yield::Grouping::None, error);
    }
    if (!QFileInfo::exists(plan.journal)) return yield::compute_yield({}); // no camera recorded yet
    station::Records records;
    if (!records.open_for_reading(plan.journal, error)) return std::nullopt;
    return yield::yield_in_file(records, filter, yield::Grouping::None, error);
}

YieldPanel::YieldPanel(const station::RecordsPlan& plan, QWidget* parent) : QWidget(parent), plan_(plan)
{
    setWindowTitle(kYieldCaption);
    setAccessibleName(kYieldCaption);
    auto* layout = new QVBoxLayout(this);
    auto* head = new QHBoxLayout;
    status_ = new QLabel(this);
    status_->setAccessibleName(QStringLiteral("Yield status"));
    report_button_ = new QPushButton(QStringLiteral("Shift &report..."), this);
    head->addWidget(status_, 1);
    head->addWidget(report_button_);
    view_ = new yield::YieldView(this);
    layout->addLayout(head);
    layout->addWidget(view_, 1);
    connect(report_button_, &QPushButton::clicked, this, &YieldPanel::write_report);
}

YieldPanel::~YieldPanel()
{
    for (QThread* thread : std::as_const(threads_)) {
        thread->wait();
        delete thread;
    }
}

QDateTime YieldPanel::since() const { return QDate::currentDate().startOfDay(); }

// The thread is deleted once its result (queued before its end) was taken.
void YieldPanel::run_off_thread(QThread* thread)
{
    threads_.append(thread);
    connect(thread, &QThread::finished, this, [this, thread] {
        threads_.removeOne(thread);
        thread->wait();
        delete thread;
    });
    thread->start();
}

void YieldPanel::refresh()
{
    if (counting_) {
        count_again_ = true;
        return;
    }
    counting_ = true;
    run_off_thread(QThread::create([this, plan = plan_, since = since()] {
        QString error;
        const std::optional<yield::YieldFigures> figures = count_yield(plan, since, &error);
        QMetaObject::invokeMethod(this, [this, figures, error] { counted(figures, error); }, Qt::QueuedConnection);
    }));
}

// The view takes the new values in place; a count that failed leaves the last figures shown.
void YieldPanel::counted(const std::optional<yield::YieldFigures>& figures, const QString& error)
{
    counting_ = false;
    if (figures) {
        QElapsedTimer clock;
        clock.start();
        view_->set_figures(*figures);
        last_update_ms_ = clock.elapsed();
        figures_ = figures;
        status_->setText(QStringLiteral("Today since %1").arg(since().toString(QStringLiteral("HH:mm"))));
    } else {
        status_->setText(QStringLiteral("The yield cannot be counted: ") + error);
    }
    if (std::exchange(count_again_, false)) refresh();
    emit updated();
}

// Written off the window's thread from the figures shown.
void YieldPanel::write_report()
{
    if (!figures_ || reporting_) return;
    const QString path = dialogs().save_file_name(QStringLiteral("PDF (*.pdf)"), QStringLiteral("shift-report.pdf"));
    if (path.isEmpty()) return;
    reporting_ = true;
    const yield::ReportPeriod period{since(), QDateTime::currentDateTime()};
    const QString title = plan_.station_name.isEmpty() ? QStringLiteral("Shift report")
                                                       : QStringLiteral("Shift report, %1").arg(plan_.station_name);
    run_off_thread(QThread::create([this, path, figures = *figures_, period, title] {
        QString error;
        yield::write_shift_report(path, figures, period, title, &error);
        QMetaObject::invokeMethod(this, [this, path, error] {
            reporting_ = false;
            if (!error.isEmpty()) dialogs().message(error, kYieldCaption);
            emit report_written(path, error);
        }, Qt::QueuedConnection);
    }));
}

} // namespace station_window

#include "station_window/records_reader.h"

#include <QFileInfo>
#include <QThread>

namespace station_window {
namespace {

QList<station::JobRow> read_rows(const QString& path, const station::JobFilter& filter, QString* error)
{
    if (!QFileInfo::exists(path)) return {}; // no camera recorded yet
    station::Records records;
    if (!records.open_for_reading(path, error)) return {};
    return records.list(filter, error).value_or(QList<station::JobRow>());
}

} // namespace

RecordsReader::RecordsReader(const QString& path, QObject* parent) : QObject(parent), path_(path) {}

RecordsReader::~RecordsReader()
{
    for (QThread* thread : std::as_const(threads_)) {
        thread->wait();
        delete thread;
    }
}

void RecordsReader::read(int limit, Done done)
{
    station::JobFilter all;
    all.limit = limit;
    read(all, std::move(done));
}

void RecordsReader::read(const station::JobFilter& filter, Done done)
{
    QThread* thread = QThread::create([this, filter, done = std::move(done)] {
        QString error;
        const QList<station::JobRow> rows = read_rows(path_, filter, &error);
        QMetaObject::invokeMethod(this, [done, rows, error] { done(rows, error); }, Qt::QueuedConnection);
    });
    threads_.append(thread);
    // Queued after the rows: the thread is gone once they were taken.
    connect(thread, &QThread::finished, this, [this, thread] {
        threads_.removeOne(thread);
        thread->wait();
        delete thread;
    });
    thread->start();
}

} // namespace station_window

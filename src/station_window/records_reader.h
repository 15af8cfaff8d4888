#pragma once
// Reads the station's records for the window off its thread: each read opens the database
// read-only on a thread of its own, so that a database another program holds or writes never
// freezes the window, and the window never creates or changes it.

#include "records/records.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QThread;

namespace station_window {

class RecordsReader : public QObject {
    Q_OBJECT
public:
    // The rows read, newest first, or why they could not be read (rows empty then). A database
    // that does not exist yet has no rows and no error.
    using Done = std::function<void(const QList<station::JobRow>& rows, const QString& error)>;

    explicit RecordsReader(const QString& path, QObject* parent = nullptr);
    ~RecordsReader() override; // waits for the reads still going

    QString path() const { return path_; }
    // Reads the newest `limit` rows (all when negative); `done` is called on this object's thread.
    void read(int limit, Done done);
    // Reads the rows `filter` selects, newest first.
    void read(const station::JobFilter& filter, Done done);
    bool reading() const { return !threads_.isEmpty(); }

private:
    QString path_;
    QList<QThread*> threads_;
};

} // namespace station_window

#pragma once
// What the clone station's tests share: a simulated camera's memory as Camera->PC reads it, and
// another program holding the station's database.

#include "codecs/data_file.h"
#include "link/frames.h"
#include "sim_camera.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

inline frames::ParamImage camera_image(sim::SimCamera& camera)
{
    frames::ParamImage image{};
    camera.with_model([&](sim::CameraModel& model) {
        for (std::size_t a = 0; a < data_file::kWords; ++a) image[a] = model.eeprom_word(a);
    });
    return image;
}

// Another program on the station's database: a connection of its own that holds the write lock
// (a write transaction it does not end) until released. An exclusive hold keeps readers out too.
class DatabaseHolder {
public:
    enum class Hold { Writes, Everything };

    DatabaseHolder(const QString& path, Hold hold) : name_(QStringLiteral("holder-%1").arg(++count()))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(path);
        QSqlQuery query(db);
        held_ = db.open()
                && (hold == Hold::Writes || query.exec(QStringLiteral("PRAGMA locking_mode = EXCLUSIVE")))
                && query.exec(hold == Hold::Writes ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN EXCLUSIVE"));
    }
    ~DatabaseHolder() { release(); }
    DatabaseHolder(const DatabaseHolder&) = delete;
    DatabaseHolder& operator=(const DatabaseHolder&) = delete;

    bool held() const { return held_; }
    void release()
    {
        if (!QSqlDatabase::contains(name_)) return;
        QSqlDatabase::database(name_).close(); // ends the transaction and lets go of the file
        QSqlDatabase::removeDatabase(name_);
        held_ = false;
    }

private:
    static int& count()
    {
        static int n = 0;
        return n;
    }

    QString name_;
    bool held_ = false;
};

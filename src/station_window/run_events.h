#pragma once
// The bridge between the station's port threads and the window: every event is posted to the
// window's thread, and each port's serial number waits for its tile's field.

#include "station/output.h"
#include "station/station.h"

#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace station_window {

// What the window does with the station's events, on its own thread.
class RunView {
public:
    virtual ~RunView() = default;
    virtual void port_state(int port, const QString& state) = 0;
    virtual void port_progress(int port, const QString& state, int done, int total) = 0;
    virtual void camera_finished(const station::CameraReport& report) = 0;
    // Something the operator should know about the port (a record that could not be written).
    virtual void port_note(int port, const QString& text) = 0;
    // The port could not be set up: its part of the run has ended.
    virtual void port_error(int port, const QString& text) = 0;
};

// Posts each event to `context`'s thread, where `view` takes it.
class PostedEvents final : public station::StationEvents {
public:
    PostedEvents(QObject* context, RunView& view) : context_(context), view_(view) {}

    void set_ports(const QList<int>&) override {}
    void state(int port, const QString& state) override;
    void progress(int port, const QString& state, int done, int total) override;
    void finished(const station::CameraReport& report) override;
    void note(int port, const QString& text) override;
    void error(int port, const QString& text) override;
    void summary(const station::Summary&) override {}

private:
    void post(std::function<void(RunView&)> event);

    QPointer<QObject> context_;
    RunView& view_;
};

// Serial numbers typed or scanned into each tile's field, handed to that port's thread.
class TileSerials final : public station::SerialSource {
public:
    std::optional<QString> next(int port) override;
    void stop() override;
    // From the window's thread: the operator entered `serial` for the camera on `port`.
    void provide(int port, const QString& serial);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<int, std::deque<QString>> serials_;
    bool stopped_ = false;
};

} // namespace station_window

#pragma once
// The bridge between the station's port threads and the window: every event is posted to the
// window's thread.

#include "station/output.h"
#include "station/station.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace station_window {

// What the window does with the station's events, on its own thread.
class RunView {
public:
    virtual ~RunView() = default;
    virtual void port_state(int port, const QString& state) = 0;
    virtual void port_progress(int port, const QString& state, int done, int total) = 0;
    virtual void camera_finished(const station::CameraReport& report) = 0;
    // The camera's record could not be completed (or begun) before the run stopped.
    virtual void camera_unrecorded(const station::CameraReport& report, const QString& why) = 0;
    // A serial number typed into `port`'s field (0: none) that no port took.
    virtual void scan_refused(int port, const QString& serial, const QString& why) = 0;
    // Something the operator should know about the port (a record that could not be written).
    virtual void port_note(int port, const QString& text) = 0;
    // The port could not be set up (its part of the run has ended); port 0: the run stops.
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
    void unrecorded(const station::CameraReport& report, const QString& why) override;
    void scan_refused(int port, const QString& serial, const QString& why) override;
    void note(int port, const QString& text) override;
    void error(int port, const QString& text) override;
    void summary(const station::Summary&) override {}

private:
    void post(std::function<void(RunView&)> event);

    QPointer<QObject> context_;
    RunView& view_;
};

} // namespace station_window

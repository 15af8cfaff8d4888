#include "station_window/run_events.h"

#include <QMetaObject>

namespace station_window {

void PostedEvents::post(std::function<void(RunView&)> event)
{
    // The window outlives the run (it waits for the station's threads before it goes).
    QMetaObject::invokeMethod(context_, [view = &view_, event = std::move(event)] { event(*view); },
                              Qt::QueuedConnection);
}

void PostedEvents::state(int port, const QString& state)
{
    post([=](RunView& view) { view.port_state(port, state); });
}

void PostedEvents::progress(int port, const QString& state, int done, int total)
{
    post([=](RunView& view) { view.port_progress(port, state, done, total); });
}

void PostedEvents::finished(const station::CameraReport& report)
{
    post([=](RunView& view) { view.camera_finished(report); });
}

void PostedEvents::unrecorded(const station::CameraReport& report, const QString& why)
{
    post([=](RunView& view) { view.camera_unrecorded(report, why); });
}

void PostedEvents::scan_refused(int port, const QString& serial, const QString& why)
{
    post([=](RunView& view) { view.scan_refused(port, serial, why); });
}

void PostedEvents::note(int port, const QString& text)
{
    post([=](RunView& view) { view.port_note(port, text); });
}

void PostedEvents::error(int port, const QString& text)
{
    post([=](RunView& view) { view.port_error(port, text); });
}

} // namespace station_window

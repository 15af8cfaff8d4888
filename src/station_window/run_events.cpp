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

void PostedEvents::note(int port, const QString& text)
{
    post([=](RunView& view) { view.port_note(port, text); });
}

void PostedEvents::error(int port, const QString& text)
{
    post([=](RunView& view) { view.port_error(port, text); });
}

std::optional<QString> TileSerials::next(int port)
{
    std::unique_lock lock(mutex_);
    std::deque<QString>& waiting = serials_[port];
    changed_.wait(lock, [&] { return !waiting.empty() || stopped_; });
    if (stopped_) return std::nullopt;
    QString serial = waiting.front();
    waiting.pop_front();
    return serial;
}

void TileSerials::stop()
{
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
}

void TileSerials::provide(int port, const QString& serial)
{
    std::lock_guard lock(mutex_);
    serials_[port].push_back(serial);
    changed_.notify_all();
}

} // namespace station_window

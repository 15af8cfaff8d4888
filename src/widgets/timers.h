#pragma once
// Enabling a timer that is already running must not restart it (a burst of slider changes is sent
// one interval after its first change). QTimer::start() restarts, so every "enable" goes here.

#include <QTimer>

inline void enable_timer(QTimer* timer)
{
    if (!timer->isActive()) timer->start();
}

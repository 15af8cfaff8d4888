#pragma once
// Enabling a timer that is already running must not restart it (a burst of slider changes is sent
// one interval after its first change). QTimer::start() restarts, so every "enable" goes here.

#include <QTimer>

#include <type_traits>

inline void enable_timer(QTimer* timer)
{
    if (!timer->isActive()) timer->start();
}

// A stopped timer owned by `owner` and named after its control, whose ticks run `tick` (none
// when null).
template <class Owner>
QTimer* named_timer(Owner* owner, const char* name, int interval_ms, std::type_identity_t<void (Owner::*)()> tick)
{
    auto* timer = new QTimer(owner);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setInterval(interval_ms);
    if (tick) QObject::connect(timer, &QTimer::timeout, owner, tick);
    return timer;
}

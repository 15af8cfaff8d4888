#include "station/serial_numbers.h"

#include <iostream>
#include <string>
#include <thread>

namespace station {

void SerialArbiter::set_listener(Listener* listener)
{
    std::lock_guard telling(telling_);
    listener_ = listener;
}

std::optional<QString> SerialArbiter::next(int port)
{
    {
        std::lock_guard telling(telling_);
        std::unique_lock lock(mutex_);
        if (ended_ || stopped_) return std::nullopt;
        waiting_.push_back(port);
        const bool asks = waiting_.size() == 1;
        lock.unlock();
        if (listener_) asks ? listener_->asking(port) : listener_->queued(port);
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return given_.contains(port) || ended_ || stopped_; });
    if (stopped_) return std::nullopt;
    const auto given = given_.find(port);
    if (given == given_.end()) return std::nullopt; // the input ended before the scan: ended() says so
    QString serial = given->second;
    given_.erase(given);
    return serial;
}

// Why `serial`, scanned into the field of `at_port` (0: standard input), goes to no port.
QString SerialArbiter::refusal(const QString& serial, int at_port) const
{
    if (serial.isEmpty()) return QStringLiteral("an empty serial number");
    if (waiting_.empty()) return QStringLiteral("no port asks for a serial number");
    if (at_port != 0 && at_port != waiting_.front())
        return QStringLiteral("port %1 asks for a serial number, not port %2").arg(waiting_.front()).arg(at_port);
    if (serial == last_given_)
        return QStringLiteral("port %1 was given this serial number just now (scanned twice?)").arg(last_port_);
    return {};
}

bool SerialArbiter::scan(const QString& scanned, int at_port)
{
    const QString serial = scanned.trimmed();
    std::lock_guard telling(telling_);
    if (listener_) listener_->scanned(at_port);
    std::unique_lock lock(mutex_);
    if (stopped_ || ended_) return false;
    if (const QString why = refusal(serial, at_port); !why.isEmpty()) {
        lock.unlock();
        if (listener_) listener_->refused(at_port, serial, why);
        return false;
    }
    const int port = waiting_.front();
    waiting_.pop_front();
    given_[port] = serial;
    last_given_ = serial;
    last_port_ = port;
    const int next_port = waiting_.empty() ? 0 : waiting_.front();
    changed_.notify_all();
    lock.unlock();
    if (next_port != 0 && listener_) listener_->asking(next_port);
    return true;
}

void SerialArbiter::end()
{
    std::lock_guard lock(mutex_);
    ended_ = true;
    waiting_.clear();
    changed_.notify_all();
}

void SerialArbiter::stop()
{
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
}

int SerialArbiter::asking() const
{
    std::lock_guard lock(mutex_);
    return waiting_.empty() ? 0 : waiting_.front();
}

bool SerialArbiter::ended() const
{
    std::lock_guard lock(mutex_);
    return ended_;
}

void scan_standard_input(std::shared_ptr<SerialArbiter> arbiter)
{
    std::thread([arbiter = std::move(arbiter)] {
        std::string line;
        while (std::getline(std::cin, line)) arbiter->scan(QString::fromLocal8Bit(line));
        arbiter->end();
    }).detach();
}

} // namespace station

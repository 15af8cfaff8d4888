#pragma once
// Each camera's serial number, typed or scanned by the operator, for the port whose camera it is.
// One port asks at a time ("port 2: scan the serial number"): the ports that want a serial queue
// up in the order they asked, the first is told to ask, and the next scan is its. A scan while no
// port asks (a double scan) is refused, never kept for a later camera; so is one that repeats the
// serial just given, which a double scan gives when the next port has begun to ask. The end of
// the input ends the asking: a port still waiting gets none, a port that has its serial keeps it.
//
// The station's standard input and the window's tile fields both feed one SerialArbiter.

#include <QString>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace station {

class SerialArbiter {
public:
    // Told of what happens, on the thread that made it happen (a port's, the scanner's), one call
    // at a time. A listener may call stop() but none of the other members.
    class Listener {
    public:
        virtual ~Listener() = default;
        // `port`'s turn: the next scan is its serial.
        virtual void asking(int port) = 0;
        // `port` wants a serial while another port asks: its turn comes next or later.
        virtual void queued(int port) = 0;
        // A scan no port took, and why.
        virtual void refused(int at_port, const QString& serial, const QString& why) = 0;
        // A scan came, taken or not (from standard input: `at_port` 0).
        virtual void scanned(int at_port) = 0;
    };

    // `listener` (not owned) may be replaced or taken away (nullptr) at any time.
    void set_listener(Listener* listener);

    // From a port's thread: waits for the port's turn and for its scan. Nothing once the input
    // has ended or stop() was called.
    std::optional<QString> next(int port);
    // A scan: from standard input (`at_port` 0), or typed into the field of `at_port`'s tile,
    // which only the port that asks may take. True when the port that asks took it.
    bool scan(const QString& serial, int at_port = 0);
    // The input ended.
    void end();
    // The station stops: every wait ends.
    void stop();
    // The port that asks now; 0 when none does.
    int asking() const;
    // True once the input has ended: no further serial will come.
    bool ended() const;

private:
    QString refusal(const QString& serial, int at_port) const;

    // Held while the state changes and its listener is told, so that nothing happens between a
    // port's turn and its announcement; stop() does not take it.
    std::mutex telling_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Listener* listener_ = nullptr;
    std::deque<int> waiting_;        // ports that want a serial; the first one asks
    std::map<int, QString> given_;   // serials taken by ports not yet woken
    QString last_given_;
    int last_port_ = 0;
    bool ended_ = false;
    bool stopped_ = false;
};

// Reads lines from standard input on a thread of its own and hands each to `arbiter` as a scan;
// the end of the input ends it. The thread cannot be interrupted and may outlive its station,
// so it keeps the arbiter alive.
void scan_standard_input(std::shared_ptr<SerialArbiter> arbiter);

} // namespace station

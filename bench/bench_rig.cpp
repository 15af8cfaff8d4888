#include "bench_rig.h"

#include "comm/comm.h"

#include <QEventLoop>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <stdexcept>

using Kind = sim::TraceEvent::Kind;

namespace {

double thread_cpu_us()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

} // namespace

void TraceLog::record(const sim::TraceEvent& event)
{
    const auto now = BenchClock::now();
    std::lock_guard lock(mutex_);
    if (event.kind == Kind::Received) ++received_;
    stamps_.push_back({event.kind, now, static_cast<std::uint32_t>(event.bytes.size())});
}

std::vector<Stamp> TraceLog::take()
{
    std::vector<Stamp> taken;
    taken.reserve(1 << 16);
    std::lock_guard lock(mutex_);
    taken.swap(stamps_);
    return taken;
}

std::uint64_t TraceLog::received_total() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

void TraceLog::schedule_fault(std::uint64_t index, sim::Fault fault)
{
    std::lock_guard lock(mutex_);
    faults_[index] = fault;
}

sim::Fault TraceLog::due_fault()
{
    std::lock_guard lock(mutex_);
    const auto it = faults_.find(received_);
    if (it == faults_.end()) return sim::Fault::None;
    const sim::Fault fault = it->second;
    faults_.erase(it);
    return fault;
}

RunTrace analyse(const std::vector<Stamp>& stamps)
{
    RunTrace run;
    const Stamp* last_sent = nullptr;
    const Stamp* first_in = nullptr;
    for (const Stamp& s : stamps) {
        if (s.kind == Kind::Received) {
            if (!first_in) first_in = &s;
            ++run.units_in;
            run.bytes_in += s.size;
            if (last_sent)
                run.turnarounds_ms.push_back(std::chrono::duration<double, std::milli>(s.at - last_sent->at).count());
            last_sent = nullptr;
        } else if (s.kind == Kind::Sent) {
            ++run.units_out;
            run.bytes_out += s.size;
            last_sent = &s;
        }
    }
    if (first_in)
        run.first_in_to_last_event_ms =
            std::chrono::duration<double, std::milli>(stamps.back().at - first_in->at).count();
    return run;
}

TurnaroundParts split_turnarounds(const std::vector<Stamp>& stamps, const std::vector<HandlerSpan>& spans,
                                  const std::vector<BenchClock::time_point>& writes)
{
    using ms = std::chrono::duration<double, std::milli>;
    TurnaroundParts parts;
    for (const HandlerSpan& s : spans)
        parts.handler_us.push_back(std::chrono::duration<double, std::micro>(s.left - s.entered).count());
    const Stamp* last_sent = nullptr;
    for (const Stamp& s : stamps) {
        if (s.kind == Kind::Sent) last_sent = &s;
        if (s.kind != Kind::Received) continue;
        if (last_sent) {
            const auto it = std::lower_bound(spans.begin(), spans.end(), last_sent->at,
                                             [](const HandlerSpan& h, BenchClock::time_point t) { return h.entered < t; });
            if (it != spans.end() && it->entered < s.at) {
                parts.to_handler_ms.push_back(ms(it->entered - last_sent->at).count());
                parts.handler_to_command_ms.push_back(ms(s.at - it->entered).count());
                parts.reply_handler_us.push_back(std::chrono::duration<double, std::micro>(it->left - it->entered).count());
                parts.reply_handler_cpu_us.push_back(it->cpu_us);
                const auto write = std::lower_bound(writes.begin(), writes.end(), it->entered);
                if (write != writes.end() && *write < s.at) {
                    parts.handler_to_write_ms.push_back(ms(*write - it->entered).count());
                    parts.write_to_command_ms.push_back(ms(s.at - *write).count());
                }
            }
        }
        last_sent = nullptr;
    }
    return parts;
}

namespace {

// The real serial component; only notes when each write starts.
class StampingComm : public TComm {
public:
    StampingComm(QObject* owner, std::vector<BenchClock::time_point>& writes) : TComm(owner), writes_(writes) {}
    bool Write(const void* buffer, int count) override
    {
        writes_.push_back(BenchClock::now());
        return TComm::Write(buffer, count);
    }

private:
    std::vector<BenchClock::time_point>& writes_;
};

} // namespace

BenchRig::BenchRig()
{
    set_dialogs(&fake_dialogs);
    writes_.reserve(1 << 16);
    TFKR58::set_comm_factory([this](QObject* owner) { return new StampingComm(owner, writes_); });
    // Runs on the simulator's thread with no simulator lock held, so inject() is safe here; the
    // fault then applies to the answer of the unit just received.
    camera.set_trace([this](const sim::TraceEvent& event) {
        trace.record(event);
        if (event.kind == Kind::Received) {
            const sim::Fault fault = trace.due_fault();
            if (fault != sim::Fault::None) camera.inject(fault, 1);
        }
    });
    if (!config.isValid() || !runtime.isValid() || !camera.start() || !camera.publish_as_port(1))
        throw std::runtime_error("cannot start the camera simulator");
}

BenchRig::~BenchRig()
{
    close_window();
    TFKR58::set_comm_factory({});
    camera.stop();
}

TFKR58* BenchRig::open_window(int tool_type)
{
    close_window();
    window = std::make_unique<TFKR58>(tool_type);
    TFKR58* w = window.get();
    // The window's own handler first, then the wait's condition, on the GUI thread.
    auto handler = std::move(w->Comm1->OnCommReceive);
    w->Comm1->OnCommReceive = [this, handler](TComm* sender, std::uint16_t size) {
        const double cpu_start = thread_cpu_us();
        const auto start = BenchClock::now();
        handler(sender, size);
        const auto left = BenchClock::now();
        handler_spans_.push_back({start, left, thread_cpu_us() - cpu_start});
        check_wait();
    };
    w->show();
    handler_spans_.reserve(1 << 16);
    return w;
}

void BenchRig::close_window() { window.reset(); }

TFKR58* BenchRig::open_copy_page()
{
    TFKR58* w = open_window(TFKR58::Debug);
    bool ok = wait_idle();
    w->PageControl1->setCurrentIndex(TFKR58::DefectPage);
    ok = wait_idle() && ok;
    w->Panel1Click();
    w->pwl->setText(QStringLiteral("kwtz"));
    w->PageControl1->setCurrentIndex(TFKR58::CopyPage);
    ok = wait_idle() && ok;
    if (!ok) throw std::runtime_error("the Copy page did not load");
    return w;
}

void BenchRig::check_wait()
{
    if (wait_loop_ && waiting_for_ && waiting_for_()) wait_loop_->quit();
}

bool BenchRig::wait_until(const std::function<bool()>& pred, int timeout_ms, int poll_ms)
{
    if (pred()) return true;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeout_ms);
    QTimer poll;
    if (poll_ms > 0) {
        QObject::connect(&poll, &QTimer::timeout, &loop, [this] { check_wait(); });
        poll.start(poll_ms);
    }
    waiting_for_ = pred;
    wait_loop_ = &loop;
    loop.exec();
    wait_loop_ = nullptr;
    waiting_for_ = nullptr;
    return pred();
}

bool BenchRig::wait_idle(int timeout_ms, int poll_ms)
{
    TFKR58* w = window.get();
    return wait_until([w] { return w->trans_no == 0 && !w->comm_busy; }, timeout_ms, poll_ms);
}

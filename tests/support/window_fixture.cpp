#include "support/window_fixture.h"

#include "support/pty_client.h"
#include "link/frames.h"
#include "mask/cmask.h"
#include "transactions/transaction_table.h"

#include <QTimer>

Bytes expected_frame(const Bytes& body, std::uint8_t camera_id)
{
    frames::Frame f{};
    for (std::size_t i = 0; i < body.size(); ++i) f[i + 1] = body[i];
    frames::complete_command_frame(f, static_cast<int>(body.size()), camera_id);
    return {f.begin(), f.end()};
}

Bytes reply_frame_bytes(const Bytes& body, std::uint8_t camera_id) { return expected_frame(body, camera_id); }

std::vector<Bytes> page_series(int page)
{
    std::vector<Bytes> series;
    for (unsigned type = 0;; ++type) {
        const auto request = read_request(page, type);
        if (!request) break;
        Bytes body{kReadCommand};
        for (int i = 0; i + 1 < request->length; ++i) body.push_back(request->bytes[static_cast<std::size_t>(i)]);
        series.push_back(body);
    }
    return series;
}

void WindowTest::SetUp()
{
    SilentSimulatorCheck::fail_if_found_before();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(config.isValid());
    ASSERT_TRUE(camera.start());
    ASSERT_TRUE(camera.publish_as_port(1));
}

void WindowTest::TearDown()
{
    window.reset();
    if (HasFailure()) {
        camera.clear_faults();
        SilentSimulatorCheck::check(camera.slave_path());
    }
    camera.stop();
}

TFMask* WindowTest::create_mask_window()
{
    window->FMask = new TFMask(window.get());
    return window->FMask;
}

bool WindowTest::wait_idle(int timeout_ms)
{
    if (HasFatalFailure()) return false;
    return QTest::qWaitFor([this] { return window->trans_no == 0 && !window->comm_busy; }, timeout_ms);
}

bool WindowTest::wait_received(std::size_t count, int timeout_ms)
{
    if (HasFatalFailure()) return false;
    return QTest::qWaitFor([this, count] { return camera.received_count() >= count; }, timeout_ms);
}

std::vector<Bytes> WindowTest::received_bodies(std::size_t body_length)
{
    std::vector<Bytes> bodies;
    for (const auto& unit : camera.received()) {
        if (unit.size() < body_length + 1) continue;
        bodies.emplace_back(unit.begin() + 1, unit.begin() + 1 + static_cast<std::ptrdiff_t>(body_length));
    }
    return bodies;
}

bool WindowTest::reload_unanswered(int silent_answers)
{
    window->SendTimer->stop();
    camera.clear_received();
    camera.inject(sim::Fault::NoAnswer, silent_answers);
    window->ReLoadClick();
    return wait_received(1);
}

void WindowTest::tick_send_timer(int ticks)
{
    window->SendTimer->stop();
    for (int i = 0; i < ticks; ++i) window->SendTimerTimer();
}

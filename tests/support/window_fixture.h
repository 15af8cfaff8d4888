#pragma once
// A real main window talking to the camera simulator over a pseudo-terminal, headless, with every
// message box recorded instead of shown.

#include "support/fake_dialogs.h"
#include "support/private_folder.h"
#include "main_window/mkr58.h"
#include "sim_camera.h"

#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// The 18 bytes a command frame with these body bytes must have on the wire.
Bytes expected_frame(const Bytes& body, std::uint8_t camera_id = 1);
// A camera reply frame (STX, code, data..., ID, ETX, checksum).
Bytes reply_frame_bytes(const Bytes& body, std::uint8_t camera_id = 1);

// The reads that load a page, as command bodies (byte 1 onwards).
std::vector<Bytes> page_series(int page);

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window in a start configuration; it connects and starts loading at once.
    template <class Window = TFKR58>
    Window* open_window(int tool_type = TFKR58::Release)
    {
        auto* w = new Window(tool_type);
        window.reset(w);
        return w;
    }

    // Creates the hidden mask window beside the open main window, as the program does at start.
    TFMask* create_mask_window();
    // The two waits return false at once after a fatal failure: the test is over, and a helper
    // that returned on an ASSERT must not make its caller wait out the deadlines that follow.
    // Waits until no exchange is outstanding and no series runs.
    bool wait_idle(int timeout_ms = 15000);
    // Waits until the simulator has received `count` units in all.
    bool wait_received(std::size_t count, int timeout_ms = 15000);
    // Command bodies (bytes 1..14) of what the simulator received since the last clear.
    std::vector<Bytes> received_bodies(std::size_t body_length = 14);
    // Stops SendTimer and reloads the page with the camera silent on the first read; true once
    // that read has gone out, so the exchange is outstanding.
    bool reload_unanswered(int silent_answers = 1);
    // The time-out without waiting real seconds: SendTimer is stopped and ticked by the test.
    void tick_send_timer(int ticks);

    PrivateFolder config{"XDG_CONFIG_HOME"};
    FakeDialogs fake_dialogs;
    sim::SimCamera camera;
    std::unique_ptr<TFKR58> window;
};

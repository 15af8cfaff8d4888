#pragma once
// The Debug page against the simulator: a window in the "Debug" start configuration, loaded and
// idle, with what it sent at start forgotten.

#include "support/window_fixture.h"

#include <QLineEdit>

class DebugPageTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        w = open_window(TFKR58::Debug);
        ASSERT_TRUE(wait_idle());
        forget_traffic();
    }

    void forget_traffic()
    {
        camera.clear_received();
        fake_dialogs.messages.clear();
    }

    // Types text into an edit key by key, as the technician does, after emptying it.
    static void type(QLineEdit* edit, const QString& text)
    {
        edit->clear();
        for (const QChar c : text) edit->insert(QString(c));
    }

    // Waits until the simulator received `count` units and the link is free again.
    bool wait_exchanges(std::size_t count) { return wait_received(count) && wait_idle(); }

    // An accepted reply frame from the camera as it is on the line, bytes 1..15 given in full
    // (byte 15 too, where a reply carries data in the ID's place).
    static Bytes raw_reply(const Bytes& body)
    {
        Bytes frame(frames::kFrameSize, 0);
        frame[0] = frames::STX;
        std::copy(body.begin(), body.end(), frame.begin() + 1);
        frame[frames::kEtxOffset] = frames::ETX;
        frame[frames::kChecksumOffset] = frames::checksum_of(frame.data(), frames::kChecksumOffset);
        return frame;
    }

    // Sends `body` from the tool with the camera silent, then lets the camera answer `reply`.
    void exchange_with_reply(const Bytes& body, const Bytes& reply)
    {
        const std::size_t before = camera.received_count();
        camera.inject(sim::Fault::NoAnswer, 1);
        for (std::size_t i = 0; i < body.size(); ++i) w->cmd_frame[i + 1] = body[i];
        w->StxCommand(w->cmd_frame, static_cast<int>(body.size()));
        ASSERT_TRUE(wait_received(before + 1));
        camera.send_raw(raw_reply(reply));
        ASSERT_TRUE(wait_idle());
    }

    TFKR58* w = nullptr;
};

#pragma once
// Byte-wise decoder of what the camera sends: single ACK/NAK bytes, 5-byte short frames and
// 18-byte frames, each checked for its ETX and zero-sum checksum.

#include "link/frames.h"

#include <cstdint>

class ReceiveDecoder {
public:
    enum State : std::uint8_t { Idle = 0, Body = 1, ExpectEtx = 2, ExpectChecksum = 3 };

    // Results of feed(): nothing to report, a frame has begun (its first byte), a lone ACK/NAK,
    // or a complete frame with a good checksum (the ETX value).
    static constexpr int kNothing = -1;
    static constexpr int kFrameComplete = frames::ETX;

    struct Outcome {
        int result = kNothing;
        bool etx_error = false; // the byte where ETX belonged was something else
    };

    // Feeds one byte. Completed frames are assembled in `reply`; bytes 5..17 keep what an earlier
    // 18-byte frame left there when a short frame arrives.
    Outcome feed(std::uint8_t byte, frames::Frame& reply);

    void reset() { rx_state = Idle; }
    State state() const { return rx_state; }
    int length() const { return rx_len; }

private:
    State rx_state = Idle;
    int rx_len = 0;
    // The kind of frame under way, fixed at its first byte: the reply buffer belongs to the
    // caller, so its first byte is not trusted to tell how long the frame is.
    bool rx_short = false;
    std::uint8_t saved_etx = 0;
};

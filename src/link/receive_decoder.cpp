#include "link/receive_decoder.h"

ReceiveDecoder::Outcome ReceiveDecoder::feed(std::uint8_t byte, frames::Frame& reply)
{
    Outcome out;
    bool error = false;
    switch (rx_state) {
    case Idle:
        if (byte == frames::SOH || byte == frames::STX) {
            reply[0] = byte;
            rx_short = byte == frames::SOH;
            rx_len = 1;
            rx_state = Body;
            out.result = byte;
        } else if (byte == frames::ACK || byte == frames::NAK) {
            out.result = byte;
        } else {
            error = true;
        }
        break;
    case Body: {
        reply[static_cast<std::size_t>(rx_len++)] = byte;
        // A short frame carries two body bytes, an 18-byte frame fifteen (code, data, ID).
        if (rx_len == (rx_short ? 3 : 16)) rx_state = ExpectEtx;
        break;
    }
    case ExpectEtx:
        if (byte == frames::ETX) {
            reply[static_cast<std::size_t>(rx_len++)] = byte;
            saved_etx = byte;
            rx_state = ExpectChecksum;
        } else {
            error = true;
            out.etx_error = true;
        }
        break;
    case ExpectChecksum: {
        reply[static_cast<std::size_t>(rx_len++)] = byte;
        const std::size_t covered = rx_short ? frames::kShortFrameSize : frames::kFrameSize;
        if (frames::byte_sum(reply.data(), covered) == 0) {
            rx_state = Idle;
            out.result = saved_etx;
        } else {
            error = true;
        }
        break;
    }
    }
    if (error) {
        rx_state = Idle;
        out.result = kNothing;
    }
    return out;
}

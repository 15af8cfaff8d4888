#pragma once
// Small helpers shared by the Setup page's layout, decoders and handlers.

#include <cstdint>
#include <initializer_list>

class QComboBox;
class QTimer;
class TFKR58;

namespace setup {

constexpr std::uint8_t kWrite = 0x23;
constexpr std::uint8_t kRead = 0x33;

// Writes `bytes` into cmd_frame from byte 1 on and sends them, when Trans_chk allows.
void send_setting(TFKR58& w, std::initializer_list<std::uint8_t> bytes);

// A track bar moved: its timer runs unless the move came from a read series or a decoder.
void slider_changed(TFKR58& w, QTimer* timer);
// A track-bar timer ticked: while the link is not free the timer keeps running and the send is
// retried on the next tick; otherwise it stops and sends `bytes`.
void slider_tick(TFKR58& w, QTimer* timer, std::initializer_list<std::uint8_t> bytes);

// Low 8 bits of an item index or position, as the commands carry them.
constexpr std::uint8_t low_byte(int value) { return static_cast<std::uint8_t>(value & 0xFF); }
// Bits 8..15 of an address or a 16-bit value.
constexpr std::uint8_t high_byte(int value) { return low_byte(value >> 8); }

// An item index out of the list shows no selection.
void set_combo_item(QComboBox* combo, int item);

// Sets ctrl_updating for its lifetime, so that change handlers raised by code do not send.
class ControlUpdate {
public:
    explicit ControlUpdate(TFKR58& w);
    ~ControlUpdate();
    ControlUpdate(const ControlUpdate&) = delete;
    ControlUpdate& operator=(const ControlUpdate&) = delete;

private:
    TFKR58& window_;
    bool saved_;
};

// WDR cannot be chosen under AES, or under ALC with a fixed shutter speed (item 2 or above).
bool wdr_blocked(const TFKR58& w);

} // namespace setup

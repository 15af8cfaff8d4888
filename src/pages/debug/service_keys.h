#pragma once
// The camera's menu keys as the tool presses them remotely: their codes on the line and the
// keyboard layout that types them.

#include <cstdint>
#include <optional>

namespace service {

// The key code carried by 0x23 0x32 k.
enum class MenuKey : std::uint8_t {
    Down = 0,
    Up = 1,
    Enter = 2,
    Left = 3,
    Right = 4,
    LongEnter = 5, // "48 AREA Return"
    Comm = 6,
};

// The menu key a typed character presses: the digits of a numeric keypad (8 up, 2 down, 4 left,
// 6 right, 5 enter, 9 "48 AREA Return") or the I-J-K-L block with U and O, in either case.
// "COMM." has no character of its own.
std::optional<MenuKey> menu_key_for_char(char typed);

} // namespace service

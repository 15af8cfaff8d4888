#include "pages/debug/service_keys.h"

namespace service {

std::optional<MenuKey> menu_key_for_char(char typed)
{
    switch (typed) {
    case '2': case 'K': case 'k': return MenuKey::Down;
    case '8': case 'I': case 'i': return MenuKey::Up;
    case '5': case 'U': case 'u': return MenuKey::Enter;
    case '4': case 'J': case 'j': return MenuKey::Left;
    case '6': case 'L': case 'l': return MenuKey::Right;
    case '9': case 'O': case 'o': return MenuKey::LongEnter;
    default: return std::nullopt;
    }
}

} // namespace service

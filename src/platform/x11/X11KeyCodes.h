// The platform's virtual key codes (the physical keys of the ANSI layout) as X keysyms and back, for the
// keys a hot key can name.
#pragma once

#include <cstdint>
#include <optional>

namespace korvane::x11 {

// The keysym the key types without modifiers (lower-case letters); nothing for a key code that no hot
// key can name.
std::optional<std::uint32_t> keysymForVirtualKey(std::uint32_t keyCode);
// The virtual key code of a key that types this keysym without modifiers; nothing for other keysyms.
std::optional<std::uint16_t> virtualKeyForKeysym(std::uint32_t keysym);

} // namespace korvane::x11

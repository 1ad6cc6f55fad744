// The keyboard as the X server maps it, layout by layout: which keys carry a keysym, and which of the
// platform's virtual key codes a key stands for, so that a hot key is held on the keys that carry its
// letter in whichever layout has it, and a key pressed in any layout is named as the hot keys name it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include <xcb/xcb.h>

namespace korvane::x11 {

class X11Connection;

// A copy of the mapping read at one moment; read it again when the server announces a new one.
class X11KeyboardMap {
  public:
    // Each key's keysyms by layout (XKB group), each layout's by shift level. Without XKB the core
    // mapping's keysyms are one layout.
    using Layouts = std::vector<std::vector<std::uint32_t>>;

    X11KeyboardMap() = default;
    explicit X11KeyboardMap(std::map<xcb_keycode_t, Layouts> keys) : keys_(std::move(keys)) {}
    // The server's mapping now; empty when it answers nothing.
    static X11KeyboardMap read(X11Connection& connection);

    // The keys that type the keysym in the first layout that has it on a key, plain or with Shift; only
    // where no layout has it so, the keys of the first layout that has it on a further level (AltGr). The
    // first layout wins so that two Latin layouts (us,fr) do not put A and Q on one key each.
    std::vector<xcb_keycode_t> keycodesFor(std::uint32_t keysym) const;
    // The virtual key code whose hot key holds this key: of the keysyms the key carries, layout by layout
    // and plain before Shift, the first that a virtual key code names and whose keys (keycodesFor) include
    // this one. The "1 &" key of a French keyboard is 1, the key typing Cyrillic ef in a Russian layout
    // beside a US one is A. Nothing for a key no virtual key code names.
    std::optional<std::uint16_t> virtualKeyOf(xcb_keycode_t key) const;

    bool empty() const { return keys_.empty(); }

  private:
    std::map<xcb_keycode_t, Layouts> keys_;
};

} // namespace korvane::x11

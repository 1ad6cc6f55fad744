// The default hot-key table.
#include "input/HotkeyConfig.h"

namespace korvane {

HotkeyConfig HotkeyConfig::defaults(Nanos now) {
    // Letters are upper case as users read them; key look-up ignores case. Q and W push with
    // control+option and move the focus with control+shift+option.
    HotkeyConfig config;
    config.lastModified = now;
    config.bindings = {
        {"cycle.forward", "tab", {"alt"}, true},
        {"cycle.backward", "tab", {"alt", "shift"}, true},
        {"push.region.dynamic", "digits", {"ctrl", "alt"}, true},
        {"push.left", "Q", {"ctrl", "alt"}, true},
        {"push.right", "W", {"ctrl", "alt"}, true},
        {"push.display.prev", "Z", {"ctrl", "alt"}, true},
        {"push.display.next", "X", {"ctrl", "alt"}, true},
        {"focus.left", "Q", {"ctrl", "shift", "alt"}, true},
        {"focus.right", "W", {"ctrl", "shift", "alt"}, true},
        {"globalSwitcher.toggle", "A", {"ctrl", "alt"}, true},
        {"sceneSwitcher.toggle", "C", {"ctrl", "alt"}, true},
        {"scene.save", "S", {"ctrl", "alt"}, true},
        {"scene.update", "", {}, false},
    };
    return config;
}

} // namespace korvane

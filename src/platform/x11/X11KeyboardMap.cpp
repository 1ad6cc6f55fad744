// Reads the mapping through XKB, which keeps each layout of a key apart (the core mapping interleaves the
// first two layouts' levels and then the rest, with no word of where one ends), and searches it.
#include "platform/x11/X11KeyboardMap.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11KeyCodes.h"

// The XKB header names a field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>

namespace korvane::x11 {

namespace {

// Levels 1 and 2: what a key types plain and with Shift. Further levels come with AltGr and the like.
constexpr std::size_t kShiftLevels = 2;

std::map<xcb_keycode_t, X11KeyboardMap::Layouts> readXkb(xcb_connection_t* c) {
    std::map<xcb_keycode_t, X11KeyboardMap::Layouts> keys;
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(c, &xcb_xkb_id);
    if (!xkb || !xkb->present) return keys;
    XcbReply<xcb_xkb_use_extension_reply_t> use(
        xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, 1, 0), nullptr));
    if (!use || !use->supported) return keys;
    XcbReply<xcb_xkb_get_map_reply_t> reply(
        xcb_xkb_get_map_reply(c,
                              xcb_xkb_get_map(c, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_MAP_PART_KEY_SYMS, 0, 0, 0,
                                              0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
                              nullptr));
    if (!reply || !(reply->present & XCB_XKB_MAP_PART_KEY_SYMS)) return keys;
    xcb_xkb_get_map_map_t map{};
    xcb_xkb_get_map_map_unpack(xcb_xkb_get_map_map(reply.get()), reply->nTypes, reply->nKeySyms,
                               reply->nKeyActions, reply->totalActions, reply->totalKeyBehaviors,
                               reply->virtualMods, reply->totalKeyExplicit, reply->totalModMapKeys,
                               reply->totalVModMapKeys, reply->present, &map);
    auto it = xcb_xkb_get_map_map_syms_rtrn_iterator(reply.get(), &map);
    for (int i = 0; i < reply->nKeySyms && it.rem > 0; ++i, xcb_xkb_key_sym_map_next(&it)) {
        const xcb_xkb_key_sym_map_t* entry = it.data;
        const auto key = static_cast<xcb_keycode_t>(reply->firstKeySym + i);
        const int groups = entry->groupInfo & 0x0F;
        const int width = entry->width;
        const xcb_keysym_t* syms = xcb_xkb_key_sym_map_syms(entry);
        const int count = xcb_xkb_key_sym_map_syms_length(entry);
        X11KeyboardMap::Layouts layouts;
        for (int g = 0; g < groups; ++g) {
            std::vector<std::uint32_t> levels;
            for (int l = 0; l < width && g * width + l < count; ++l)
                levels.push_back(syms[g * width + l]);
            layouts.push_back(std::move(levels));
        }
        if (!layouts.empty()) keys[key] = std::move(layouts);
    }
    return keys;
}

// Without XKB: each key's core keysyms as its one layout.
std::map<xcb_keycode_t, X11KeyboardMap::Layouts> readCore(xcb_connection_t* c) {
    std::map<xcb_keycode_t, X11KeyboardMap::Layouts> keys;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int first = setup->min_keycode, count = setup->max_keycode - setup->min_keycode + 1;
    XcbReply<xcb_get_keyboard_mapping_reply_t> reply(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, static_cast<xcb_keycode_t>(first), static_cast<std::uint8_t>(count)),
        nullptr));
    if (!reply) return keys;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
    const int perKey = reply->keysyms_per_keycode;
    for (int k = 0; k < count; ++k) {
        std::vector<std::uint32_t> levels(syms + k * perKey, syms + (k + 1) * perKey);
        if (std::any_of(levels.begin(), levels.end(), [](std::uint32_t s) { return s != 0; }))
            keys[static_cast<xcb_keycode_t>(first + k)] = {std::move(levels)};
    }
    return keys;
}

} // namespace

X11KeyboardMap X11KeyboardMap::read(X11Connection& connection) {
    auto guard = connection.lock();
    auto keys = readXkb(connection.xcb());
    if (keys.empty()) keys = readCore(connection.xcb());
    return X11KeyboardMap(std::move(keys));
}

std::vector<xcb_keycode_t> X11KeyboardMap::keycodesFor(std::uint32_t keysym) const {
    std::vector<xcb_keycode_t> out;
    if (keysym == 0) return out;
    std::size_t layouts = 0;
    for (const auto& [key, keyLayouts] : keys_)
        layouts = std::max(layouts, keyLayouts.size());
    for (const bool shiftLevels : {true, false})
        for (std::size_t g = 0; g < layouts && out.empty(); ++g)
            for (const auto& [key, keyLayouts] : keys_) {
                if (g >= keyLayouts.size()) continue;
                const auto& levels = keyLayouts[g];
                const auto begin =
                    shiftLevels ? levels.begin() : levels.begin() + std::min(levels.size(), kShiftLevels);
                const auto end =
                    shiftLevels ? levels.begin() + std::min(levels.size(), kShiftLevels) : levels.end();
                if (std::find(begin, end, keysym) != end) out.push_back(key);
            }
    return out;
}

std::optional<std::uint16_t> X11KeyboardMap::virtualKeyOf(xcb_keycode_t key) const {
    const auto found = keys_.find(key);
    if (found == keys_.end()) return std::nullopt;
    for (const auto& levels : found->second)
        for (const std::uint32_t keysym : levels) {
            const auto code = virtualKeyForKeysym(keysym);
            if (!code) continue;
            const auto held = keysymForVirtualKey(*code);
            if (!held) continue;
            const auto keys = keycodesFor(*held);
            if (std::find(keys.begin(), keys.end(), key) != keys.end()) return code;
        }
    return std::nullopt;
}

} // namespace korvane::x11

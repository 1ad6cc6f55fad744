// Who a monitor is: the identity in its EDID (vendor, product, serial) when it has one, else its name,
// turned into a display UUID that stays the same across restarts of the program and of the server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane::x11 {

struct EdidIdentity {
    std::string vendor; // three letters, "DEL"
    std::uint16_t product = 0;
    std::uint32_t serial = 0;
    std::string serialText;  // the serial-number descriptor, when present
    std::string monitorName; // the name descriptor, when present

    friend bool operator==(const EdidIdentity&, const EdidIdentity&) = default;
};

// Nothing when the bytes are not an EDID base block.
std::optional<EdidIdentity> parseEdid(const std::vector<std::uint8_t>& bytes);

// Upper-case 8-4-4-4-12, name-based (SHA-1): equal inputs give equal UUIDs on every machine.
std::string displayUUID(const std::optional<EdidIdentity>& edid, const std::string& monitorName);

} // namespace korvane::x11

// EDID parsing and the name-based display UUID.
#include "platform/x11/DisplayIdentity.h"

#include <QByteArray>
#include <QUuid>

#include <array>
#include <cstdio>

namespace korvane::x11 {

namespace {

// Fixed for good: changing it would give every display a new identity.
const QUuid kDisplayNamespace(QStringLiteral("14A0ADC6-E195-4572-90A3-3066DB4404B9"));

std::string descriptorText(const std::vector<std::uint8_t>& b, std::size_t offset) {
    std::string out;
    for (std::size_t i = offset + 5; i < offset + 18; ++i) {
        if (b[i] == 0x0A || b[i] == 0x00) break;
        out.push_back(b[i] >= 0x20 && b[i] < 0x7F ? static_cast<char>(b[i]) : '?');
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

} // namespace

std::optional<EdidIdentity> parseEdid(const std::vector<std::uint8_t>& b) {
    static constexpr std::array<std::uint8_t, 8> header{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    if (b.size() < 128) return std::nullopt;
    for (std::size_t i = 0; i < header.size(); ++i)
        if (b[i] != header[i]) return std::nullopt;
    EdidIdentity id;
    const unsigned vendor = (static_cast<unsigned>(b[8]) << 8) | b[9];
    for (int shift : {10, 5, 0}) {
        const unsigned letter = (vendor >> shift) & 0x1F;
        if (letter < 1 || letter > 26) return std::nullopt;
        id.vendor.push_back(static_cast<char>('A' + letter - 1));
    }
    id.product = static_cast<std::uint16_t>(b[10] | (b[11] << 8));
    id.serial = static_cast<std::uint32_t>(b[12]) | (static_cast<std::uint32_t>(b[13]) << 8) |
                (static_cast<std::uint32_t>(b[14]) << 16) | (static_cast<std::uint32_t>(b[15]) << 24);
    for (std::size_t offset : {54u, 72u, 90u, 108u}) {
        // Display descriptors start with three zero bytes; anything else is a timing.
        if (b[offset] != 0 || b[offset + 1] != 0 || b[offset + 2] != 0) continue;
        if (b[offset + 3] == 0xFF) id.serialText = descriptorText(b, offset);
        if (b[offset + 3] == 0xFC) id.monitorName = descriptorText(b, offset);
    }
    return id;
}

std::string displayUUID(const std::optional<EdidIdentity>& edid, const std::string& monitorName) {
    std::string name;
    if (edid) {
        char numbers[32];
        std::snprintf(numbers, sizeof numbers, ":%04X:%08X:", edid->product, edid->serial);
        name = "edid:" + edid->vendor + numbers + edid->serialText;
    } else {
        name = "monitor:" + monitorName;
    }
    const QUuid uuid = QUuid::createUuidV5(kDisplayNamespace, QByteArray::fromStdString(name));
    return uuid.toString(QUuid::WithoutBraces).toUpper().toStdString();
}

} // namespace korvane::x11

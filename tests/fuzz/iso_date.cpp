// ISO 8601 dates: any text that reads as a date writes as text that reads as the same instant to the
// second and writes the same again; and any instant (the input's first eight bytes) written as a
// four-digit year reads back as that instant to the second.
#include "FuzzSupport.h"

#include "core/ISODate.h"

#include <cstring>
#include <limits>

using namespace korvane;

namespace {

// The instant rounded towards the past to a whole second; nothing when that lies before what 64-bit
// nanoseconds hold (the first second of their range is only partly inside it).
std::optional<Nanos> toWholeSeconds(Nanos t) {
    Nanos s = t / kNanosPerSecond;
    if (t % kNanosPerSecond < 0) --s;
    if (s < std::numeric_limits<Nanos>::min() / kNanosPerSecond) return std::nullopt;
    return s * kNanosPerSecond;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = fuzz::text(data, size);
    if (const auto parsed = parseISODate(input)) {
        const std::string written = isoDateString(*parsed);
        const auto back = parseISODate(written);
        FUZZ_CHECK(back == toWholeSeconds(*parsed), input + " -> " + written);
        FUZZ_CHECK(isoDateString(*back) == written, written);
    }
    if (size >= sizeof(Nanos)) {
        Nanos instant = 0;
        std::memcpy(&instant, data, sizeof instant);
        const std::string written = isoDateString(instant);
        // Four-digit years only, the form the reader takes.
        if (written.size() == 20) FUZZ_CHECK(parseISODate(written) == toWholeSeconds(instant), written);
    }
    return 0;
}

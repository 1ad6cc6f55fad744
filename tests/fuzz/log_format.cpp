// The log formatter: any format (the input up to its first NUL) with any arguments (the rest, as text,
// a number and a flag) renders without fault, and arguments are rendered as data: text under a text
// conversion comes out exactly as it went in, a '%' inside it never interpreted.
#include "FuzzSupport.h"

#include "platform/Format.h"

#include <cstring>

using namespace korvane;
using platform::format;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = fuzz::text(data, size);
    const std::size_t nul = input.find('\0');
    const std::string fmt = input.substr(0, nul);
    const std::string arg = nul == std::string::npos ? std::string() : input.substr(nul + 1);
    std::int64_t number = 0;
    std::memcpy(&number, arg.data(), std::min(arg.size(), sizeof number));
    double real = 0;
    std::memcpy(&real, arg.data(), std::min(arg.size(), sizeof real));

    const std::string rendered =
        format(fmt, arg, number, real, !arg.empty(), static_cast<std::uint64_t>(number));
    if (fmt.find('%') == std::string::npos) FUZZ_CHECK(rendered == fmt, rendered);
    // Widths and precisions are bounded: no format makes a line longer than its parts allow.
    FUZZ_CHECK(rendered.size() <= fmt.size() * (1024 + 64) + 5 * (arg.size() + 1100),
               std::to_string(rendered.size()));

    for (const char* conversion : {"%s", "%@", "%{public}s", "%{private}s", "%{public}@"})
        FUZZ_CHECK(format(conversion, arg) == arg, conversion);
    FUZZ_CHECK(format("[%s] %d", arg, number) == "[" + arg + "] " + std::to_string(number), arg);
    FUZZ_CHECK(format("%{bool}d", !arg.empty()) == (arg.empty() ? "false" : "true"), arg);
    return 0;
}

// Text that is valid UTF-8 whatever bytes arrived: clients of the window server set any bytes they
// like, and the JSON writer of every store refuses text that is not UTF-8, so one bad string would
// otherwise make a whole file unsavable.
#pragma once

#include <string>
#include <string_view>

namespace korvane {

bool isValidUTF8(std::string_view bytes);
// `bytes` with every ill-formed sequence replaced by U+FFFD, one for each maximal part of a sequence
// that could have begun a character (the replacement practice Unicode recommends); valid text is
// returned unchanged.
std::string validUTF8(std::string_view bytes);
// Latin-1 (ISO 8859-1) bytes as UTF-8: every byte is the code point of its value.
std::string utf8FromLatin1(std::string_view bytes);

// The text of a JSON value (`indent` as nlohmann's dump takes it), with text that is not UTF-8 written
// with U+FFFD in place of each bad byte instead of refusing the whole value.
template <class Json> std::string jsonText(const Json& value, int indent = -1) {
    return value.dump(indent, ' ', false, Json::error_handler_t::replace);
}

} // namespace korvane

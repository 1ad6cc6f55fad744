// The one way JSON read from a file becomes a document: nesting deeper than any file Korvane writes is
// refused while it is read, before the levels below take memory, and the memory that reading a large file
// took is given back to the system once the document and the file's bytes are gone.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace korvane {

// Arrays and objects inside one another, the outermost counting 1. The deepest file Korvane writes holds
// a layout tree of at most 512 node levels three levels down (the layout templates); twice that leaves
// room for hand edits. Without a limit a 16 MB file of "[" is sixteen million levels, gigabytes while it
// is read.
inline constexpr std::size_t kMaxStoredJSONNesting = 1024;

// A text at least this large is a large read: what reading it took is given back afterwards. No store's
// file comes near it.
inline constexpr std::size_t kLargeStoredJSONText = 1024 * 1024;

// `text` as a document. Throws nlohmann::json::exception when it is not JSON (parse_error, or out_of_range
// for a number beyond a double), and parse_error when it nests deeper than kMaxStoredJSONNesting, which
// every reader then treats as the undecodable file it is.
nlohmann::json parseStoredJSON(std::string_view text);

namespace detail {
// Holds a file's text while it is decoded; when it goes, after a large text, the memory freed by then
// (the text's and its document's) is given back to the system.
class StoredJSONText {
  public:
    explicit StoredJSONText(std::string text) : text_(std::move(text)) {}
    StoredJSONText(const StoredJSONText&) = delete;
    StoredJSONText& operator=(const StoredJSONText&) = delete;
    ~StoredJSONText();
    std::string_view text() const { return text_; }

  private:
    std::string text_;
};
} // namespace detail

// `decode(parseStoredJSON(text))`: what every reader of a file calls with the file's bytes, handed over
// so that they are freed with the document before the memory is given back. The document lives only
// while `decode` runs (taking it by value moves it in). Throws what either throws.
template <class Decode> auto decodeStoredJSON(std::string text, Decode&& decode) {
    const detail::StoredJSONText held(std::move(text));
    return std::forward<Decode>(decode)(parseStoredJSON(held.text()));
}

} // namespace korvane

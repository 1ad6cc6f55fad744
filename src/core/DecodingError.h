// The error that readers of stored JSON records throw when a record is missing, mistyped or damaged.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace korvane {

class DecodingError : public std::runtime_error {
  public:
    enum class Kind {
        keyNotFound,   // a required key is absent
        typeMismatch,  // a value has the wrong JSON type, or a fractional number where an integer belongs
        dataCorrupted, // a value has the right type but cannot be used (unknown case, too deep, out of range)
    };

    // A document that does not have the expected shape; the text names the key and what was wrong.
    explicit DecodingError(const std::string& description)
        : DecodingError(Kind::dataCorrupted, std::string(), description) {}
    DecodingError(Kind kind, std::string key, const std::string& description)
        : std::runtime_error(description), kind_(kind), key_(std::move(key)) {}

    Kind kind() const { return kind_; }
    // The key whose value failed; empty when the failure concerns the value as a whole.
    const std::string& key() const { return key_; }

  private:
    Kind kind_;
    std::string key_;
};

} // namespace korvane

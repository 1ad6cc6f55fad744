// The case rules of a Turkish locale for the length of a scope: the capital I has no small form of one byte
// there (its small form is the dotless one), nor the small i a capital one. Set for the C++ library as a
// facet with that rule, always, and for the C library where the system has tr_TR.UTF-8 installed.
#pragma once

#include <clocale>
#include <locale>
#include <string>

namespace korvane::testing {

class TurkishCase final : public std::ctype<char> {
  protected:
    char do_tolower(char c) const override { return c == 'I' ? c : std::ctype<char>::do_tolower(c); }
    char do_toupper(char c) const override { return c == 'i' ? c : std::ctype<char>::do_toupper(c); }
    const char* do_tolower(char* low, const char* high) const override {
        for (; low != high; ++low)
            *low = do_tolower(*low);
        return high;
    }
    const char* do_toupper(char* low, const char* high) const override {
        for (; low != high; ++low)
            *low = do_toupper(*low);
        return high;
    }
};

class ScopedTurkishLocale {
  public:
    ScopedTurkishLocale()
        : previousGlobal_(std::locale::global(std::locale(std::locale::classic(), new TurkishCase))) {
        const char* current = std::setlocale(LC_ALL, nullptr);
        previousC_ = current ? current : "C";
        for (const char* name : {"tr_TR.UTF-8", "tr_TR.utf8"})
            if (std::setlocale(LC_ALL, name)) {
                cLibrary_ = true;
                break;
            }
    }
    // The C++ library's first: putting back a named locale sets the C library's too.
    ~ScopedTurkishLocale() {
        std::locale::global(previousGlobal_);
        std::setlocale(LC_ALL, previousC_.c_str());
    }
    ScopedTurkishLocale(const ScopedTurkishLocale&) = delete;
    ScopedTurkishLocale& operator=(const ScopedTurkishLocale&) = delete;

    // Whether the C library follows it too.
    bool cLibrary() const { return cLibrary_; }

  private:
    std::locale previousGlobal_;
    std::string previousC_;
    bool cLibrary_ = false;
};

} // namespace korvane::testing

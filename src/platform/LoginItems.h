// Starting the program when the user logs in: one entry per label, kept where the desktop looks for
// such entries, written and removed by the program itself.
#pragma once

#include <filesystem>
#include <string>

namespace korvane::platform {

// What a login entry starts.
struct LoginItem {
    std::string label;       // names the entry and its file
    std::string programPath; // the program to start, as a full path
};

// Every operation throws std::filesystem::filesystem_error (a std::runtime_error) when the user's home
// cannot be found or the file system refuses; a failed operation leaves any older entry as it was.
class LoginItems {
  public:
    virtual ~LoginItems() = default;
    // Where the entry of `label` is kept, whether or not it exists.
    virtual std::filesystem::path location(const std::string& label) = 0;
    // Writes the entry atomically, creating its folder when missing; an older entry is replaced. The
    // entry takes effect at the next login.
    virtual void install(const LoginItem& item) = 0;
    // Removes the entry; nothing happens when there is none.
    virtual void uninstall(const std::string& label) = 0;
    virtual bool isInstalled(const std::string& label) = 0;
};

} // namespace korvane::platform

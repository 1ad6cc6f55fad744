// Login entries kept as one file each: the common part of every backend's login items, which differ
// only in where the file lies and what it says.
#pragma once

#include "platform/LoginItems.h"

#include <string>

namespace korvane::platform {

class FileLoginItems : public LoginItems {
  public:
    void install(const LoginItem& item) override;
    void uninstall(const std::string& label) override;
    bool isInstalled(const std::string& label) override;

  protected:
    // The file's text for `item`.
    virtual std::string entryText(const LoginItem& item) = 0;
};

} // namespace korvane::platform

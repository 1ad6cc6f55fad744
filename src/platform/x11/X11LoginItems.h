// Login entries of the real desktop: XDG autostart desktop entries, which the session starts at login.
#pragma once

#include "platform/FileLoginItems.h"

namespace korvane::platform {
class ProcessInfo;
}

namespace korvane::x11 {

class X11LoginItems final : public platform::FileLoginItems {
  public:
    explicit X11LoginItems(platform::ProcessInfo& process);

    // $XDG_CONFIG_HOME/autostart/<label>.desktop ($HOME/.config when XDG_CONFIG_HOME is unset or
    // relative); throws when neither gives a folder.
    std::filesystem::path location(const std::string& label) override;

    // The entry's text for `item`, as install() writes it.
    static std::string desktopEntry(const platform::LoginItem& item);
    // The program path as the value of an "Exec" key: quoted when it holds a reserved character,
    // field-code percent signs doubled, then escaped as a desktop-entry string.
    static std::string execValue(const std::string& programPath);

  protected:
    std::string entryText(const platform::LoginItem& item) override;

  private:
    platform::ProcessInfo& process_;
};

} // namespace korvane::x11

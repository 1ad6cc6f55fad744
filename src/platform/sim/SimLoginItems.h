// The simulated login entries: property-list files in "Library/LaunchAgents" under the home folder that
// the test gives the simulated process ($HOME), written the way a per-user launch agent is.
#pragma once

#include "platform/FileLoginItems.h"

namespace korvane::sim {

class SimProcessInfo;

class SimLoginItems final : public platform::FileLoginItems {
  public:
    explicit SimLoginItems(SimProcessInfo& process);

    // $HOME/Library/LaunchAgents/<label>.plist; throws when the simulated process has no HOME.
    std::filesystem::path location(const std::string& label) override;
    // An XML property list with "Label", "ProgramArguments" ("/usr/bin/open", "-a", the program's path)
    // and "RunAtLoad" true.

    // The file's text for `item`, as install() writes it.
    static std::string propertyList(const platform::LoginItem& item);

  protected:
    std::string entryText(const platform::LoginItem& item) override;

  private:
    SimProcessInfo& process_;
};

} // namespace korvane::sim

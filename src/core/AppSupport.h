// The application-support folder: where every store of the program keeps its files.
#pragma once

#include <filesystem>

namespace korvane {

// $KORVANE_HOME when set (the whole path; a relative one is taken from the process's current folder),
// else $XDG_CONFIG_HOME/Korvane (an absolute XDG_CONFIG_HOME only), else $HOME/.config/Korvane. The
// folder and its parents are created when missing; an existing folder is used as it is. Throws
// std::filesystem::filesystem_error when there is no home to start from, when the folder cannot be
// created, or when something other than a folder is in its place.
std::filesystem::path appSupportDirectory();

} // namespace korvane

// A scene's name inside a sentence of a window that must stay within its monitor: as the program's texts
// name it, cut in its middle when the window has not the room for all of it.
#pragma once

#include <string>
#include <string_view>

class QFont;

namespace korvane {

// sceneNameInText's form of the name, its middle replaced by "…" where the name would be wider than
// `width` pixels in `font`; a name that fits is left whole. Its start and end stay, which tell names that
// share a long beginning apart, and the sentence after it stays in view.
std::string sceneNameInText(std::string_view name, const QFont& font, int width);

} // namespace korvane

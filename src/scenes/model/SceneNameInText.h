// A scene's name as it is put into the program's texts: menu rows, questions, prompts and toasts.
#pragma once

#include <string>
#include <string_view>

namespace korvane {

// The name (UTF-8) as it stands inside a sentence, showing as the user typed it and changing nothing
// around it: its writing direction isolated (wrapped in U+2068 FIRST STRONG ISOLATE … U+2069 POP
// DIRECTIONAL ISOLATE), so that a right-to-left name or one holding a direction override keeps to
// itself; an isolate the name opens is closed within it and one it closes without opening is left out,
// so that the wrapping holds; tabs, line and paragraph breaks and other control characters become
// spaces, as they would break the row or the sentence.
std::string sceneNameInText(std::string_view name);

} // namespace korvane

// A confirmation the scene manager asks of the user, and who shows it: the window's owner may put in its
// own presenter in place of the modal message box.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace korvane {

struct SceneManagerAlert {
    std::string messageText;
    std::string informativeText;
    std::vector<std::string> buttons; // in order; the first is destructive
};

// Shows the alert modally over `parent` and answers the button chosen: 1000 for the first, 1001 for the
// second, and so on; anything else for a dismissal.
using SceneManagerAlertPresenter = std::function<int(QWidget* parent, const SceneManagerAlert& alert)>;

} // namespace korvane

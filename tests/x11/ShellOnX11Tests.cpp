// The application object made on a real X server: every component is built over the real desktop, every
// monitor can be given its zones, and nothing of Korvane appears on screen.
#include "X11Fixture.h"

#include "app/DisplayLayouts.h"
#include "core/MultiDisplayState.h"
#include "shell/AppDelegate.h"

#include <unistd.h>

namespace korvane::x11::test {
namespace {

using ShellOnX11Test = X11Test;

TEST_F(ShellOnX11Test, theApplicationObjectIsMadeAndGivesEveryMonitorZonesWithoutShowingAWindow) {
    const auto clientsBefore = session().clientList();

    auto app = AppDelegate::create(*desktop);
    app->displayLayouts().initializeAllDisplays();
    runUntil([] { return false; }, milliseconds(300)); // a window being mapped would be managed by now

    EXPECT_EQ(app->multiState()->states.size(), desktop->screens().screens().size());
    EXPECT_EQ(session().clientList(), clientsBefore);
    EXPECT_EQ(session().clientOf(::getpid()), std::nullopt);
}

} // namespace
} // namespace korvane::x11::test

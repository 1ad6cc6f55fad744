// The grants on a real X server: with a window manager that follows the EWMH conventions running, both
// grants hold and there is no privacy pane to send anyone to; translucency follows a compositing manager.
#include "X11Fixture.h"

#include "app/PermissionManager.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <string>

namespace korvane::x11::test {
namespace {

using PermissionsOnX11Test = X11Test;

TEST_F(PermissionsOnX11Test, underAWindowManagerBothGrantsHoldAtOnceAndNoPaneIsOffered) {
    auto manager = PermissionManager::create(*desktop);
    EXPECT_TRUE(manager->isAccessibilityGranted());
    EXPECT_TRUE(manager->isScreenRecordingGranted());
    int started = 0;
    manager->requestPermissions([&] { ++started; });
    EXPECT_EQ(started, 1);
    EXPECT_FALSE(desktop->workspace().hasPrivacyPanes());
}

TEST_F(PermissionsOnX11Test, compositingIsSeenWhileAClientOwnsTheScreensCompositingSelection) {
    EXPECT_FALSE(desktop->screens().isCompositing()); // openbox composites nothing
    // A client of the test's own claims the selection as a compositing manager does at its start.
    int screen = 0;
    xcb_connection_t* c = xcb_connect(session().display().c_str(), &screen);
    ASSERT_FALSE(xcb_connection_has_error(c));
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
    ASSERT_NE(atom, nullptr);
    const xcb_window_t owner = xcb_generate_id(c);
    const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, owner, root->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(c, owner, atom->atom, XCB_CURRENT_TIME);
    std::free(atom);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // the claim has arrived
    EXPECT_TRUE(desktop->screens().isCompositing());
    xcb_disconnect(c); // the selection goes with its owner
    EXPECT_TRUE(runUntil([&] { return !desktop->screens().isCompositing(); }));
}

} // namespace
} // namespace korvane::x11::test

// The benchmarks' clock on a real X server: what it takes as an opening's first pixels and complete frame
// from the server's reports of drawing into two windows, drawn into by another client at known instants.
#include "DamageClock.h"
#include "X11TestSession.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace korvane::x11::test {
namespace {

using Clock = DamageClock::Clock;

// A client of the session drawing into windows of its own, mapped without a window manager.
class Painter {
  public:
    explicit Painter(const std::string& display) : conn_(xcb_connect(display.c_str(), nullptr)) {
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
        gc_ = xcb_generate_id(conn_);
        xcb_create_gc(conn_, gc_, screen_->root, XCB_GC_FOREGROUND, &screen_->white_pixel);
    }
    ~Painter() { xcb_disconnect(conn_); }
    bool ok() const { return !xcb_connection_has_error(conn_); }

    // Mapped, without a background: the server draws nothing into it of its own.
    xcb_window_t window(int x, int width, int height) {
        const xcb_window_t w = xcb_generate_id(conn_);
        const std::uint32_t overrideRedirect = 1;
        xcb_create_window(conn_, XCB_COPY_FROM_PARENT, w, screen_->root, static_cast<std::int16_t>(x), 0,
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
                          &overrideRedirect);
        xcb_map_window(conn_, w);
        sync();
        return w;
    }
    // Returns once the server has drawn it.
    void fill(xcb_window_t w, int x, int width, int height) {
        const xcb_rectangle_t rect{static_cast<std::int16_t>(x), 0, static_cast<std::uint16_t>(width),
                                   static_cast<std::uint16_t>(height)};
        xcb_poly_fill_rectangle(conn_, w, gc_, 1, &rect);
        sync();
    }

  private:
    void sync() { std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr)); }

    xcb_connection_t* conn_;
    const xcb_screen_t* screen_ = nullptr;
    xcb_gcontext_t gc_ = 0;
};

TEST(DamageClockOnX11Test, anOpeningsFirstPixelsWaitForEveryWindowAndItsCompleteFrameForTheLastDrawing) {
    X11TestSession session({}, /*windowManager=*/false);
    Painter painter(session.display());
    ASSERT_TRUE(painter.ok());
    DamageClock clock(session.display());
    const xcb_window_t a = painter.window(0, 160, 80);
    const xcb_window_t b = painter.window(200, 160, 80);
    const xcb_window_t other = painter.window(400, 40, 40);

    painter.fill(a, 0, 160, 80); // before the timing: not part of it
    clock.watch({a, b, other});
    ASSERT_TRUE(clock.count({a, b}));

    painter.fill(a, 0, 80, 80);
    EXPECT_FALSE(clock.sofar()) << "b has not been drawn into";

    const auto beforeB = Clock::now();
    painter.fill(b, 0, 160, 80);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return clock.sofar().has_value(); }, seconds(20)));
    const auto partial = *clock.sofar();
    EXPECT_GE(partial.firstPixels, beforeB);
    EXPECT_NEAR(partial.covered, 0.75, 0.01); // a's left half and all of b
    EXPECT_FALSE(clock.settled(std::chrono::hours(1)));

    const auto beforeLast = Clock::now();
    painter.fill(a, 80, 80, 80);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return clock.sofar()->complete >= beforeLast; }, seconds(20)));
    const auto afterLast = Clock::now();
    painter.fill(other, 0, 40, 40); // watched but not counted
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] { return clock.settled(std::chrono::milliseconds(200)).has_value(); }, seconds(20)));
    clock.stop();
    painter.fill(b, 0, 160, 80); // after the timing

    const auto frame = *clock.sofar();
    EXPECT_EQ(frame.firstPixels, partial.firstPixels);
    EXPECT_GE(frame.complete, beforeLast);
    EXPECT_LE(frame.complete, afterLast);
    EXPECT_EQ(frame.reports, 3);
    EXPECT_DOUBLE_EQ(frame.covered, 1.0);

    // The opening split where a later step of it began: the drawing before it alone.
    EXPECT_FALSE(clock.before(beforeB)) << "b had not been drawn into";
    const auto firstStep = clock.before(beforeLast);
    ASSERT_TRUE(firstStep);
    EXPECT_EQ(firstStep->firstPixels, partial.firstPixels);
    EXPECT_EQ(firstStep->complete, partial.complete);
    EXPECT_EQ(firstStep->reports, 2);
}

} // namespace
} // namespace korvane::x11::test

// Starting and ending the private X server and its clients. Children are started with fork/exec and
// die with the test process should it crash (parent-death signal), so no server outlives a test run.
#include "X11TestSession.h"

#include <xcb/randr.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef KORVANE_OPENBOX_RC
#error "KORVANE_OPENBOX_RC must name the openbox configuration of the tests"
#endif

namespace korvane::x11::test {

namespace {

Nanos monotonic() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, FreeDeleter>;

// The environment as the session found it: the fixture points the desktop's data folders elsewhere,
// and the server and window manager must not see that (openbox finds its themes there).
const std::vector<std::string>& originalEnvironment() {
    static const std::vector<std::string> saved = [] {
        std::vector<std::string> out;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "DISPLAY=", 8) != 0) out.emplace_back(*e);
        return out;
    }();
    return saved;
}

// fork/exec with DISPLAY set, output to `log`, and `keepFd` left open for the child.
pid_t spawn(const std::vector<std::string>& argv, const std::string& display, const std::string& log,
            int keepFd = -1) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envStrings = originalEnvironment();
    if (!display.empty()) envStrings.push_back("DISPLAY=" + display);
    std::vector<char*> env;
    for (auto& e : envStrings)
        env.push_back(e.data());
    env.push_back(nullptr);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    // Child: only async-signal-safe calls from here on.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in >= 0) ::dup2(in, 0);
    if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
    }
    for (int fd = 3; fd < 1024; ++fd)
        if (fd != keepFd) ::close(fd);
    ::execvpe(args[0], args.data(), env.data());
    ::_exit(127);
}

// Waits for the process to end; SIGKILL when it does not within the time-out. Returns its status.
int reap(pid_t pid, Nanos timeout) {
    int status = 0;
    const Nanos deadline = monotonic() + timeout;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) return status;
        if (monotonic() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string geometryText(const Rect& r, double mmPerPixel) {
    const int w = static_cast<int>(r.size.width), h = static_cast<int>(r.size.height);
    return std::to_string(w) + "/" + std::to_string(static_cast<int>(w * mmPerPixel)) + "x" +
           std::to_string(h) + "/" + std::to_string(static_cast<int>(h * mmPerPixel)) + "+" +
           std::to_string(static_cast<int>(r.origin.x)) + "+" + std::to_string(static_cast<int>(r.origin.y));
}

} // namespace

bool X11TestSession::waitFor(const std::function<bool()>& condition, Nanos timeout) {
    const Nanos deadline = monotonic() + timeout;
    for (;;) {
        if (condition()) return true;
        if (monotonic() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

X11TestSession::X11TestSession() {
    originalEnvironment();
    char pattern[] = "/tmp/korvane-x11-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("cannot make a temporary folder");
    tempFolder_ = pattern;
    const std::string log = tempFolder_ + "/session.log";

    // Xvfb picks a free display itself and writes its number once it accepts connections.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
    const int writeEnd = ::fcntl(pipeFds[1], F_DUPFD, 10); // without close-on-exec
    ::close(pipeFds[1]);
    xvfb_ = spawn({"Xvfb", "-displayfd", std::to_string(writeEnd), "-screen", "0", "3840x1080x24", "-noreset",
                   "-nolisten", "tcp"},
                  "", log, writeEnd);
    ::close(writeEnd);
    std::string number;
    const Nanos deadline = monotonic() + seconds(20);
    while (number.empty() || number.back() != '\n') {
        pollfd p{pipeFds[0], POLLIN, 0};
        const int left = static_cast<int>(std::max<Nanos>(0, deadline - monotonic()) / 1'000'000);
        if (::poll(&p, 1, left) <= 0) break;
        char buf[16];
        const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
        if (n <= 0) break;
        number.append(buf, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    if (number.empty() || number.back() != '\n') {
        stopAll();
        throw std::runtime_error("Xvfb did not start (see " + log + ")");
    }
    number.pop_back();
    display_ = ":" + number;

    int screen = 0;
    conn_ = xcb_connect(display_.c_str(), &screen);
    if (xcb_connection_has_error(conn_)) {
        stopAll();
        throw std::runtime_error("cannot connect to " + display_);
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;

    setMonitor(kPrimaryName, kPrimaryRoot, true);
    setMonitor(kSecondaryName, kSecondaryRoot, false);
    if (!run({"xrandr", "--output", "screen", "--primary"})) {
        stopAll();
        throw std::runtime_error("xrandr could not set the primary output");
    }

    openbox_ = spawn({"openbox", "--config-file", KORVANE_OPENBOX_RC}, display_, log);
    if (!waitFor([&] { return isSupportingWMRunning(); }) || !waitUntilManaging()) {
        stopAll();
        throw std::runtime_error("openbox did not start (see " + log + ")");
    }
}

// The window manager announces itself before it manages anything: a window mapped in between is
// never managed. A probe window, mapped again until it shows in the client list, tells when it is.
bool X11TestSession::waitUntilManaging() {
    const xcb_window_t probe = xcb_generate_id(conn_);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
    xcb_create_window(conn_, XCB_COPY_FROM_PARENT, probe, root_, 1930, 10, 20, 20, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    auto listed = [&] {
        auto l = clientList();
        return std::find(l.begin(), l.end(), probe) != l.end();
    };
    bool managed = false;
    for (int attempt = 0; attempt < 50 && !managed; ++attempt) {
        xcb_map_window(conn_, probe);
        sync();
        managed = waitFor(listed, milliseconds(200));
        if (!managed) {
            xcb_unmap_window(conn_, probe);
            sync();
        }
    }
    xcb_destroy_window(conn_, probe);
    sync();
    return managed && waitFor([&] { return !listed(); });
}

X11TestSession::~X11TestSession() {
    stopAll();
    std::error_code ec;
    std::filesystem::remove_all(tempFolder_, ec);
}

void X11TestSession::stopAll() {
    for (auto it = clients_.rbegin(); it != clients_.rend(); ++it) {
        ::kill(*it, SIGTERM);
        reap(*it, seconds(5));
    }
    clients_.clear();
    if (openbox_ > 0) {
        ::kill(openbox_, SIGTERM);
        reap(openbox_, seconds(5));
        openbox_ = 0;
    }
    if (conn_) {
        xcb_disconnect(conn_);
        conn_ = nullptr;
    }
    if (xvfb_ > 0) {
        ::kill(xvfb_, SIGTERM);
        reap(xvfb_, seconds(5));
        xvfb_ = 0;
    }
}

pid_t X11TestSession::start(const std::vector<std::string>& argv) {
    const pid_t pid = spawn(argv, display_, tempFolder_ + "/clients.log");
    clients_.push_back(pid);
    return pid;
}

void X11TestSession::stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    reap(pid, seconds(5));
    std::erase(clients_, pid);
}

bool X11TestSession::run(const std::vector<std::string>& argv) {
    const pid_t pid = spawn(argv, display_, tempFolder_ + "/tools.log");
    const int status = reap(pid, seconds(10));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void X11TestSession::setMonitor(const std::string& name, const Rect& root, bool withOutput) {
    if (!run({"xrandr", "--setmonitor", name, geometryText(root, 0.264), withOutput ? "screen" : "none"}))
        throw std::runtime_error("xrandr could not set monitor " + name);
}

void X11TestSession::deleteMonitor(const std::string& name) {
    if (!run({"xrandr", "--delmonitor", name})) throw std::runtime_error("xrandr could not delete " + name);
}

X11TestSession::Xterm X11TestSession::startXterm(const std::string& title, const std::string& geometry) {
    Xterm x;
    x.pid = start({"xterm", "-title", title, "-geometry", geometry, "-e", "cat"});
    std::optional<xcb_window_t> window;
    if (!waitFor([&] { return (window = clientOf(x.pid)).has_value(); }))
        throw std::runtime_error("xterm \"" + title + "\" did not show");
    x.window = *window;
    return x;
}

void X11TestSession::closeXterm(const Xterm& xterm) {
    stop(xterm.pid);
    waitFor([&] {
        auto list = clientList();
        return std::find(list.begin(), list.end(), xterm.window) == list.end();
    });
}

void X11TestSession::sync() {
    Reply<xcb_get_input_focus_reply_t> r(
        xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
}

xcb_atom_t X11TestSession::atom(const char* name) {
    if (auto it = atoms_.find(name); it != atoms_.end()) return it->second;
    Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
        conn_, xcb_intern_atom(conn_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    if (!r) return XCB_ATOM_NONE;
    return atoms_[name] = r->atom;
}

std::vector<std::uint32_t> X11TestSession::cardinals(xcb_window_t window, xcb_atom_t property,
                                                     xcb_atom_t type) {
    Reply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(conn_, xcb_get_property(conn_, 0, window, property, type, 0, 4096), nullptr));
    std::vector<std::uint32_t> out;
    if (!r || r->format != 32) return out;
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(r.get()));
    out.assign(data, data + xcb_get_property_value_length(r.get()) / 4);
    return out;
}

std::vector<xcb_window_t> X11TestSession::clientList() {
    return cardinals(root_, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
}

xcb_window_t X11TestSession::activeWindow() {
    auto v = cardinals(root_, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    return v.empty() ? static_cast<xcb_window_t>(XCB_WINDOW_NONE) : v[0];
}

std::optional<xcb_window_t> X11TestSession::clientOf(pid_t pid) {
    for (auto w : clientList()) {
        auto v = cardinals(w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
        if (!v.empty() && static_cast<pid_t>(v[0]) == pid) return w;
    }
    return std::nullopt;
}

Rect X11TestSession::frameOf(xcb_window_t window) {
    // One round trip: the benchmark reads frames back as fast as the server answers.
    const xcb_atom_t extentsAtom = atom("_NET_FRAME_EXTENTS");
    const auto geometryCookie = xcb_get_geometry(conn_, window);
    const auto originCookie = xcb_translate_coordinates(conn_, window, root_, 0, 0);
    const auto extentsCookie = xcb_get_property(conn_, 0, window, extentsAtom, XCB_ATOM_CARDINAL, 0, 4);
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(conn_, geometryCookie, nullptr));
    Reply<xcb_translate_coordinates_reply_t> t(xcb_translate_coordinates_reply(conn_, originCookie, nullptr));
    Reply<xcb_get_property_reply_t> p(xcb_get_property_reply(conn_, extentsCookie, nullptr));
    if (!g || !t) return {};
    std::uint32_t e[4] = {0, 0, 0, 0};
    if (p && p->format == 32 && xcb_get_property_value_length(p.get()) >= 16)
        std::memcpy(e, xcb_get_property_value(p.get()), sizeof e);
    return Rect{static_cast<double>(t->dst_x) - e[0], static_cast<double>(t->dst_y) - e[2],
                static_cast<double>(g->width) + e[0] + e[1], static_cast<double>(g->height) + e[2] + e[3]};
}

int X11TestSession::wmState(xcb_window_t window) {
    const xcb_atom_t wmStateAtom = atom("WM_STATE");
    auto v = cardinals(window, wmStateAtom, wmStateAtom);
    return v.empty() ? -1 : static_cast<int>(v[0]);
}

bool X11TestSession::isSupportingWMRunning() {
    auto v = cardinals(root_, atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW);
    return !v.empty() && v[0] != XCB_WINDOW_NONE;
}

void X11TestSession::setTitle(xcb_window_t window, const std::string& title) {
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8,
                        static_cast<std::uint32_t>(title.size()), title.data());
    sync();
}

void X11TestSession::setClass(xcb_window_t window, const std::string& instance,
                              const std::string& className) {
    const std::string value = instance + '\0' + className + '\0';
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(value.size()), value.data());
    sync();
}

xcb_window_t X11TestSession::unmappedWindow(const Rect& root) {
    const xcb_window_t w = xcb_generate_id(conn_);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
    xcb_create_window(conn_, XCB_COPY_FROM_PARENT, w, root_, static_cast<std::int16_t>(root.origin.x),
                      static_cast<std::int16_t>(root.origin.y), static_cast<std::uint16_t>(root.size.width),
                      static_cast<std::uint16_t>(root.size.height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    return w;
}

xcb_window_t X11TestSession::createWindow(const Rect& root, const std::string& title) {
    const xcb_window_t w = unmappedWindow(root);
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(title.size()), title.data());
    xcb_map_window(conn_, w);
    sync();
    return w;
}

xcb_window_t X11TestSession::createDock(const Rect& root, const std::array<std::uint32_t, 12>& strut) {
    const xcb_window_t w = unmappedWindow(root);
    const xcb_atom_t dock = atom("_NET_WM_WINDOW_TYPE_DOCK");
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1,
                        &dock);
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 32,
                        12, strut.data());
    const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_map_window(conn_, w);
    sync();
    return w;
}

void X11TestSession::requestFrame(xcb_window_t window, const Rect& frame) {
    auto e = cardinals(window, atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL);
    e.resize(4, 0);
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom("_NET_MOVERESIZE_WINDOW");
    // North-west gravity, x, y, width and height given, from a pager.
    event.data.data32[0] = 1u | (0xFu << 8) | (2u << 12);
    event.data.data32[1] = static_cast<std::uint32_t>(static_cast<std::int32_t>(frame.minX()));
    event.data.data32[2] = static_cast<std::uint32_t>(static_cast<std::int32_t>(frame.minY()));
    event.data.data32[3] = static_cast<std::uint32_t>(frame.width()) - e[0] - e[1];
    event.data.data32[4] = static_cast<std::uint32_t>(frame.height()) - e[2] - e[3];
    xcb_send_event(conn_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(conn_);
}

void X11TestSession::watchFrames(xcb_window_t client) {
    // The window manager's frame is the client's ancestor right below the root.
    xcb_window_t w = client;
    for (;;) {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(conn_, xcb_query_tree(conn_, w), nullptr));
        if (!tree || tree->parent == root_ || tree->parent == XCB_WINDOW_NONE) break;
        w = tree->parent;
    }
    watched_ = w;
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(conn_, w, XCB_CW_EVENT_MASK, &mask);
    framesShown();
}

std::vector<Rect> X11TestSession::framesShown() {
    sync();
    std::vector<Rect> out;
    while (xcb_generic_event_t* e = xcb_poll_for_event(conn_)) {
        const auto* c = reinterpret_cast<const xcb_configure_notify_event_t*>(e);
        if ((e->response_type & 0x7F) == XCB_CONFIGURE_NOTIFY && c->window == watched_) {
            const double border = 2.0 * c->border_width;
            out.push_back(Rect{static_cast<double>(c->x), static_cast<double>(c->y), c->width + border,
                               c->height + border});
        }
        std::free(e);
    }
    return out;
}

void X11TestSession::destroyWindow(xcb_window_t window) {
    xcb_destroy_window(conn_, window);
    sync();
}

void X11TestSession::setEdid(const std::vector<std::uint8_t>& edid) {
    Reply<xcb_randr_get_monitors_reply_t> monitors(
        xcb_randr_get_monitors_reply(conn_, xcb_randr_get_monitors(conn_, root_, 1), nullptr));
    if (!monitors) throw std::runtime_error("no monitors");
    for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem;
         xcb_randr_monitor_info_next(&it)) {
        if (xcb_randr_monitor_info_outputs_length(it.data) == 0) continue;
        const xcb_randr_output_t output = xcb_randr_monitor_info_outputs(it.data)[0];
        xcb_randr_change_output_property(conn_, output, atom("EDID"), XCB_ATOM_INTEGER, 8,
                                         XCB_PROP_MODE_REPLACE, static_cast<std::uint32_t>(edid.size()),
                                         edid.data());
        sync();
        return;
    }
    throw std::runtime_error("no monitor has an output");
}

void X11TestSession::movePointer(int rootX, int rootY) {
    xcb_test_fake_input(conn_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_,
                        static_cast<std::int16_t>(rootX), static_cast<std::int16_t>(rootY), 0);
    sync();
}

void X11TestSession::click(int rootX, int rootY) {
    movePointer(rootX, rootY);
    xcb_test_fake_input(conn_, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    xcb_test_fake_input(conn_, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    sync();
}

} // namespace korvane::x11::test

// Starting and ending the private X server and its clients. Children are started with fork/exec and
// die with the test process should it crash (parent-death signal), so no server outlives a test run.
#include "X11TestSession.h"

#include <xcb/randr.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

#ifndef KORVANE_OPENBOX_RC
#error "KORVANE_OPENBOX_RC must name the openbox configuration of the tests"
#endif

namespace korvane::x11::test {

namespace {

Nanos monotonic() {
    return std::chrono::nanoseconds(std::chrono::steady_clock::now().time_since_epoch()).count();
}

template <class T> using Reply = std::unique_ptr<T, decltype([](T* p) { std::free(p); })>;

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

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// xrandr's WIDTH/MMxHEIGHT/MM+X+Y.
std::string geometryText(const Rect& r) {
    auto n = [](double v) { return std::to_string(static_cast<int>(v)); };
    return n(r.width()) + "/" + n(r.width() * 0.264) + "x" + n(r.height()) + "/" + n(r.height() * 0.264) +
           "+" + n(r.minX()) + "+" + n(r.minY());
}

} // namespace

pid_t spawnChild(std::vector<std::string> argv, const std::string& display, const std::string& log,
                 int keepFd, const std::vector<std::string>& environment) {
    std::vector<std::string> envStrings = originalEnvironment();
    // Of two entries of one name a process reads the first: the given ones replace the test's.
    for (const auto& entry : environment) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        std::erase_if(envStrings, [&](const std::string& e) { return e.starts_with(name); });
        envStrings.push_back(entry);
    }
    if (!display.empty()) envStrings.push_back("DISPLAY=" + display);
    const auto args = pointers(argv), env = pointers(envStrings);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    // Child: only async-signal-safe calls from here on.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in >= 0) ::dup2(in, 0);
    if (out >= 0) ::dup2(out, 1), ::dup2(out, 2);
    for (int fd = 3; fd < 1024; ++fd)
        if (fd != keepFd) ::close(fd);
    ::execvpe(args[0], args.data(), env.data());
    ::_exit(127);
}

int endChild(pid_t pid, Nanos timeout, bool terminate) {
    int status = 0;
    if (pid > 0 && terminate) ::kill(pid, SIGTERM);
    if (pid > 0 && !X11TestSession::waitFor(
                       [&] {
                           const pid_t r = ::waitpid(pid, &status, WNOHANG);
                           return r == pid || (r < 0 && errno == ECHILD);
                       },
                       timeout)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    return status;
}

bool X11TestSession::waitFor(const std::function<bool()>& condition, Nanos timeout) {
    const Nanos deadline = monotonic() + timeout;
    for (;;) {
        if (condition()) return true;
        if (monotonic() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

X11TestSession::X11TestSession(const std::vector<std::string>& serverOptions, bool windowManager) {
    originalEnvironment();
    const std::string log = folder_.path() / "session.log";
    auto fail = [&](const std::string& why) {
        stopAll();
        throw std::runtime_error(why + " (see " + log + ")");
    };

    // Xvfb picks a free display itself and writes its number once it accepts connections.
    const std::string numberFile = folder_.path() / "display";
    const int fd = ::open(numberFile.c_str(), O_WRONLY | O_CREAT, 0644); // left open across exec
    std::vector<std::string> server{"Xvfb",         "-displayfd", std::to_string(fd), "-screen", "0",
                                    "3840x1080x24", "-noreset",   "-nolisten",        "tcp"};
    server.insert(server.end(), serverOptions.begin(), serverOptions.end());
    xvfb_ = spawnChild(server, "", log, fd);
    ::close(fd);
    std::string number;
    if (!waitFor(
            [&] {
                std::ifstream in(numberFile); // whole once the line has ended
                return std::getline(in, number) && !in.eof();
            },
            seconds(20)))
        fail("Xvfb did not start");
    display_ = ":" + number;

    conn_ = xcb_connect(display_.c_str(), nullptr);
    if (xcb_connection_has_error(conn_)) fail("cannot connect to " + display_);
    root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;

    setMonitor(kPrimaryName, kPrimaryRoot, true);
    setMonitor(kSecondaryName, kSecondaryRoot, false);
    if (!run({"xrandr", "--output", "screen", "--primary"})) fail("xrandr could not set the primary output");

    if (!windowManager) return;
    try {
        startWindowManager();
    } catch (const std::runtime_error& e) {
        fail(e.what());
    }
}

void X11TestSession::startWindowManager() {
    openbox_ = spawnChild({"openbox", "--config-file", KORVANE_OPENBOX_RC}, display_,
                          folder_.path() / "session.log");
    const auto wmRunning = [&] {
        auto v = cardinals(root_, atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW);
        return !v.empty() && v[0] != XCB_WINDOW_NONE;
    };
    if (!waitFor(wmRunning) || !waitUntilManaging()) throw std::runtime_error("openbox did not start");
}

// The window manager announces itself before it manages anything: a window mapped in between is
// never managed. A probe window, mapped again until it shows in the client list, tells when it is.
bool X11TestSession::waitUntilManaging() {
    const xcb_window_t probe = mappedWindow(Rect{1930, 10, 20, 20}, nullptr);
    auto listed = [&] { return isClient(probe); };
    bool managed = false;
    // Each look waits longer than the one before: on a loaded machine a window manager starting up may
    // take a second to take a window in, and a probe taken away just before it does is never listed.
    for (int attempt = 0; attempt < 20 && !managed; ++attempt) {
        xcb_map_window(conn_, probe);
        sync();
        if (!(managed = waitFor(listed, milliseconds(200 + 100 * attempt)))) {
            xcb_unmap_window(conn_, probe);
            sync();
        }
    }
    destroyWindow(probe);
    return managed && waitFor([&] { return !listed(); });
}

X11TestSession::~X11TestSession() {
    stopAll();
}

void X11TestSession::stopAll() {
    for (auto it = clients_.rbegin(); it != clients_.rend(); ++it)
        endChild(*it, seconds(5));
    clients_.clear();
    // A stopped window manager would take a signal to end only once let go on.
    if (openbox_ > 0) ::kill(openbox_, SIGCONT);
    endChild(std::exchange(openbox_, 0), seconds(5));
    if (stackingConn_) xcb_disconnect(std::exchange(stackingConn_, nullptr));
    if (conn_) xcb_disconnect(std::exchange(conn_, nullptr));
    endChild(std::exchange(xvfb_, 0), seconds(5));
}

pid_t X11TestSession::start(const std::vector<std::string>& argv) {
    return clients_.emplace_back(spawnChild(argv, display_, folder_.path() / "clients.log"));
}

pid_t X11TestSession::start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                            const std::string& log) {
    return clients_.emplace_back(spawnChild(argv, display_, log, -1, environment));
}

void X11TestSession::stop(pid_t pid) {
    endChild(pid, seconds(5));
    std::erase(clients_, pid);
}

std::optional<int> X11TestSession::waitForExit(pid_t pid, Nanos timeout) {
    int status = 0;
    if (!waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, timeout)) return std::nullopt;
    std::erase(clients_, pid); // reaped: its pid may be another process's from now on
    return status;
}

void X11TestSession::killServer() {
    if (xvfb_ <= 0) return;
    ::kill(xvfb_, SIGKILL);
    ::waitpid(std::exchange(xvfb_, 0), nullptr, 0);
}

void X11TestSession::killWindowManager() {
    if (openbox_ <= 0) return;
    ::kill(openbox_, SIGKILL);
    ::waitpid(std::exchange(openbox_, 0), nullptr, 0);
}

void X11TestSession::replaceWindowManager() {
    const pid_t replaced = std::exchange(openbox_, 0);
    openbox_ = spawnChild({"openbox", "--replace", "--config-file", KORVANE_OPENBOX_RC}, display_,
                          folder_.path() / "session.log");
    if (replaced > 0) endChild(replaced, seconds(10), false);
    if (!waitUntilManaging()) throw std::runtime_error("openbox did not take over");
}

void X11TestSession::pauseWindowManager(bool paused) {
    if (openbox_ > 0) ::kill(openbox_, paused ? SIGSTOP : SIGCONT);
}

bool X11TestSession::run(const std::vector<std::string>& argv) {
    const int status = endChild(spawnChild(argv, display_, folder_.path() / "tools.log"), seconds(10), false);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void X11TestSession::setMonitor(const std::string& name, const Rect& root, bool withOutput) {
    if (!run({"xrandr", "--setmonitor", name, geometryText(root), withOutput ? "screen" : "none"}))
        throw std::runtime_error("xrandr could not set monitor " + name);
}

void X11TestSession::deleteMonitor(const std::string& name) {
    if (!run({"xrandr", "--delmonitor", name})) throw std::runtime_error("xrandr could not delete " + name);
}

void X11TestSession::closeXterm(const Xterm& xterm) {
    stop(xterm.pid);
    waitFor([&] { return !isClient(xterm.window); });
}

void X11TestSession::sync() {
    Reply<xcb_get_input_focus_reply_t> r(
        xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
}

xcb_atom_t internAtom(xcb_connection_t* conn, const char* name) {
    Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
        conn, xcb_intern_atom(conn, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

xcb_atom_t X11TestSession::atom(const char* name) {
    if (auto it = atoms_.find(name); it != atoms_.end()) return it->second;
    const xcb_atom_t found = internAtom(conn_, name);
    if (found != XCB_ATOM_NONE) atoms_[name] = found;
    return found;
}

std::vector<std::uint32_t> X11TestSession::cardinals(xcb_window_t window, xcb_atom_t property,
                                                     xcb_atom_t type) {
    Reply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(conn_, xcb_get_property(conn_, 0, window, property, type, 0, 4096), nullptr));
    if (!r || r->format != 32) return {};
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(r.get()));
    return {data, data + xcb_get_property_value_length(r.get()) / 4};
}

std::vector<xcb_window_t> X11TestSession::clientList() {
    return cardinals(root_, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
}

xcb_window_t X11TestSession::activeWindow() {
    auto v = cardinals(root_, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    return v.empty() ? static_cast<xcb_window_t>(XCB_WINDOW_NONE) : v[0];
}

std::vector<xcb_window_t> X11TestSession::stackingOrder() {
    return cardinals(root_, atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
}

bool X11TestSession::isClient(xcb_window_t window) {
    const auto list = clientList();
    return std::find(list.begin(), list.end(), window) != list.end();
}

std::optional<xcb_window_t> X11TestSession::clientOf(pid_t pid) {
    for (auto w : clientList()) {
        auto v = cardinals(w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
        if (!v.empty() && static_cast<pid_t>(v[0]) == pid) return w;
    }
    return std::nullopt;
}

std::optional<pid_t> X11TestSession::pidOf(xcb_window_t window) {
    auto v = cardinals(window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
    if (v.empty()) return std::nullopt;
    return static_cast<pid_t>(v[0]);
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

Rect X11TestSession::contentOf(xcb_window_t window) {
    const auto geometryCookie = xcb_get_geometry(conn_, window);
    const auto originCookie = xcb_translate_coordinates(conn_, window, root_, 0, 0);
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(conn_, geometryCookie, nullptr));
    Reply<xcb_translate_coordinates_reply_t> t(xcb_translate_coordinates_reply(conn_, originCookie, nullptr));
    if (!g || !t) return {};
    return Rect{static_cast<double>(t->dst_x), static_cast<double>(t->dst_y), static_cast<double>(g->width),
                static_cast<double>(g->height)};
}

int X11TestSession::wmState(xcb_window_t window) {
    auto v = cardinals(window, atom("WM_STATE"), atom("WM_STATE"));
    return v.empty() ? -1 : static_cast<int>(v[0]);
}

std::string X11TestSession::titleOf(xcb_window_t window) {
    for (xcb_atom_t property : {atom("_NET_WM_NAME"), static_cast<xcb_atom_t>(XCB_ATOM_WM_NAME)}) {
        Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
            conn_, xcb_get_property(conn_, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
            nullptr));
        if (r && r->format == 8 && xcb_get_property_value_length(r.get()) > 0)
            return std::string(static_cast<const char*>(xcb_get_property_value(r.get())),
                               static_cast<std::size_t>(xcb_get_property_value_length(r.get())));
    }
    return {};
}

std::optional<xcb_window_t> X11TestSession::viewableWindowTitled(const std::string& title) {
    std::vector<xcb_window_t> pending{root_};
    while (!pending.empty()) {
        const xcb_window_t w = pending.back();
        pending.pop_back();
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(conn_, xcb_query_tree(conn_, w), nullptr));
        if (!tree) continue;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            Reply<xcb_get_window_attributes_reply_t> a(xcb_get_window_attributes_reply(
                conn_, xcb_get_window_attributes(conn_, children[i]), nullptr));
            if (!a || a->map_state != XCB_MAP_STATE_VIEWABLE) continue;
            if (titleOf(children[i]) == title) return children[i];
            pending.push_back(children[i]);
        }
    }
    return std::nullopt;
}

std::vector<std::string> X11TestSession::atomNames(xcb_window_t window, const char* property) {
    std::vector<std::string> names;
    for (const xcb_atom_t a : cardinals(window, atom(property), XCB_ATOM_ATOM)) {
        Reply<xcb_get_atom_name_reply_t> r(
            xcb_get_atom_name_reply(conn_, xcb_get_atom_name(conn_, a), nullptr));
        if (r) names.emplace_back(xcb_get_atom_name_name(r.get()), xcb_get_atom_name_name_length(r.get()));
    }
    return names;
}

bool X11TestSession::hasProperty(xcb_window_t window, const char* property) {
    Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
        conn_, xcb_get_property(conn_, 0, window, atom(property), XCB_ATOM_ANY, 0, 0), nullptr));
    return r && r->type != XCB_ATOM_NONE;
}

std::optional<std::uint32_t> X11TestSession::desktopOf(xcb_window_t window) {
    const auto v = cardinals(window, atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL);
    return v.empty() ? std::nullopt : std::optional(v.front());
}

std::uint32_t X11TestSession::rootPixel(int rootX, int rootY) {
    const auto pixels = rootPixels(Rect{double(rootX), double(rootY), 1, 1});
    return pixels.empty() ? 0 : pixels.front();
}

std::vector<std::uint32_t> X11TestSession::rootPixels(const Rect& root) {
    // Read in one piece from the root window, as the screen shows it: a tool that puts the picture
    // together window by window, as xwd does when the windows use colormaps of their own, paints a
    // shaped window's whole rectangle over what shows through it.
    const auto x = static_cast<std::int16_t>(root.minX()), y = static_cast<std::int16_t>(root.minY());
    const auto w = static_cast<std::uint16_t>(root.width()), h = static_cast<std::uint16_t>(root.height());
    Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
        conn_, xcb_get_image(conn_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, x, y, w, h, ~0u), nullptr));
    // The server's 24-bit true colour: four bytes a pixel, blue first.
    if (!image || image->depth != 24 || xcb_get_image_data_length(image.get()) != w * h * 4) return {};
    const std::uint8_t* bytes = xcb_get_image_data(image.get());
    std::vector<std::uint32_t> pixels(std::size_t(w) * h);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] =
            std::uint32_t(bytes[i * 4 + 2]) << 16 | std::uint32_t(bytes[i * 4 + 1]) << 8 | bytes[i * 4];
    return pixels;
}

bool X11TestSession::saveScreenshot(const Rect& root, const std::string& path) {
    const auto pixels = rootPixels(root);
    if (pixels.empty()) return false;
    const auto w = static_cast<std::uint16_t>(root.width()), h = static_cast<std::uint16_t>(root.height());
    const std::string ppm = path + ".ppm";
    {
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n" << w << " " << h << "\n255\n";
        for (const std::uint32_t pixel : pixels) {
            const char rgb[3] = {static_cast<char>(pixel >> 16), static_cast<char>(pixel >> 8),
                                 static_cast<char>(pixel)};
            out.write(rgb, 3);
        }
    }
    const bool converted = run({"sh", "-c", "pnmtopng '" + ppm + "' > '" + path + "'"});
    std::filesystem::remove(ppm);
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return converted && !error && size > 0;
}

void X11TestSession::setProperty(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, std::uint8_t format,
                                 std::uint32_t count, const void* data) {
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, w, property, type, format, count, data);
}

void X11TestSession::setTitle(xcb_window_t window, const std::string& title) {
    setProperty(window, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8,
                static_cast<std::uint32_t>(title.size()), title.data());
    sync();
}

void X11TestSession::setIcon(xcb_window_t window, const std::vector<std::uint32_t>& words) {
    setProperty(window, atom("_NET_WM_ICON"), XCB_ATOM_CARDINAL, 32, static_cast<std::uint32_t>(words.size()),
                words.data());
    sync();
}

void X11TestSession::setClass(xcb_window_t window, const std::string& instance,
                              const std::string& className) {
    const std::string value = instance + '\0' + className + '\0';
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(value.size()), value.data());
    sync();
}

xcb_window_t X11TestSession::mappedWindow(const Rect& root,
                                          const std::function<void(xcb_window_t)>& describe) {
    const xcb_window_t w = xcb_generate_id(conn_);
    xcb_create_window(conn_, XCB_COPY_FROM_PARENT, w, root_, static_cast<std::int16_t>(root.minX()),
                      static_cast<std::int16_t>(root.minY()), static_cast<std::uint16_t>(root.width()),
                      static_cast<std::uint16_t>(root.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root_visual, 0, nullptr);
    if (describe) describe(w);
    xcb_map_window(conn_, w);
    sync();
    return w;
}

xcb_window_t X11TestSession::createWindow(const Rect& root, const std::string& title) {
    return mappedWindow(root, [&](xcb_window_t w) {
        setProperty(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(title.size()),
                    title.data());
    });
}

xcb_window_t X11TestSession::createDock(const Rect& root, const std::array<std::uint32_t, 12>& strut) {
    return mappedWindow(root, [&](xcb_window_t w) {
        const xcb_atom_t dock = atom("_NET_WM_WINDOW_TYPE_DOCK");
        const auto pid = static_cast<std::uint32_t>(::getpid());
        setProperty(w, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &dock);
        setProperty(w, atom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 32, 12, strut.data());
        setProperty(w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    });
}

std::vector<std::uint32_t> X11TestSession::strutOf(xcb_window_t window) {
    return cardinals(window, atom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL);
}

void X11TestSession::setStrut(xcb_window_t dock, const std::array<std::uint32_t, 12>& strut) {
    setProperty(dock, atom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 32, 12, strut.data());
    sync();
}

xcb_window_t X11TestSession::createDialog(const Rect& root, const std::string& title, bool fixedSize) {
    return mappedWindow(root, [&](xcb_window_t w) {
        const xcb_atom_t dialog = atom("_NET_WM_WINDOW_TYPE_DIALOG");
        const auto pid = static_cast<std::uint32_t>(::getpid());
        setProperty(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(title.size()),
                    title.data());
        setProperty(w, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &dialog);
        setProperty(w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
        if (fixedSize) {
            // WM_NORMAL_HINTS: PMinSize | PMaxSize, the minimum and maximum both the window's size.
            std::array<std::uint32_t, 18> hints{};
            hints[0] = (1u << 4) | (1u << 5);
            hints[5] = hints[7] = static_cast<std::uint32_t>(root.width());
            hints[6] = hints[8] = static_cast<std::uint32_t>(root.height());
            setProperty(w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32,
                        static_cast<std::uint32_t>(hints.size()), hints.data());
        }
    });
}

void X11TestSession::setDesktopCount(std::uint32_t count) {
    askWindowManager(root_, "_NET_NUMBER_OF_DESKTOPS", {count, 0, 0, 0, 0});
    waitFor([&] {
        const auto v = cardinals(root_, atom("_NET_NUMBER_OF_DESKTOPS"), XCB_ATOM_CARDINAL);
        return !v.empty() && v.front() == count;
    });
}

void X11TestSession::showDesktop(std::uint32_t desktop) {
    askWindowManager(root_, "_NET_CURRENT_DESKTOP", {desktop, XCB_CURRENT_TIME, 0, 0, 0});
    waitFor([&] { return currentDesktop() == desktop; });
}

void X11TestSession::sendToDesktop(xcb_window_t window, std::uint32_t desktop) {
    // The desktop, then the source: a pager.
    askWindowManager(window, "_NET_WM_DESKTOP", {desktop, 2, 0, 0, 0});
    waitFor([&] { return desktopOf(window) == desktop; });
}

std::uint32_t X11TestSession::currentDesktop() {
    const auto v = cardinals(root_, atom("_NET_CURRENT_DESKTOP"), XCB_ATOM_CARDINAL);
    return v.empty() ? 0 : v.front();
}

xcb_window_t X11TestSession::createTypedWindow(const Rect& root, const std::string& title, const char* type) {
    return mappedWindow(root, [&](xcb_window_t w) {
        const xcb_atom_t kind = atom(type);
        const auto pid = static_cast<std::uint32_t>(::getpid());
        setProperty(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(title.size()),
                    title.data());
        setProperty(w, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &kind);
        setProperty(w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    });
}

void X11TestSession::requestFrame(xcb_window_t window, const Rect& frame) {
    auto e = cardinals(window, atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL);
    e.resize(4, 0);
    // North-west gravity, x, y, width and height given, from a pager.
    const auto at = [](double v) { return static_cast<std::uint32_t>(static_cast<std::int32_t>(v)); };
    askWindowManager(window, "_NET_MOVERESIZE_WINDOW",
                     {1u | (0xFu << 8) | (2u << 12), at(frame.minX()), at(frame.minY()),
                      at(frame.width()) - e[0] - e[1], at(frame.height()) - e[2] - e[3]});
}

void X11TestSession::maximize(xcb_window_t window) {
    // Add both states, from a pager.
    askWindowManager(window, "_NET_WM_STATE",
                     {1, atom("_NET_WM_STATE_MAXIMIZED_VERT"), atom("_NET_WM_STATE_MAXIMIZED_HORZ"), 2, 0});
}

void X11TestSession::keepBelow(xcb_window_t window) {
    // Add the state, from a pager.
    askWindowManager(window, "_NET_WM_STATE", {1, atom("_NET_WM_STATE_BELOW"), 0, 2, 0});
    waitFor([&] {
        const auto states = atomNames(window, "_NET_WM_STATE");
        return std::find(states.begin(), states.end(), "_NET_WM_STATE_BELOW") != states.end();
    });
}

void X11TestSession::askWindowManager(xcb_window_t window, const char* type,
                                      const std::array<std::uint32_t, 5>& data) {
    xcb_client_message_event_t event{.response_type = XCB_CLIENT_MESSAGE,
                                     .format = 32,
                                     .sequence = 0,
                                     .window = window,
                                     .type = atom(type),
                                     .data = {}};
    std::memcpy(event.data.data32, data.data(), sizeof(std::uint32_t) * data.size());
    xcb_send_event(conn_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(conn_);
}

xcb_window_t X11TestSession::frameWindowOf(xcb_window_t client) {
    xcb_window_t frame = client;
    for (;;) {
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(conn_, xcb_query_tree(conn_, frame), nullptr));
        if (!tree || tree->parent == root_ || tree->parent == XCB_WINDOW_NONE) return frame;
        frame = tree->parent;
    }
}

void X11TestSession::watchFrames(xcb_window_t client) {
    watched_ = frameWindowOf(client);
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(conn_, watched_, XCB_CW_EVENT_MASK, &mask);
    framesShown();
}

std::vector<Rect> X11TestSession::framesShown() {
    sync();
    std::vector<Rect> out;
    while (xcb_generic_event_t* e = xcb_poll_for_event(conn_)) {
        const auto* c = reinterpret_cast<const xcb_configure_notify_event_t*>(e);
        if ((e->response_type & 0x7F) == XCB_CONFIGURE_NOTIFY && c->window == watched_)
            out.push_back(Rect{static_cast<double>(c->x), static_cast<double>(c->y),
                               c->width + 2.0 * c->border_width, c->height + 2.0 * c->border_width});
        std::free(e);
    }
    return out;
}

void X11TestSession::raiseAlone(xcb_window_t window) {
    // From a pager, no sibling, stack mode Above.
    askWindowManager(window, "_NET_RESTACK_WINDOW", {2, 0, 0, 0, 0});
    sync();
}

void X11TestSession::iconify(xcb_window_t window) {
    // The ICCCM's request to the window manager: WM_CHANGE_STATE with IconicState.
    askWindowManager(window, "WM_CHANGE_STATE", {3, 0, 0, 0, 0});
    sync();
}

void X11TestSession::requestClose(xcb_window_t window) {
    // _NET_CLOSE_WINDOW: a timestamp, then the source, a pager.
    askWindowManager(window, "_NET_CLOSE_WINDOW", {XCB_CURRENT_TIME, 2, 0, 0, 0});
    sync();
}

void X11TestSession::watchStacking() {
    if (!stackingConn_) {
        stackingConn_ = xcb_connect(display_.c_str(), nullptr);
        if (xcb_connection_has_error(stackingConn_))
            throw std::runtime_error("no second connection to the server");
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(stackingConn_, root_, XCB_CW_EVENT_MASK, &mask);
    }
    stackingRewrites();
}

int X11TestSession::stackingRewrites() {
    if (!stackingConn_) return 0;
    // The round trip brings in every event the server sent before it.
    Reply<xcb_get_input_focus_reply_t> r(
        xcb_get_input_focus_reply(stackingConn_, xcb_get_input_focus(stackingConn_), nullptr));
    const xcb_atom_t stacking = atom("_NET_CLIENT_LIST_STACKING");
    int rewrites = 0;
    while (xcb_generic_event_t* e = xcb_poll_for_event(stackingConn_)) {
        const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
        if ((e->response_type & 0x7F) == XCB_PROPERTY_NOTIFY && p->window == root_ && p->atom == stacking)
            ++rewrites;
        std::free(e);
    }
    return rewrites;
}

void X11TestSession::destroyWindow(xcb_window_t window) {
    xcb_destroy_window(conn_, window);
    sync();
}

void X11TestSession::setMapped(xcb_window_t window, bool mapped) {
    if (mapped)
        xcb_map_window(conn_, window);
    else
        xcb_unmap_window(conn_, window);
    sync();
}

// The window manager redirects what others ask of the root's children; marked override-redirect for the
// moment, the frame is changed as the window manager itself would change it.
void X11TestSession::changeFrameAlone(xcb_window_t client, const std::function<void(xcb_window_t)>& change) {
    const xcb_window_t frame = frameWindowOf(client);
    const std::uint32_t on = 1, off = 0;
    xcb_change_window_attributes(conn_, frame, XCB_CW_OVERRIDE_REDIRECT, &on);
    change(frame);
    xcb_change_window_attributes(conn_, frame, XCB_CW_OVERRIDE_REDIRECT, &off);
    sync();
}

void X11TestSession::moveFrameAlone(xcb_window_t client, Point rootTopLeft) {
    const std::uint32_t at[2] = {static_cast<std::uint32_t>(static_cast<std::int32_t>(rootTopLeft.x)),
                                 static_cast<std::uint32_t>(static_cast<std::int32_t>(rootTopLeft.y))};
    changeFrameAlone(client, [&](xcb_window_t frame) {
        xcb_configure_window(conn_, frame, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, at);
    });
}

void X11TestSession::setFrameMapped(xcb_window_t client, bool mapped) {
    changeFrameAlone(client, [&](xcb_window_t frame) {
        if (mapped)
            xcb_map_window(conn_, frame);
        else
            xcb_unmap_window(conn_, frame);
    });
}

// The server's one output is the primary monitor's.
void X11TestSession::setEdid(const std::vector<std::uint8_t>& edid) {
    Reply<xcb_randr_get_screen_resources_current_reply_t> r(xcb_randr_get_screen_resources_current_reply(
        conn_, xcb_randr_get_screen_resources_current(conn_, root_), nullptr));
    if (!r || xcb_randr_get_screen_resources_current_outputs_length(r.get()) == 0)
        throw std::runtime_error("the server has no output");
    xcb_randr_change_output_property(conn_, xcb_randr_get_screen_resources_current_outputs(r.get())[0],
                                     atom("EDID"), XCB_ATOM_INTEGER, 8, XCB_PROP_MODE_REPLACE,
                                     static_cast<std::uint32_t>(edid.size()), edid.data());
    sync();
}

void X11TestSession::movePointer(int rootX, int rootY) {
    xcb_test_fake_input(conn_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_,
                        static_cast<std::int16_t>(rootX), static_cast<std::int16_t>(rootY), 0);
    sync();
}

void X11TestSession::movePointerBy(int dx, int dy) {
    // A detail of 1 makes XTest's motion relative to where the pointer is.
    xcb_test_fake_input(conn_, XCB_MOTION_NOTIFY, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE,
                        static_cast<std::int16_t>(dx), static_cast<std::int16_t>(dy), 0);
    sync();
}

void X11TestSession::glidePointer(int rootX, int rootY, int steps) {
    const Point from = pointer();
    int atX = static_cast<int>(from.x), atY = static_cast<int>(from.y);
    steps = std::max(1, steps);
    for (int i = 1; i <= steps; ++i) {
        // Each step goes to its share of the way, so the rounding of the steps adds up to the end point.
        const int toX = static_cast<int>(from.x + (rootX - from.x) * i / steps);
        const int toY = static_cast<int>(from.y + (rootY - from.y) * i / steps);
        movePointerBy(toX - atX, toY - atY);
        atX = toX;
        atY = toY;
        // A mouse reports some hundred times a second; the listeners see each report on its own.
        std::this_thread::sleep_for(std::chrono::milliseconds(8));
    }
}

Point X11TestSession::pointer() {
    auto* reply = xcb_query_pointer_reply(conn_, xcb_query_pointer(conn_, root_), nullptr);
    const Point at = reply ? Point{double(reply->root_x), double(reply->root_y)} : Point{};
    std::free(reply);
    return at;
}

void X11TestSession::click(int rootX, int rootY) {
    movePointer(rootX, rootY);
    xcb_test_fake_input(conn_, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    xcb_test_fake_input(conn_, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    sync();
}

void X11TestSession::fakeInput(std::uint8_t type, std::uint8_t detail) {
    xcb_test_fake_input(conn_, type, detail, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    sync();
}

void X11TestSession::pressKeys(const std::vector<xcb_keycode_t>& keys, Nanos hold) {
    for (auto key : keys)
        xcb_test_fake_input(conn_, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    sync();
    if (hold > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(hold));
    for (auto key = keys.rbegin(); key != keys.rend(); ++key)
        xcb_test_fake_input(conn_, XCB_KEY_RELEASE, *key, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    sync();
}

xcb_keycode_t X11TestSession::keycodeOf(std::uint32_t keysym) {
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(conn_);
    Reply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(symbols, keysym));
    const xcb_keycode_t key = codes && *codes != XCB_NO_SYMBOL ? *codes : 0;
    xcb_key_symbols_free(symbols);
    return key;
}

bool X11TestSession::grabKey(xcb_keycode_t key, std::uint16_t modifiers) {
    Reply<xcb_generic_error_t> error(
        xcb_request_check(conn_, xcb_grab_key_checked(conn_, 0, root_, modifiers, key, XCB_GRAB_MODE_ASYNC,
                                                      XCB_GRAB_MODE_ASYNC)));
    return !error;
}

void X11TestSession::ungrabKey(xcb_keycode_t key, std::uint16_t modifiers) {
    xcb_ungrab_key(conn_, key, root_, modifiers);
    sync();
}

void X11TestSession::useForWidgets() const {
    ::setenv("DISPLAY", display_.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null/no-session-bus", 1);
}

} // namespace korvane::x11::test

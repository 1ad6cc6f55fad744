// The program: Korvane on the X server that $DISPLAY names, with Qt's event loop as the main run loop.
// It shows no window of its own at launch; the application object starts everything else. One Korvane
// runs per display: a second one started there says so and exits with status 1 before it shows, grabs
// or writes anything.
//
// Quitting has one road whatever asks for it (the menu's Quit, "Quit & Relaunch", SIGTERM, SIGINT): what
// waits for the window manager stops waiting, the main loop ends, leaving the moves still under way, the
// application object's shut-down writes what it remembers, and the program exits with status 0. Losing the X
// server saves the same and ends the process at once with status 1. A quit signal that comes during start-up
// takes that road when start-up reaches the main loop within a few seconds; otherwise it ends the process
// where it is, since start-up may be waiting for something that never comes (a server that does not answer,
// say).
#include "app/PermissionManager.h"
#include "app/permission/PermissionWindowController.h"
#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "platform/x11/X11Desktop.h"
#include "shell/AppDelegate.h"
#include "ui/overlays/MemoryAtRest.h"
#include "ui/overlays/WindowsKeptOnScreens.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

using korvane::AppDelegate;

constexpr int kConnectionLostStatus = 1;

// Signals become a byte on this pipe, read by the main loop: nothing of the program runs inside a
// signal handler.
int signalPipe[2] = {-1, -1};

// How long a quit signal waits for start-up to reach the main loop. Start-up takes about a second; one
// not done by then is waiting for something, and ending it where it is loses nothing: every file is
// written atomically, and a process killed outright leaves nothing behind that stops the next start.
constexpr unsigned kStartUpGraceSeconds = 5;

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "used inside signal handlers");
std::atomic<bool> mainLoopRunning{false};
// The first quit signal that came before the main loop ran.
std::atomic<int> quitBeforeMainLoop{0};
// The desktop while it is connected: a quit signal ends its waits at once, even where one holds the main
// loop up and the signal's byte would be read only after it.
std::atomic<korvane::x11::X11Desktop*> connectedDesktop{nullptr};
static_assert(std::atomic<korvane::x11::X11Desktop*>::is_always_lock_free, "used inside signal handlers");

void writeSignalByte(int signo) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
    if (auto* desktop = connectedDesktop.load()) desktop->endWaits();
    int none = 0;
    if (!mainLoopRunning.load() && quitBeforeMainLoop.compare_exchange_strong(none, signo))
        ::alarm(kStartUpGraceSeconds);
    errno = saved;
}

// Start-up did not reach the main loop in time: the quit signal takes its default action after all.
// Once the loop runs, it has the signal's byte and quits by the one road.
void endStuckStartUp(int) {
    const int signo = quitBeforeMainLoop.load();
    if (signo == 0 || mainLoopRunning.load()) return;
    constexpr char kNote[] = "korvane: start-up did not finish; quitting at once\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, kNote, sizeof kNote - 1);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signo, &action, nullptr);
    ::raise(signo);
}

// Handlers, unlike a blocked mask, do not pass to the applications the program starts: they are reset
// on exec.
bool routeQuitSignalsToPipe() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = writeSignalByte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    struct sigaction timeout {};
    timeout.sa_handler = endStuckStartUp;
    sigemptyset(&timeout.sa_mask);
    timeout.sa_flags = SA_RESTART;
    return ::sigaction(SIGALRM, &timeout, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0;
}

// The application while its main loop runs, and whether its shut-down has run.
AppDelegate* running = nullptr;
bool shutDown = false;

void shutDownOnce() {
    if (shutDown || !running) return;
    shutDown = true;
    running->applicationWillTerminate();
}

// Without its server there is nothing left to take down in order (Qt's windows, the backend's
// connection): what is remembered is saved and the process ends at once, past the teardown.
[[noreturn]] void saveAndExitAfterLosingTheServer() {
    shutDownOnce();
    std::fflush(nullptr);
    std::_Exit(kConnectionLostStatus);
}

// Registered with atexit while the main loop runs: the only exit() from inside the loop is Qt's own.
void exitingFromTheMainLoop() {
    if (running && !shutDown) saveAndExitAfterLosingTheServer();
}

} // namespace

int main(int argc, char** argv) {
    if (!routeQuitSignalsToPipe()) {
        std::perror("korvane: cannot route SIGTERM and SIGINT");
        return EXIT_FAILURE;
    }
    // Korvane acts on X11 windows through its own connection; its windows go to the same server.
    qputenv("QT_QPA_PLATFORM", "xcb");
    std::string error;
    if (!korvane::x11::X11Desktop::probe("", error)) {
        std::fprintf(stderr, "korvane: %s\n", error.c_str());
        return EXIT_FAILURE;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("Korvane");
    // Closing the permission or settings window must not end a program that has no main window.
    QApplication::setQuitOnLastWindowClosed(false);
    korvane::releaseMemoryAtRest(application);

    // The claim on the display comes before the application object reads or writes its files.
    auto desktop = korvane::x11::X11Desktop::connect("", error, korvane::x11::X11Desktop::Claim::exclusive);
    if (!desktop) {
        std::fprintf(stderr, "korvane: %s\n", error.c_str());
        return EXIT_FAILURE;
    }
    korvane::platform::Platform::setCurrent(desktop.get());
    connectedDesktop = desktop.get();

    int status = EXIT_SUCCESS;
    {
        auto app = AppDelegate::create(*desktop);
        app->terminate = [raw = desktop.get()] {
            raw->endWaits();
            QCoreApplication::exit(EXIT_SUCCESS);
        };
        std::weak_ptr<AppDelegate> weak = app;
        korvane::installPermissionWindow(*korvane::PermissionManager::shared(), *desktop, [weak] {
            if (auto self = weak.lock(); self && self->terminate) self->terminate();
        });
        const korvane::WindowsKeptOnScreens keptOnScreens(desktop->screens(), desktop->notificationCenter());

        QSocketNotifier quitSignals(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&quitSignals, &QSocketNotifier::activated, [weak] {
            unsigned char byte = 0;
            while (::read(signalPipe[0], &byte, 1) > 0) {
            }
            if (auto self = weak.lock(); self && self->terminate) self->terminate();
        });
        auto connectionLost = desktop->notificationCenter().addObserver(
            korvane::platform::kDesktopConnectionLost,
            korvane::platform::NotificationCenter::Delivery::mainQueue,
            [](const std::string&, const nlohmann::json&) { saveAndExitAfterLosingTheServer(); });
        // The application is active while one of its windows has the keyboard.
        QObject::connect(qApp, &QGuiApplication::applicationStateChanged, [weak](Qt::ApplicationState state) {
            if (auto self = weak.lock(); self && state == Qt::ApplicationActive)
                self->applicationDidBecomeActive();
        });

        app->applicationDidFinishLaunching();

        // Qt's X11 platform ends the process with exit(1) as soon as its own connection to the server
        // breaks, which usually comes before the desktop's notice: what is remembered is saved from
        // there as well. Registered now, after start-up has made everything the shut-down uses, so that
        // none of it is torn down before this runs.
        running = app.get();
        std::atexit(exitingFromTheMainLoop);
        // From here a quit signal's byte is read at once; one that came before is read first thing.
        mainLoopRunning = true;
        ::alarm(0);
        status = QApplication::exec();
        shutDownOnce();
        running = nullptr;
    }
    korvane::platform::Platform::setCurrent(nullptr);
    connectedDesktop = nullptr;
    desktop.reset();
    return status;
}

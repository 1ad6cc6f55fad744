// Assembling the real desktop. Construction order is dependency order; destruction stops the
// background threads first, so that no queued block outlives the services it uses, and takes the run
// loop down last, dropping whatever is still queued for the main thread.
#include "platform/x11/X11Desktop.h"

#include "platform/x11/SystemSleepWatcher.h"
#include "platform/x11/X11Accessibility.h"
#include "platform/x11/X11ClientSnapshot.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11EventPump.h"
#include "platform/x11/X11FolderWatcher.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11LoginItems.h"
#include "platform/x11/X11ManagerSelection.h"
#include "platform/x11/X11NotificationCenter.h"
#include "platform/x11/X11Observers.h"
#include "platform/x11/X11ProcessInfo.h"
#include "platform/x11/X11RunLoop.h"
#include "platform/x11/X11Screens.h"
#include "platform/x11/X11Tracker.h"
#include "platform/x11/X11UserDefaults.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/X11Workspace.h"

#include <QCoreApplication>
#include <QThread>

namespace korvane::x11 {

namespace {

// The application object made here when the program has none; shared by the desktops alive at once.
std::shared_ptr<QCoreApplication> sharedApplication() {
    static std::weak_ptr<QCoreApplication> made;
    if (auto app = made.lock()) return app;
    if (QCoreApplication::instance()) return nullptr; // the program's own, which outlives us
    static int argc = 1;
    static char name[] = "korvane";
    static char* argv[] = {name, nullptr};
    auto app = std::make_shared<QCoreApplication>(argc, argv);
    made = app;
    return app;
}

} // namespace

struct X11Desktop::Impl {
    std::shared_ptr<QCoreApplication> application;
    std::unique_ptr<X11RunLoop> loop;
    std::unique_ptr<X11Connection> connection;
    std::unique_ptr<X11ManagerSelection> selection;
    std::unique_ptr<X11NotificationCenter> notifications;
    std::unique_ptr<X11ProcessInfo> process;
    std::unique_ptr<X11LoginItems> loginItems;
    std::unique_ptr<X11UserDefaults> defaults;
    std::unique_ptr<X11FolderWatcher> folders;
    std::unique_ptr<X11Tracker> tracker;
    std::unique_ptr<X11ClientSnapshot> clients;
    std::unique_ptr<X11Screens> screens;
    std::unique_ptr<X11Observers> observers;
    std::unique_ptr<X11Accessibility> accessibility;
    std::unique_ptr<X11WindowServer> windowServer;
    std::unique_ptr<X11Workspace> workspace;
    std::unique_ptr<X11HotKeys> hotKeys;
    std::unique_ptr<X11EventPump> events;
    std::unique_ptr<SystemSleepWatcher> sleep;

    ~Impl() {
        if (loop) loop->stopBackgroundWork();
        sleep.reset();
        events.reset();
        hotKeys.reset();
        workspace.reset();
        windowServer.reset();
        accessibility.reset();
        observers.reset();
        screens.reset();
        clients.reset();
        tracker.reset();
        folders.reset();
        defaults.reset();
        loginItems.reset();
        process.reset();
        notifications.reset();
        selection.reset();
        connection.reset();
        loop.reset();
    }
};

std::unique_ptr<X11Desktop> X11Desktop::connect(const std::string& displayName, std::string& error,
                                                Claim claim) {
    auto impl = std::make_unique<Impl>();
    impl->application = sharedApplication();
    if (QCoreApplication::instance()->thread() != QThread::currentThread()) {
        error = "the desktop must be made on the thread of the Qt application object";
        return nullptr;
    }
    impl->connection = X11Connection::open(displayName, error);
    if (!impl->connection) return nullptr;
    if (claim == Claim::exclusive) {
        // No component exists yet to miss the events that taking the selection reads past.
        impl->selection = X11ManagerSelection::take(*impl->connection, error);
        if (!impl->selection) return nullptr;
    }

    impl->loop = std::make_unique<X11RunLoop>();
    impl->notifications = std::make_unique<X11NotificationCenter>(*impl->loop);
    impl->process = std::make_unique<X11ProcessInfo>();
    impl->loginItems = std::make_unique<X11LoginItems>(*impl->process);
    impl->defaults = std::make_unique<X11UserDefaults>(X11UserDefaults::applicationSupportFolder());
    impl->folders = std::make_unique<X11FolderWatcher>(*impl->loop);
    impl->tracker = std::make_unique<X11Tracker>(*impl->connection, *impl->loop);
    impl->clients = std::make_unique<X11ClientSnapshot>(*impl->connection, *impl->loop);
    impl->screens = std::make_unique<X11Screens>(*impl->connection, *impl->loop, *impl->notifications);
    Impl* raw = impl.get();
    impl->observers = std::make_unique<X11Observers>(
        *impl->loop, [raw](const platform::AXElement& e) { return raw->accessibility->validate(e); });
    impl->accessibility = std::make_unique<X11Accessibility>(*impl->connection, *impl->clients, *impl->loop,
                                                             *impl->observers, *impl->screens);
    impl->windowServer =
        std::make_unique<X11WindowServer>(*impl->clients, *impl->screens, *impl->accessibility);
    impl->workspace =
        std::make_unique<X11Workspace>(*impl->connection, *impl->clients, *impl->loop, *impl->notifications);
    impl->accessibility->applicationName = [raw](pid_t pid) -> std::optional<std::string> {
        auto app = raw->workspace->runningApplication(pid);
        return app ? app->name : std::nullopt;
    };
    impl->tracker->addListener(impl->observers.get());
    impl->tracker->addListener(impl->workspace.get());
    impl->tracker->addListener(impl->screens.get());

    impl->hotKeys = std::make_unique<X11HotKeys>(*impl->connection, *impl->loop, impl->screens.get());
    impl->events = std::make_unique<X11EventPump>(*impl->connection, *impl->loop, *impl->notifications);
    impl->sleep = std::make_unique<SystemSleepWatcher>(*impl->notifications);
    return std::unique_ptr<X11Desktop>(new X11Desktop(std::move(impl)));
}

bool X11Desktop::probe(const std::string& displayName, std::string& error) {
    return X11Connection::open(displayName, error) != nullptr;
}

X11Desktop::X11Desktop(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

X11Desktop::~X11Desktop() = default;

void X11Desktop::endWaits() noexcept {
    if (impl_->accessibility) impl_->accessibility->endWaits();
}

platform::RunLoop& X11Desktop::runLoop() {
    return *impl_->loop;
}
platform::Accessibility& X11Desktop::accessibility() {
    return *impl_->accessibility;
}
platform::WindowServer& X11Desktop::windowServer() {
    return *impl_->windowServer;
}
platform::Screens& X11Desktop::screens() {
    return *impl_->screens;
}
platform::Workspace& X11Desktop::workspace() {
    return *impl_->workspace;
}
platform::UserDefaults& X11Desktop::userDefaults() {
    return *impl_->defaults;
}
platform::NotificationCenter& X11Desktop::notificationCenter() {
    return *impl_->notifications;
}
platform::FolderWatcher& X11Desktop::folderWatcher() {
    return *impl_->folders;
}
platform::ProcessInfo& X11Desktop::processInfo() {
    return *impl_->process;
}
platform::LoginItems& X11Desktop::loginItems() {
    return *impl_->loginItems;
}
platform::HotKeys& X11Desktop::hotKeys() {
    return *impl_->hotKeys;
}

bool X11Desktop::runUntil(const std::function<bool()>& done, Nanos timeout) {
    return impl_->loop->runUntil(done, timeout);
}

X11Desktop::Traffic X11Desktop::traffic() const {
    const std::uint64_t reads = impl_->clients->serverReads();
    auto guard = impl_->connection->lock();
    xcb_connection_t* c = impl_->connection->xcb();
    return Traffic{xcb_total_written(c), xcb_total_read(c), reads};
}

} // namespace korvane::x11

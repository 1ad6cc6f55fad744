// The desktop's own connection to the X server: atoms, the lock that serialises its use across threads,
// and the dispatch of its events to the components that registered for them.
#pragma once

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace korvane::platform {
class Logger;
}

namespace korvane::x11 {

class X11PropertyCache;

// Replies and errors xcb hands over are the caller's to free.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

// The backend's own log category.
const platform::Logger& x11Log();

// Atoms beyond the ones xcb-ewmh interns.
struct ExtraAtoms {
    xcb_atom_t WM_STATE = XCB_ATOM_NONE;
    xcb_atom_t WM_CHANGE_STATE = XCB_ATOM_NONE;
    xcb_atom_t WM_TAKE_FOCUS = XCB_ATOM_NONE;
    xcb_atom_t COMPOUND_TEXT = XCB_ATOM_NONE;
    xcb_atom_t EDID = XCB_ATOM_NONE;
    // The program's parking mark on a client window: the frame (root x, y, width, height; INTEGER) the
    // window had when it was marked, then 1 when the window was maximised before it was parked.
    xcb_atom_t KORVANE_PARKED = XCB_ATOM_NONE;
};

// A property's raw value: its type, format (8, 16, 32) and bytes.
struct PropertyValue {
    xcb_atom_t type = XCB_ATOM_NONE;
    std::uint8_t format = 0;
    std::vector<std::uint8_t> bytes;

    std::vector<std::uint32_t> words() const; // the value as 32-bit items (format 32 only)
};

class X11Connection {
  public:
    // Nothing, with the reason in `error`, when the server cannot be reached or lacks what is needed.
    static std::unique_ptr<X11Connection> open(const std::string& displayName, std::string& error);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    // Every use of the raw connection happens with this lock held; it may be taken again by the holder.
    [[nodiscard]] std::unique_lock<std::recursive_mutex> lock() const { return std::unique_lock(mutex_); }

    xcb_connection_t* xcb() const { return conn_; }
    // The display as a client would name it in DISPLAY, for the processes the desktop starts.
    const std::string& displayName() const { return displayName_; }
    xcb_window_t root() const { return root_; }
    int screenNumber() const { return screenNumber_; }
    std::uint16_t rootWidth() const { return rootWidth_; }
    std::uint16_t rootHeight() const { return rootHeight_; }
    xcb_ewmh_connection_t& ewmh() const { return *ewmh_; }
    const ExtraAtoms& atoms() const { return atoms_; }
    int fileDescriptor() const;

    // RandR 1.5 monitors are available, and where its events start.
    bool hasMonitors() const { return hasMonitors_; }
    std::uint8_t randrEventBase() const { return randrEventBase_; }
    // The server names the process behind a local client (X-Resource 1.2).
    bool hasClientPids() const { return hasClientPids_; }
    // XInput 2.1 or later, whose raw device events reach a selection on the root even while another
    // client grabs the device; the major opcode its events carry in their `extension` field.
    bool hasXInput2() const { return hasXInput2_; }
    std::uint8_t xinputOpcode() const { return xinputOpcode_; }
    // Adds and removes XInput 2 events (XI event mask bits) in the root window's selection for every
    // master device. The server keeps one such selection per window and device for this connection, each
    // replacing the last: every component selects through here. False when the server refuses.
    bool selectRootXInputEvents(std::uint32_t add, std::uint32_t remove);

    // The server went away or the connection broke; every later request fails.
    bool isBroken() const;

    // Handlers see every event, in the order the server sent them, on the main thread, without the lock
    // held. They update their own state and post to the main queue; they never call subsystem code.
    // Registered on the main thread, outside a dispatch; they stay for the life of the connection.
    using EventHandler = std::function<void(const xcb_generic_event_t& event)>;
    void addEventHandler(EventHandler handler);
    // Called after each batch of events has been handed to the handlers, on the main thread without the
    // lock held: where a handler that only noted what its events announced asks the server about it, once
    // for the whole batch (a title changed a thousand times is read once). `more` tells that events still
    // wait: what they announce may change again before they are handed over, and a round trip now would
    // bring in more of them first. Registered as handlers are.
    using BatchHandler = std::function<void(bool more)>;
    void addBatchHandler(BatchHandler handler);
    // Main thread: hands the handlers one batch of what the connection holds (already queued or waiting on
    // the socket), at most kBatchLimit events, then calls the batch handlers. Whether more events wait:
    // the caller comes back for them once the rest of its loop has had its turn, so that a client sending
    // without pause holds up neither the keys nor anything else the loop serves.
    bool dispatchPending();
    static constexpr std::size_t kBatchLimit = 1024;
    // Any thread: whether an event that `matches` has come and waits for dispatchPending(), which still
    // hands it, in order, to the handlers. Looks at what is queued and at what one read of the socket
    // brings, never waiting for more.
    bool anyPending(const std::function<bool(const xcb_generic_event_t& event)>& matches);

    // One property, read whole; nothing when the window or the property does not exist.
    std::optional<PropertyValue> readProperty(xcb_window_t window, xcb_atom_t property,
                                              xcb_atom_t type = XCB_ATOM_ANY) const;
    xcb_atom_t internAtom(const std::string& name) const;
    // Remembered: an atom names the same thing for the life of the server.
    std::string atomName(xcb_atom_t atom) const;
    void flush() const;

    // What clients' properties said when last read, for fetchClients(); nothing where the cache could
    // not open a connection of its own.
    X11PropertyCache* propertyCache() const { return propertyCache_.get(); }

    // What this program writes that changes the desktop (a client message to the window manager, a
    // property of a client, a mapping) is announced to the write handlers, on the writer's thread, once it
    // is sent. Registered on the main thread before any write; they stay for the life of the connection.
    using WriteHandler = std::function<void()>;
    void addWriteHandler(WriteHandler handler);
    void noteWrite() const;

    // Sends an EWMH-style client message to the root, as pagers and taskbars do. A write.
    void sendRootMessage(xcb_window_t window, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1 = 0,
                         std::uint32_t d2 = 0, std::uint32_t d3 = 0, std::uint32_t d4 = 0) const;

  private:
    X11Connection() = default;

    mutable std::recursive_mutex mutex_;
    xcb_connection_t* conn_ = nullptr;
    std::string displayName_;
    int screenNumber_ = 0;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    std::uint16_t rootWidth_ = 0;
    std::uint16_t rootHeight_ = 0;
    std::unique_ptr<xcb_ewmh_connection_t> ewmh_;
    bool ewmhReady_ = false;
    ExtraAtoms atoms_;
    bool hasMonitors_ = false;
    std::uint8_t randrEventBase_ = 0;
    bool hasClientPids_ = false;
    bool hasXInput2_ = false;
    std::uint8_t xinputOpcode_ = 0;
    std::uint32_t rootXInputMask_ = 0;
    std::vector<EventHandler> handlers_;
    std::vector<BatchHandler> batchHandlers_;
    std::vector<WriteHandler> writeHandlers_;
    // Read off the connection but not handed over yet: by anyPending(), or past the end of a batch.
    std::deque<XcbReply<xcb_generic_event_t>> waiting_;
    mutable std::map<xcb_atom_t, std::string> atomNames_;
    bool reportedBroken_ = false;
    std::unique_ptr<X11PropertyCache> propertyCache_;
};

// Text of a property as valid UTF-8, without trailing NULs: STRING and COMPOUND_TEXT read as Latin-1,
// UTF8_STRING and any other type with each ill-formed sequence replaced by U+FFFD.
std::string decodeText(const PropertyValue& value, const X11Connection& connection);

} // namespace korvane::x11

// The segment is marked for removal as soon as both sides have it mapped, so that the system frees it
// when this process ends, however it ends.
#include "platform/x11/X11ScreenCapture.h"

#include "platform/x11/X11Connection.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>

namespace korvane::x11 {

namespace {

// The root visual must hold its colour in the low 24 bits of a 32-bit pixel, in the machine's byte order,
// so that the segment's words are already the picture's pixels.
bool rootIsPlainTrueColour(xcb_connection_t* c, xcb_window_t root) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const bool lsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    if (lsbFirst != (std::endian::native == std::endian::little)) return false;
    const xcb_screen_t* screen = nullptr;
    for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s))
        if (s.data->root == root) screen = s.data;
    if (!screen) return false;
    bool thirtyTwoBits = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == screen->root_depth) thirtyTwoBits = f.data->bits_per_pixel == 32;
    if (!thirtyTwoBits) return false;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d))
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == screen->root_visual)
                return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == 0xFF0000 &&
                       v.data->green_mask == 0xFF00 && v.data->blue_mask == 0xFF;
    return false;
}

} // namespace

X11ScreenCapture::~X11ScreenCapture() {
    auto guard = connection_.lock();
    releaseSegment();
}

void X11ScreenCapture::releaseSegment() {
    if (!mapped_) return;
    if (!connection_.isBroken()) {
        xcb_shm_detach(connection_.xcb(), segment_);
        xcb_flush(connection_.xcb());
    }
    ::shmdt(mapped_);
    mapped_ = nullptr;
}

bool X11ScreenCapture::makeSegment(std::size_t bytes) {
    xcb_connection_t* c = connection_.xcb();
    const int id = ::shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* mapped = ::shmat(id, nullptr, SHM_RDONLY);
    if (mapped == reinterpret_cast<void*>(-1)) {
        ::shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    const xcb_shm_seg_t segment = xcb_generate_id(c);
    // Writable for the server, which puts the pictures there.
    XcbReply<xcb_generic_error_t> error(xcb_request_check(c, xcb_shm_attach_checked(c, segment, id, 0)));
    ::shmctl(id, IPC_RMID, nullptr);
    if (error) {
        // A server on another machine cannot map this one's memory, now or later.
        ::shmdt(mapped);
        unavailable_ = true;
        return false;
    }
    segment_ = segment;
    mapped_ = mapped;
    return true;
}

bool X11ScreenCapture::capture(
    const std::vector<Area>& areas, const std::function<void()>& taken,
    const std::function<void(std::size_t, const platform::ScreenPictureView&)>& read) {
    struct Band {
        std::size_t area;
        int top, rows;
    };
    std::vector<Band> bands;
    std::size_t largest = 0;
    for (std::size_t i = 0; i < areas.size(); ++i) {
        const Area& a = areas[i];
        if (a.width <= 0 || a.height <= 0 || a.x < 0 || a.y < 0 || a.x + a.width > connection_.rootWidth() ||
            a.y + a.height > connection_.rootHeight())
            return false;
        const std::size_t rowBytes = static_cast<std::size_t>(a.width) * 4;
        const int rows = static_cast<int>(std::max<std::size_t>(1, kBandBytes / rowBytes));
        for (int top = 0; top < a.height; top += rows) {
            bands.push_back({i, top, std::min(rows, a.height - top)});
            largest = std::max(largest, rowBytes * static_cast<std::size_t>(bands.back().rows));
        }
    }
    if (areas.empty()) return true;
    const std::size_t slots = std::min(kBandsInFlight, bands.size());
    // Held until every band is read and the segment let go.
    std::lock_guard segment(mutex_);
    {
        auto guard = connection_.lock();
        if (unavailable_ || connection_.isBroken()) return false;
        xcb_connection_t* c = connection_.xcb();
        const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
        if (!shm || !shm->present || !rootIsPlainTrueColour(c, connection_.root())) {
            unavailable_ = true;
            return false;
        }
        if (!makeSegment(largest * slots)) return false;
    }
    const auto ask = [&](std::size_t b) {
        const Area& a = areas[bands[b].area];
        return xcb_shm_get_image(connection_.xcb(), connection_.root(), static_cast<std::int16_t>(a.x),
                                 static_cast<std::int16_t>(a.y + bands[b].top),
                                 static_cast<std::uint16_t>(a.width),
                                 static_cast<std::uint16_t>(bands[b].rows), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                 segment_, static_cast<std::uint32_t>((b % slots) * largest));
    };
    const auto show = [&](std::size_t b) {
        const Area& a = areas[bands[b].area];
        read(bands[b].area,
             platform::ScreenPictureView{reinterpret_cast<const std::uint32_t*>(
                                             static_cast<const char*>(mapped_) + (b % slots) * largest),
                                         a.width, bands[b].rows, bands[b].top, a.height});
    };
    std::vector<xcb_shm_get_image_cookie_t> cookies(bands.size());
    std::size_t asked = 0, arrived = 0;
    {
        auto guard = connection_.lock();
        for (; asked < slots; ++asked)
            cookies[asked] = ask(asked);
    }
    bool all = true;
    // A band is read as soon as its slot is wanted for a band not yet asked for; the ones left when the last
    // has arrived wait for `taken`.
    for (; arrived < bands.size(); ++arrived) {
        bool took = false;
        {
            auto guard = connection_.lock();
            took = XcbReply<xcb_shm_get_image_reply_t>(
                       xcb_shm_get_image_reply(connection_.xcb(), cookies[arrived], nullptr))
                       .get() != nullptr;
        }
        if (!took) {
            all = false;
            break;
        }
        if (asked == bands.size()) continue;
        show(arrived);
        auto guard = connection_.lock();
        cookies[asked] = ask(asked);
        ++asked;
    }
    if (all) {
        // A reply is the server's word that its band is in the segment: what is mapped from here on is not.
        if (taken) taken();
        for (std::size_t b = bands.size() - std::min(slots, bands.size()); b < bands.size(); ++b)
            show(b);
    } else {
        // The bands asked for after the one that failed still arrive; their replies are let go unread.
        auto guard = connection_.lock();
        for (std::size_t b = arrived + 1; b < asked; ++b)
            xcb_discard_reply(connection_.xcb(), cookies[b].sequence);
    }
    auto guard = connection_.lock();
    releaseSegment();
    return all;
}

} // namespace korvane::x11

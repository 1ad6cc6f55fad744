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
    std::size_t total = 0;
    for (const Area& a : areas) {
        if (a.width <= 0 || a.height <= 0 || a.x < 0 || a.y < 0 || a.x + a.width > connection_.rootWidth() ||
            a.y + a.height > connection_.rootHeight())
            return false;
        total += static_cast<std::size_t>(a.width) * static_cast<std::size_t>(a.height);
    }
    if (areas.empty()) return true;
    // Held until every picture is read and the segment let go.
    std::lock_guard segment(mutex_);
    std::vector<bool> arrived(areas.size(), false);
    std::vector<std::size_t> offsets;
    {
        auto guard = connection_.lock();
        if (unavailable_ || connection_.isBroken()) return false;
        xcb_connection_t* c = connection_.xcb();
        const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
        if (!shm || !shm->present || !rootIsPlainTrueColour(c, connection_.root())) {
            unavailable_ = true;
            return false;
        }
        if (!makeSegment(total * 4)) return false;
        std::vector<xcb_shm_get_image_cookie_t> cookies;
        std::size_t offset = 0;
        for (const Area& a : areas) {
            cookies.push_back(xcb_shm_get_image(
                c, connection_.root(), static_cast<std::int16_t>(a.x), static_cast<std::int16_t>(a.y),
                static_cast<std::uint16_t>(a.width), static_cast<std::uint16_t>(a.height), ~0u,
                XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, static_cast<std::uint32_t>(offset)));
            offsets.push_back(offset);
            offset += static_cast<std::size_t>(a.width) * static_cast<std::size_t>(a.height) * 4;
        }
        for (std::size_t i = 0; i < areas.size(); ++i)
            arrived[i] =
                XcbReply<xcb_shm_get_image_reply_t>(xcb_shm_get_image_reply(c, cookies[i], nullptr)).get() !=
                nullptr;
    }
    const bool all = std::find(arrived.begin(), arrived.end(), false) == arrived.end();
    // A reply is the server's word that the picture is in the segment: what is mapped from here on is not.
    if (all && taken) taken();
    for (std::size_t i = 0; i < areas.size(); ++i)
        if (arrived[i])
            read(i, platform::ScreenPictureView{reinterpret_cast<const std::uint32_t*>(
                                                    static_cast<const char*>(mapped_) + offsets[i]),
                                                areas[i].width, areas[i].height});
    auto guard = connection_.lock();
    releaseSegment();
    return all;
}

} // namespace korvane::x11

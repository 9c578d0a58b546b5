// The desktop suite's Wayland client of KWin, run as the compositor's user
// (KWin offers its input protocol to no other):
//   velunor_test_kwin input     KWin's fake input: "ready" once the seat has
//                               the pointer and keyboard it brings, then one
//                               line of stdin per step (key CODE, press
//                               CODE, release CODE, move DX DY, click), each
//                               answered "done"
//   velunor_test_kwin inhibit   a small window holding an idle inhibitor:
//                               "ready" once it is shown; until SIGTERM
// Exits 1 with a line when the compositor lacks what it needs.
#include "fake-input-client-protocol.h"
#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

struct Client {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    xdg_wm_base* wmBase = nullptr;
    zwp_idle_inhibit_manager_v1* inhibitor = nullptr;
    org_kde_kwin_fake_input* fakeInput = nullptr;
    uint32_t capabilities = 0;
    bool configured = false;
    bool shown = false;
};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    Client& c = *static_cast<Client*>(data);
    auto bind = [&](const wl_interface* which, uint32_t version) { return wl_registry_bind(registry, name, which, version); };
    if (!std::strcmp(interface, wl_compositor_interface.name))
        c.compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 1));
    else if (!std::strcmp(interface, wl_shm_interface.name))
        c.shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    else if (!std::strcmp(interface, wl_seat_interface.name) && !c.seat)
        c.seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 1));
    else if (!std::strcmp(interface, xdg_wm_base_interface.name))
        c.wmBase = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
    else if (!std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name))
        c.inhibitor = static_cast<zwp_idle_inhibit_manager_v1*>(bind(&zwp_idle_inhibit_manager_v1_interface, 1));
    else if (!std::strcmp(interface, org_kde_kwin_fake_input_interface.name))
        c.fakeInput = static_cast<org_kde_kwin_fake_input*>(bind(&org_kde_kwin_fake_input_interface, 4));
}

void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {
    .global = OnGlobal,
    .global_remove = OnGlobalRemove,
};

void OnCapabilities(void* data, wl_seat*, uint32_t capabilities)
{
    static_cast<Client*>(data)->capabilities = capabilities;
}

void OnSeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener kSeatListener = {
    .capabilities = OnCapabilities,
    .name = OnSeatName,
};

void OnPing(void*, xdg_wm_base* base, uint32_t serial)
{
    xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener kWmBaseListener = {
    .ping = OnPing,
};

void OnSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial)
{
    xdg_surface_ack_configure(surface, serial);
    static_cast<Client*>(data)->configured = true;
}

const xdg_surface_listener kSurfaceListener = {
    .configure = OnSurfaceConfigure,
};

void OnToplevelConfigure(void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {}
void OnToplevelClose(void*, xdg_toplevel*) {}
void OnToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
void OnToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}

const xdg_toplevel_listener kToplevelListener = {
    .configure = OnToplevelConfigure,
    .close = OnToplevelClose,
    .configure_bounds = OnToplevelBounds,
    .wm_capabilities = OnToplevelCapabilities,
};

void OnFrameDone(void* data, wl_callback*, uint32_t)
{
    static_cast<Client*>(data)->shown = true;
}

const wl_callback_listener kFrameListener = {
    .done = OnFrameDone,
};

int Fail(const char* what)
{
    std::fprintf(stderr, "velunor_test_kwin: %s\n", what);
    return 1;
}

int Input(wl_display* display, Client& c)
{
    if (!c.fakeInput || !c.seat)
        return Fail("the compositor offers no fake input (run as its user)");
    org_kde_kwin_fake_input_authenticate(c.fakeInput, "velunor tests", "input for the tests");
    constexpr uint32_t kBoth = WL_SEAT_CAPABILITY_POINTER | WL_SEAT_CAPABILITY_KEYBOARD;
    while ((c.capabilities & kBoth) != kBoth) {
        if (wl_display_dispatch(display) < 0)
            return Fail("the compositor went away");
    }
    std::cout << "ready" << std::endl;
    constexpr uint32_t kLeftButton = 0x110;
    std::string line;
    while (std::getline(std::cin, line)) {
        char verb[16] = {};
        int a = 0, b = 0;
        const int fields = std::sscanf(line.c_str(), "%15s %d %d", verb, &a, &b);
        const std::string what = verb;
        if (what == "key" && fields == 2) {
            org_kde_kwin_fake_input_keyboard_key(c.fakeInput, a, WL_KEYBOARD_KEY_STATE_PRESSED);
            org_kde_kwin_fake_input_keyboard_key(c.fakeInput, a, WL_KEYBOARD_KEY_STATE_RELEASED);
        } else if ((what == "press" || what == "release") && fields == 2) {
            org_kde_kwin_fake_input_keyboard_key(c.fakeInput, a,
                                                 what == "press" ? WL_KEYBOARD_KEY_STATE_PRESSED
                                                                 : WL_KEYBOARD_KEY_STATE_RELEASED);
        } else if (what == "move" && fields == 3) {
            org_kde_kwin_fake_input_pointer_motion(c.fakeInput, wl_fixed_from_int(a), wl_fixed_from_int(b));
        } else if (what == "click") {
            org_kde_kwin_fake_input_button(c.fakeInput, kLeftButton, WL_POINTER_BUTTON_STATE_PRESSED);
            org_kde_kwin_fake_input_button(c.fakeInput, kLeftButton, WL_POINTER_BUTTON_STATE_RELEASED);
        } else {
            return Fail(("unknown step: " + line).c_str());
        }
        if (wl_display_roundtrip(display) < 0)
            return Fail("the compositor went away");
        std::cout << "done" << std::endl;
    }
    return 0;
}

int Inhibit(wl_display* display, Client& c)
{
    if (!c.compositor || !c.shm || !c.wmBase || !c.inhibitor)
        return Fail("the compositor offers no idle inhibitor or window");
    constexpr int kSide = 64;
    const int size = kSide * kSide * 4;
    const int fd = memfd_create("velunor-test", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0)
        return Fail("no memory for a buffer");
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED)
        return Fail("no memory for a buffer");
    std::memset(pixels, 0x80, size);
    wl_shm_pool* pool = wl_shm_create_pool(c.shm, fd, size);
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, kSide, kSide, kSide * 4, WL_SHM_FORMAT_XRGB8888);
    xdg_wm_base_add_listener(c.wmBase, &kWmBaseListener, &c);
    wl_surface* surface = wl_compositor_create_surface(c.compositor);
    xdg_surface* role = xdg_wm_base_get_xdg_surface(c.wmBase, surface);
    xdg_surface_add_listener(role, &kSurfaceListener, &c);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(role);
    xdg_toplevel_add_listener(toplevel, &kToplevelListener, &c);
    xdg_toplevel_set_title(toplevel, "velunor test inhibitor");
    zwp_idle_inhibit_manager_v1_create_inhibitor(c.inhibitor, surface);
    wl_surface_commit(surface);
    while (!c.configured) {
        if (wl_display_dispatch(display) < 0)
            return Fail("the compositor went away");
    }
    wl_surface_attach(surface, buffer, 0, 0);
    wl_callback_add_listener(wl_surface_frame(surface), &kFrameListener, &c);
    wl_surface_commit(surface);
    while (!c.shown) {
        if (wl_display_dispatch(display) < 0)
            return Fail("the compositor went away");
    }
    std::cout << "ready" << std::endl;
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string what = argc == 2 ? argv[1] : "";
    if (what != "input" && what != "inhibit") {
        std::fputs("usage: velunor_test_kwin input | inhibit\n", stderr);
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return Fail("no Wayland compositor");
    Client c;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &c);
    wl_display_roundtrip(display);
    if (c.seat)
        wl_seat_add_listener(c.seat, &kSeatListener, &c);
    wl_display_roundtrip(display);
    return what == "input" ? Input(display, c) : Inhibit(display, c);
}

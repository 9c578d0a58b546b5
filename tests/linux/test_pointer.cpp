// The Wayland suite's pointer: a virtual pointer on the compositor's seat
// (the wlroots virtual-pointer protocol) that runs the steps it is given,
// each a frame of its own:
//   velunor_test_pointer STEP...
//   wait MS           pause (the seat's new pointer reaching the clients)
//   to X Y W H        to X,Y of a layout W x H wide and high
//   move DX DY        by DX,DY
//   click             the left button pressed and released
//   scroll N          the vertical wheel by N
// Exits 1 with a line when the compositor offers no virtual pointer.
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* manager = nullptr;
};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    Globals& globals = *static_cast<Globals*>(data);
    if (!std::strcmp(interface, wl_seat_interface.name) && !globals.seat)
        globals.seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (!std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name))
        globals.manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}

void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {
    .global = OnGlobal,
    .global_remove = OnGlobalRemove,
};

uint32_t NowMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

int Usage()
{
    std::fputs("usage: velunor_test_pointer [wait MS | to X Y W H | move DX DY | click | scroll N]...\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fputs("velunor_test_pointer: no Wayland compositor\n", stderr);
        return 1;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.manager) {
        std::fputs("velunor_test_pointer: the compositor offers no virtual pointer\n", stderr);
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.manager,
                                                                                              globals.seat);
    wl_display_roundtrip(display);
    constexpr uint32_t kLeftButton = 0x110;
    int status = 0;
    for (int a = 1; a < argc && status == 0; ++a) {
        const std::string step = argv[a];
        auto number = [&](int k) { return a + k < argc ? std::atoi(argv[a + k]) : 0; };
        if (step == "wait" && a + 1 < argc) {
            const int ms = number(1);
            const timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
            nanosleep(&pause, nullptr);
            a += 1;
            continue;
        }
        if (step == "to" && a + 4 < argc) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, NowMs(), number(1), number(2), number(3), number(4));
            a += 4;
        } else if (step == "move" && a + 2 < argc) {
            zwlr_virtual_pointer_v1_motion(pointer, NowMs(), wl_fixed_from_int(number(1)), wl_fixed_from_int(number(2)));
            a += 2;
        } else if (step == "click") {
            zwlr_virtual_pointer_v1_button(pointer, NowMs(), kLeftButton, WL_POINTER_BUTTON_STATE_PRESSED);
            zwlr_virtual_pointer_v1_frame(pointer);
            zwlr_virtual_pointer_v1_button(pointer, NowMs(), kLeftButton, WL_POINTER_BUTTON_STATE_RELEASED);
        } else if (step == "scroll" && a + 1 < argc) {
            zwlr_virtual_pointer_v1_axis(pointer, NowMs(), WL_POINTER_AXIS_VERTICAL_SCROLL, wl_fixed_from_int(number(1)));
            a += 1;
        } else {
            status = Usage();
            break;
        }
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(globals.manager);
    if (globals.seat)
        wl_seat_destroy(globals.seat);
    wl_registry_destroy(registry);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return status;
}

#include "wayland/Seat.h"

#include <wayland-client.h>

#include <unistd.h>

#include <vector>

namespace {

CSeat& Of(void* data)
{
    return *static_cast<CSeat*>(data);
}

} // namespace

// The events the show ignores get empty handlers, not empty slots.
const wl_seat_listener CSeat::kSeatListener = {
    .capabilities = OnCapabilities,
    .name = OnSeatName,
};

const wl_keyboard_listener CSeat::kKeyboardListener = {
    .keymap = OnKeymap,
    .enter = OnKeyboardEnter,
    .leave = OnKeyboardLeave,
    .key = OnKey,
    .modifiers = OnModifiers,
    .repeat_info = OnRepeatInfo,
};

const wl_pointer_listener CSeat::kPointerListener = {
    .enter = OnPointerEnter,
    .leave = OnPointerLeave,
    .motion = OnMotion,
    .button = OnButton,
    .axis = OnAxis,
    .frame = OnFrame,
    .axis_source = OnAxisSource,
    .axis_stop = OnAxisStop,
    .axis_discrete = OnAxisDiscrete,
    .axis_value120 = OnAxisValue120,
};

void CSeat::OnCapabilities(void* data, wl_seat*, uint32_t capabilities)
{
    Of(data).TakeDevices(capabilities);
}

void CSeat::OnSeatName(void*, wl_seat*, const char*) {}

void CSeat::OnKeymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t)
{
    close(fd);
}

void CSeat::OnKeyboardEnter(void* data, wl_keyboard*, uint32_t, wl_surface*, wl_array* keys)
{
    std::vector<uint32_t> held(static_cast<const uint32_t*>(keys->data),
                               static_cast<const uint32_t*>(keys->data) + keys->size / sizeof(uint32_t));
    CSeat& seat = Of(data);
    seat.m_rule.KeyboardEntered(held);
    seat.m_bFocus = true;
    seat.m_bHadFocus = true;
}

void CSeat::OnKeyboardLeave(void* data, wl_keyboard*, uint32_t, wl_surface*)
{
    Of(data).m_bFocus = false;
}

void CSeat::OnKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state)
{
    CSeat& seat = Of(data);
    seat.Ends(seat.m_rule.Key(key, state == WL_KEYBOARD_KEY_STATE_PRESSED));
}

void CSeat::OnModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}

void CSeat::OnRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

void CSeat::OnPointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface*, wl_fixed_t x, wl_fixed_t y)
{
    wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
    Of(data).m_rule.PointerEntered(wl_fixed_to_int(x), wl_fixed_to_int(y));
}

void CSeat::OnPointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}

void CSeat::OnMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y)
{
    CSeat& seat = Of(data);
    seat.Ends(seat.m_rule.PointerMoved(wl_fixed_to_int(x), wl_fixed_to_int(y)));
}

void CSeat::OnButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state)
{
    CSeat& seat = Of(data);
    seat.Ends(seat.m_rule.Button(state == WL_POINTER_BUTTON_STATE_PRESSED));
}

void CSeat::OnAxis(void* data, wl_pointer*, uint32_t, uint32_t, wl_fixed_t value)
{
    CSeat& seat = Of(data);
    seat.Ends(seat.m_rule.Scrolled(wl_fixed_to_double(value)));
}

void CSeat::OnFrame(void*, wl_pointer*) {}

void CSeat::OnAxisSource(void*, wl_pointer*, uint32_t) {}

void CSeat::OnAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}

void CSeat::OnAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}

void CSeat::OnAxisValue120(void*, wl_pointer*, uint32_t, int32_t) {}

CSeat::CSeat(wl_seat* seat, uint32_t globalName, bool& ended) : m_seat(seat), m_nGlobal(globalName), m_bEnded(ended)
{
    wl_seat_add_listener(m_seat, &kSeatListener, this);
}

CSeat::~CSeat()
{
    ReleaseKeyboard();
    ReleasePointer();
    if (wl_seat_get_version(m_seat) >= WL_SEAT_RELEASE_SINCE_VERSION)
        wl_seat_release(m_seat);
    else
        wl_seat_destroy(m_seat);
}

void CSeat::TakeDevices(uint32_t capabilities)
{
    const bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    const bool pointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    if (keyboard && !m_keyboard) {
        m_keyboard = wl_seat_get_keyboard(m_seat);
        wl_keyboard_add_listener(m_keyboard, &kKeyboardListener, this);
    } else if (!keyboard) {
        ReleaseKeyboard();
    }
    if (pointer && !m_pointer) {
        m_pointer = wl_seat_get_pointer(m_seat);
        wl_pointer_add_listener(m_pointer, &kPointerListener, this);
    } else if (!pointer) {
        ReleasePointer();
    }
}

void CSeat::ReleaseKeyboard()
{
    if (!m_keyboard)
        return;
    m_bFocus = false;
    m_bHadFocus = false;
    if (wl_keyboard_get_version(m_keyboard) >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
        wl_keyboard_release(m_keyboard);
    else
        wl_keyboard_destroy(m_keyboard);
    m_keyboard = nullptr;
}

void CSeat::ReleasePointer()
{
    if (!m_pointer)
        return;
    if (wl_pointer_get_version(m_pointer) >= WL_POINTER_RELEASE_SINCE_VERSION)
        wl_pointer_release(m_pointer);
    else
        wl_pointer_destroy(m_pointer);
    m_pointer = nullptr;
}

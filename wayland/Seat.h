// A seat's keyboard and pointer over the show's surfaces, judged by the
// shared rule of which input ends the show (show/InputRule.h). Every event
// of both has its handler: libwayland ends a client that gets an event it
// has none for. The pointer is hidden over the show.
#pragma once

#include "show/InputRule.h"

#include <wayland-util.h>

#include <cstdint>

struct wl_keyboard;
struct wl_keyboard_listener;
struct wl_pointer;
struct wl_pointer_listener;
struct wl_seat;
struct wl_seat_listener;
struct wl_surface;

class CSeat {
public:
    // `ended` is set once an input ends the show.
    CSeat(wl_seat* seat, uint32_t globalName, bool& ended);
    ~CSeat();
    CSeat(const CSeat&) = delete;
    CSeat& operator=(const CSeat&) = delete;

    uint32_t GlobalName() const { return m_nGlobal; }
    // The keyboard was on one of the show's surfaces and is on none now.
    bool FocusTaken() const { return m_bHadFocus && !m_bFocus; }

private:
    static const wl_seat_listener kSeatListener;
    static const wl_keyboard_listener kKeyboardListener;
    static const wl_pointer_listener kPointerListener;
    static void OnCapabilities(void* data, wl_seat* seat, uint32_t capabilities);
    static void OnSeatName(void* data, wl_seat* seat, const char* name);
    static void OnKeymap(void* data, wl_keyboard* keyboard, uint32_t format, int32_t fd, uint32_t size);
    static void OnKeyboardEnter(void* data, wl_keyboard* keyboard, uint32_t serial, wl_surface* surface,
                                wl_array* keys);
    static void OnKeyboardLeave(void* data, wl_keyboard* keyboard, uint32_t serial, wl_surface* surface);
    static void OnKey(void* data, wl_keyboard* keyboard, uint32_t serial, uint32_t time, uint32_t key,
                      uint32_t state);
    static void OnModifiers(void* data, wl_keyboard* keyboard, uint32_t serial, uint32_t depressed,
                            uint32_t latched, uint32_t locked, uint32_t group);
    static void OnRepeatInfo(void* data, wl_keyboard* keyboard, int32_t rate, int32_t delay);
    static void OnPointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface, wl_fixed_t x,
                               wl_fixed_t y);
    static void OnPointerLeave(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface);
    static void OnMotion(void* data, wl_pointer* pointer, uint32_t time, wl_fixed_t x, wl_fixed_t y);
    static void OnButton(void* data, wl_pointer* pointer, uint32_t serial, uint32_t time, uint32_t button,
                         uint32_t state);
    static void OnAxis(void* data, wl_pointer* pointer, uint32_t time, uint32_t axis, wl_fixed_t value);
    static void OnFrame(void* data, wl_pointer* pointer);
    static void OnAxisSource(void* data, wl_pointer* pointer, uint32_t source);
    static void OnAxisStop(void* data, wl_pointer* pointer, uint32_t time, uint32_t axis);
    static void OnAxisDiscrete(void* data, wl_pointer* pointer, uint32_t axis, int32_t discrete);
    static void OnAxisValue120(void* data, wl_pointer* pointer, uint32_t axis, int32_t value120);

    void TakeDevices(uint32_t capabilities);
    void Ends(bool ends)
    {
        if (ends)
            m_bEnded = true;
    }
    void ReleaseKeyboard();
    void ReleasePointer();

    wl_seat* m_seat;
    uint32_t m_nGlobal;
    bool& m_bEnded;
    wl_keyboard* m_keyboard = nullptr;
    wl_pointer* m_pointer = nullptr;
    CInputRule m_rule;
    bool m_bFocus = false; // the keyboard is on one of the show's surfaces
    bool m_bHadFocus = false;
};

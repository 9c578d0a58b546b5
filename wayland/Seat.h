// A seat's keyboard and pointer over the show's surfaces, judged by the
// shared rule of which input ends the show (show/InputRule.h). Every event
// of both has its handler: libwayland ends a client that gets an event it
// has none for. The pointer is hidden over the show.
#pragma once

#include "show/InputRule.h"

#include <cstdint>

struct wl_keyboard;
struct wl_keyboard_listener;
struct wl_pointer;
struct wl_pointer_listener;
struct wl_seat;
struct wl_seat_listener;

class CSeat {
public:
    // `ended` is set once an input ends the show.
    CSeat(wl_seat* seat, uint32_t globalName, bool& ended);
    ~CSeat();
    CSeat(const CSeat&) = delete;
    CSeat& operator=(const CSeat&) = delete;

    uint32_t GlobalName() const { return m_nGlobal; }

private:
    static const wl_seat_listener kSeatListener;
    static const wl_keyboard_listener kKeyboardListener;
    static const wl_pointer_listener kPointerListener;

    void OnCapabilities(uint32_t capabilities);
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
};

// Which input ends the show, for every front end that gets the input
// itself (on X11 the screen-saver daemon decides): a key press, a pointer
// button, a scroll, or the pointer moved away from where it first was.
// Keys already held when the keyboard arrives, a key's release, and the
// pointer merely arriving over the show do not. Platform-free, so that it
// is tested natively.
#pragma once

#include <cstdint>
#include <vector>

class CInputRule {
public:
    // The keyboard came to the show with `held` keys down (the key that
    // started the program, or a combination still held).
    void KeyboardEntered(const std::vector<uint32_t>& held);
    // Each returns true when the input ends the show.
    bool Key(uint32_t key, bool pressed);
    // The pointer came over a surface of the show at (x, y), in whole
    // pixels of that surface: where it is, not a move.
    void PointerEntered(int x, int y);
    bool PointerMoved(int x, int y);
    bool Button(bool pressed);
    bool Scrolled(double amount);

private:
    std::vector<uint32_t> m_held;
    bool m_bPlaced = false;
    int m_x = 0;
    int m_y = 0;
};

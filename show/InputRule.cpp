#include "show/InputRule.h"

#include <algorithm>

void CInputRule::KeyboardEntered(const std::vector<uint32_t>& held)
{
    m_held = held;
}

bool CInputRule::Key(uint32_t key, bool pressed)
{
    const auto it = std::find(m_held.begin(), m_held.end(), key);
    if (!pressed) {
        if (it != m_held.end())
            m_held.erase(it);
        return false;
    }
    // A key the keyboard came with is not pressed anew by a second report.
    return it == m_held.end();
}

void CInputRule::PointerEntered(int x, int y)
{
    m_bPlaced = true;
    m_x = x;
    m_y = y;
}

bool CInputRule::PointerMoved(int x, int y)
{
    if (!m_bPlaced) {
        PointerEntered(x, y);
        return false;
    }
    return x != m_x || y != m_y;
}

bool CInputRule::Button(bool pressed)
{
    return pressed;
}

bool CInputRule::Scrolled(double amount)
{
    return amount != 0.0;
}

#include "linux/FrameDamage.h"

#include <algorithm>
#include <cstdint>

void DamageRects(const ripple::Span* rows, const ripple::Target& image, int most, std::vector<DamageRect>& out)
{
    out.clear();
    const int height = image.height;
    const auto line = [&](int y) -> const ripple::Span& { return rows[image.RowAtLine(y)]; };
    int y = 0;
    while (y < height) {
        const ripple::Span& top = line(y);
        if (top.Empty()) {
            ++y;
            continue;
        }
        DamageRect r;
        r.x = top.first;
        r.y = y;
        int end = top.end;
        int64_t covered = end - r.x;
        for (++y; y < height && !line(y).Empty(); ++y) {
            const ripple::Span& span = line(y);
            const int x0 = std::min(r.x, span.first), x1 = std::max(end, span.end);
            const int64_t need = covered + (span.end - span.first);
            const int64_t area = static_cast<int64_t>(x1 - x0) * (y - r.y + 1);
            if ((area - need) * 4 > need)
                break;
            r.x = x0;
            end = x1;
            covered = need;
        }
        r.width = end - r.x;
        r.height = y - r.y;
        out.push_back(r);
    }
    most = std::max(most, 1);
    if (static_cast<int>(out.size()) <= most)
        return;
    // Too many for the requests they cost: runs of neighbours merged.
    const size_t group = (out.size() + static_cast<size_t>(most) - 1) / static_cast<size_t>(most);
    size_t kept = 0;
    for (size_t i = 0; i < out.size(); i += group) {
        const size_t last = std::min(out.size(), i + group) - 1;
        DamageRect m = out[i];
        int x1 = m.x + m.width;
        for (size_t k = i + 1; k <= last; ++k) {
            m.x = std::min(m.x, out[k].x);
            x1 = std::max(x1, out[k].x + out[k].width);
        }
        m.width = x1 - m.x;
        m.height = out[last].y + out[last].height - m.y;
        out[kept++] = m;
    }
    out.resize(kept);
}

void CRowDamage::Reset(int height, int width, bool all)
{
    m_rows.assign(static_cast<size_t>(std::max(height, 0)), all ? ripple::Span{0, width} : ripple::Span());
    m_bAny = all && height > 0 && width > 0;
}

void CRowDamage::Add(const ripple::Span* rows)
{
    for (size_t y = 0; y < m_rows.size(); ++y) {
        if (!rows[y].Empty()) {
            m_rows[y].Add(rows[y]);
            m_bAny = true;
        }
    }
}

void CRowDamage::Clear()
{
    std::fill(m_rows.begin(), m_rows.end(), ripple::Span());
    m_bAny = false;
}

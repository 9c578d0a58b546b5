// Draws the default picture of the show: the floor of a pool, laid with
// small glazed tiles in grout, a key-pattern frieze at the top and bottom
// and an eight-pointed star medallion in the centre, where the drops fall.
// Straight grout lines and strong colours are what the ripples bend best.
// Writes a binary PPM (P6); make-picture.sh turns it into the JPEG.
//
// Only integer hashing, + - * / and sqrt are used, so the pixels are the
// same on every compiler and C library.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kCell = 20;   // one tile with its grout, in pixels
constexpr int kGroutWidth = 3;
constexpr int kCols = kWidth / kCell;   // 96
constexpr int kRows = kHeight / kCell;  // 54

struct Rgb {
    double r, g, b;
};

constexpr Rgb kNavy{22, 38, 96};
constexpr Rgb kIvory{236, 232, 214};
constexpr Rgb kGold{232, 172, 38};
constexpr Rgb kOrange{214, 96, 28};
constexpr Rgb kRed{196, 34, 40};
constexpr Rgb kYellow{250, 226, 110};
constexpr Rgb kDeepBlue{24, 74, 160};
constexpr Rgb kGroutColour{198, 194, 178};

std::uint32_t Hash(std::uint32_t a, std::uint32_t b, std::uint32_t salt)
{
    std::uint64_t z = (static_cast<std::uint64_t>(a) << 32 | b) + 0x9E3779B97F4A7C15ull * (salt + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>(z ^ (z >> 31));
}

// A value in [-1, 1) from a hash.
double Jitter(std::uint32_t h) { return (h & 0xFFFF) / 32768.0 - 1.0; }

// One period of the frieze: a running key, ivory on navy.
bool KeyPattern(int col, int row)
{
    static const char* const rows[5] = {
        "#####.",
        "#...#.",
        "#.###.",
        "#.#...",
        "#.####",
    };
    return rows[row][col % 6] == '#';
}

// The pool water's colours for the plain field, mixed tile by tile.
Rgb FieldColour(int col, int row)
{
    static const Rgb shades[] = {{32, 164, 196}, {44, 182, 210}, {22, 140, 182}, {70, 196, 214}, {26, 110, 172}};
    std::uint32_t h = Hash(static_cast<std::uint32_t>(col), static_cast<std::uint32_t>(row), 1) % 100;
    return shades[h < 30 ? 0 : h < 55 ? 1 : h < 78 ? 2 : h < 92 ? 3 : 4];
}

// The medallion, in cell units around the picture's centre.
bool Medallion(double x, double y, Rgb& colour)
{
    const double radius = 19.6;
    double r = std::sqrt(x * x + y * y);
    if (r > radius)
        return false;
    if (r > radius - 1.25) {
        colour = kNavy;
        return true;
    }
    if (r > radius - 2.5) {
        colour = kIvory;
        return true;
    }
    if (r < 2.6) {
        colour = kYellow;
        return true;
    }
    if (r < 4.6) {
        colour = kRed;
        return true;
    }

    // Fold the plane into the sector between a tip (angle 0) and the next
    // valley (22.5 degrees), counting reflections to tell the star's two
    // facets apart.
    bool flip = false;
    double ax = x, ay = y;
    if (ax < 0) { ax = -ax; flip = !flip; }
    if (ay < 0) { ay = -ay; flip = !flip; }
    if (ay > ax) { double t = ax; ax = ay; ay = t; flip = !flip; }
    const double c45 = std::sqrt(0.5);
    const double c22 = std::sqrt((1.0 + c45) / 2.0), s22 = std::sqrt((1.0 - c45) / 2.0);
    if (ay * c22 > ax * s22) {
        // Reflect across the 22.5 degree line: (x, y) -> (x cos45 + y sin45, x sin45 - y cos45).
        double rx = ax * c45 + ay * c45, ry = ax * c45 - ay * c45;
        ax = rx;
        ay = ry;
        flip = !flip;
    }
    const double tip = radius - 3.4, valley = tip * 0.46;
    double vx = valley * c22, vy = valley * s22;
    // Inside when on the origin's side of the edge from the tip to the valley.
    double side = (vx - tip) * ay - vy * (ax - tip);
    if (side >= 0.0) {
        colour = flip ? kGold : kOrange;
        return true;
    }
    colour = kDeepBlue;
    return true;
}

Rgb CellColour(int col, int row)
{
    const int lastCol = kCols - 1, lastRow = kRows - 1;
    if (row == 0 || row == lastRow || col == 0 || col == lastCol)
        return kNavy;
    if (row <= 5)
        return KeyPattern(col - 1, row - 1) ? kIvory : kNavy;
    if (row >= lastRow - 5)
        return KeyPattern(lastCol - 1 - col, lastRow - 1 - row) ? kIvory : kNavy;
    if (row == 6 || row == lastRow - 6)
        return kGold;
    if (col <= 2 || col >= lastCol - 2)
        return kNavy;
    if (col == 3 || col == lastCol - 3)
        return kGold;
    Rgb c;
    if (Medallion(col + 0.5 - kCols / 2.0, row + 0.5 - kRows / 2.0, c))
        return c;
    return FieldColour(col, row);
}

std::uint8_t ToByte(double v)
{
    v = v < 0.0 ? 0.0 : (v > 255.0 ? 255.0 : v);
    return static_cast<std::uint8_t>(v + 0.5);
}

Rgb Scale(const Rgb& c, double f) { return {c.r * f, c.g * f, c.b * f}; }

Rgb Pixel(int x, int y)
{
    int col = x / kCell, row = y / kCell;
    int tx = x % kCell - 1, ty = y % kCell - 1;  // the grout surrounds each tile
    const int tile = kCell - kGroutWidth;
    std::uint32_t noise = Hash(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 7);
    Rgb c;
    if (tx < 0 || ty < 0 || tx >= tile || ty >= tile) {
        c = Scale(kGroutColour, 1.0 + 0.03 * Jitter(noise));
        // Shade the grout just below and right of a tile, as the glaze stands proud.
        if (tx == tile || ty == tile)
            c = Scale(c, 0.72);
    } else {
        c = CellColour(col, row);
        double f = 1.0 + 0.05 * Jitter(Hash(static_cast<std::uint32_t>(col), static_cast<std::uint32_t>(row), 3));
        if (tx < 2 || ty < 2)
            f *= 1.16;
        else if (tx >= tile - 2 || ty >= tile - 2)
            f *= 0.8;
        f *= 1.07 - 0.12 * ty / tile;
        f += 0.012 * Jitter(noise);
        c = Scale(c, f);
    }
    // Deeper water darkens and greens the corners.
    double dx = (x + 0.5) / kWidth * 2.0 - 1.0, dy = (y + 0.5) / kHeight * 2.0 - 1.0;
    double depth = 0.16 * (dx * dx + dy * dy);
    c = Scale(c, 1.0 - depth);
    const Rgb water{0, 70, 100};
    double tint = 0.05 + depth * 0.4;
    return {c.r + (water.r - c.r) * tint, c.g + (water.g - c.g) * tint, c.b + (water.b - c.b) * tint};
}

}  // namespace

int main(int argc, char** argv)
{
    std::FILE* out = argc > 1 ? std::fopen(argv[1], "wb") : stdout;
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out, "P6\n%d %d\n255\n", kWidth, kHeight);
    std::vector<std::uint8_t> line(static_cast<std::size_t>(kWidth) * 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            Rgb c = Pixel(x, y);
            line[static_cast<std::size_t>(x) * 3] = ToByte(c.r);
            line[static_cast<std::size_t>(x) * 3 + 1] = ToByte(c.g);
            line[static_cast<std::size_t>(x) * 3 + 2] = ToByte(c.b);
        }
        std::fwrite(line.data(), 1, line.size(), out);
    }
    bool ok = !std::ferror(out);
    if (out != stdout)
        ok = std::fclose(out) == 0 && ok;
    return ok ? 0 : 1;
}

// Vector drawings of the resource images, sampled 8 x 8 times per pixel.
// Only + - * / and sqrt are used: IEEE makes those exact to the last bit, so
// the files come out the same on every compiler and C library.
#include "tools/resgen/ResourceArt.h"

#include <cmath>

namespace {

struct Rgba {
    double r, g, b, a;
};

double Clamp01(double x) { return x < 0.0 ? 0.0 : (x > 1.0 ? 1.0 : x); }

std::uint8_t ToByte(double x) { return static_cast<std::uint8_t>(Clamp01(x) * 255.0 + 0.5); }

Rgba Mix(const Rgba& a, const Rgba& b, double t)
{
    t = Clamp01(t);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Rgba Colour(int r, int g, int b, double a = 1.0) { return {r / 255.0, g / 255.0, b / 255.0, a}; }

// Straight-alpha "over": paint src with the given coverage onto dst.
void Over(Rgba& dst, const Rgba& src, double coverage)
{
    double sa = src.a * Clamp01(coverage);
    if (sa <= 0.0)
        return;
    double oa = sa + dst.a * (1.0 - sa);
    dst.r = (src.r * sa + dst.r * dst.a * (1.0 - sa)) / oa;
    dst.g = (src.g * sa + dst.g * dst.a * (1.0 - sa)) / oa;
    dst.b = (src.b * sa + dst.b * dst.a * (1.0 - sa)) / oa;
    dst.a = oa;
}

// Approximate signed distance to an axis-aligned ellipse (negative inside).
double EllipseDistance(double x, double y, double cx, double cy, double rx, double ry)
{
    double dx = x - cx, dy = y - cy;
    double q = std::sqrt(dx * dx / (rx * rx) + dy * dy / (ry * ry));
    if (q == 0.0)
        return -(rx < ry ? rx : ry);
    double gx = dx / (rx * rx * q), gy = dy / (ry * ry * q);
    return (q - 1.0) / std::sqrt(gx * gx + gy * gy);
}

// A drop: a circle of radius r at (cx, cy) drawn out into a point at
// height apexY straight above it. The sides are the tangents from the apex.
bool InsideDrop(double x, double y, double cx, double cy, double r, double apexY)
{
    double dx = x - cx, dy = y - cy;
    if (dx * dx + dy * dy <= r * r)
        return true;
    double d = cy - apexY;
    if (d <= r || y < apexY)
        return false;
    double sin2 = r * r / (d * d);
    double tanA = std::sqrt(sin2 / (1.0 - sin2));
    double tangentY = apexY + d * (1.0 - sin2);
    return y <= tangentY && std::fabs(dx) <= (y - apexY) * tanA;
}

// The drop shrunk by w all round: the apex moves down by w / sin(angle).
bool InsideDropInset(double x, double y, double cx, double cy, double r, double apexY, double w)
{
    double d = cy - apexY;
    return InsideDrop(x, y, cx, cy, r - w, apexY + w * d / r);
}

// A smooth bump, 1 at t = 0 falling to 0 at |t| = 1.
double Bump(double t)
{
    if (t <= -1.0 || t >= 1.0)
        return 0.0;
    double s = 1.0 - t * t;
    return s * s;
}

constexpr int kSamples = 8;

// The icon in unit coordinates (y downwards); px is one pixel in those units.
Rgba IconSample(double x, double y, double px)
{
    Rgba out{0.0, 0.0, 0.0, 0.0};

    // The water the drop falls into, seen at a low angle.
    const double wx = 0.5, wy = 0.785, wrx = 0.47, wry = 0.175;
    double line = px > 0.045 ? px : 0.045;
    double dWater = EllipseDistance(x, y, wx, wy, wrx, wry);
    if (dWater < 0.0) {
        double depth = Clamp01((y - (wy - wry)) / (2.0 * wry));
        Over(out, Mix(Colour(40, 130, 215), Colour(12, 62, 150), depth), 1.0);
    }
    Over(out, Colour(6, 36, 96), Bump(dWater / line));

    static const double ringRadius[] = {0.13, 0.25, 0.37};
    static const double ringAlpha[] = {0.95, 0.8, 0.6};
    double stroke = px * 0.8 > 0.03 ? px * 0.8 : 0.03;
    for (int i = 0; i < 3; ++i) {
        double rx = ringRadius[i], ry = rx * 0.37;
        double d = EllipseDistance(x, y, wx, wy + 0.01, rx, ry);
        Over(out, Colour(170, 230, 255, ringAlpha[i]), Bump(d / stroke));
    }

    // The falling drop: dark rim, lit from the top left.
    const double cx = 0.5, cy = 0.39, r = 0.195, apex = 0.02;
    double rim = px > 0.04 ? px : 0.04;
    if (InsideDrop(x, y, cx, cy, r, apex))
        Over(out, Colour(8, 44, 120), 1.0);
    if (InsideDropInset(x, y, cx, cy, r, apex, rim)) {
        double t = Clamp01(((x - cx) + (y - cy)) / (2.0 * r) + 0.45);
        Over(out, Mix(Colour(150, 225, 255), Colour(20, 100, 215), t), 1.0);
    }
    double hx = (x - 0.435) / 0.05, hy = (y - 0.37) / 0.085;
    Over(out, Colour(255, 255, 255, 0.9), Clamp01((1.0 - (hx * hx + hy * hy)) * 3.0));
    return out;
}

Rgba IconPixel(int col, int row, int size)
{
    double pr = 0.0, pg = 0.0, pb = 0.0, pa = 0.0;
    double px = 1.0 / size;
    for (int sy = 0; sy < kSamples; ++sy)
        for (int sx = 0; sx < kSamples; ++sx) {
            double x = (col + (sx + 0.5) / kSamples) * px;
            double y = (row + (sy + 0.5) / kSamples) * px;
            Rgba s = IconSample(x, y, px);
            pr += s.r * s.a;
            pg += s.g * s.a;
            pb += s.b * s.a;
            pa += s.a;
        }
    if (pa == 0.0)
        return {0.0, 0.0, 0.0, 0.0};
    return {pr / pa, pg / pa, pb / pa, pa / (kSamples * kSamples)};
}

void Put16(Bytes& out, unsigned v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutInfoHeader(Bytes& out, int width, int height, int bitCount, std::uint32_t imageSize, std::uint32_t colours)
{
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(bitCount));
    Put32(out, 0);  // BI_RGB
    Put32(out, imageSize);
    Put32(out, 2835);  // 72 dots per inch
    Put32(out, 2835);
    Put32(out, colours);
    Put32(out, colours);
}

// Palette entry i of the tile and of the 256-colour icons: a ramp from
// black through deep blue and cyan to white; the drawings keep to it.
Rgba RampColour(int i)
{
    static const double stop[] = {0.0, 0.3, 0.62, 0.86, 1.0};
    static const Rgba colour[] = {{0.0, 0.0, 0.0, 1.0},
                                  {0.0, 30 / 255.0, 95 / 255.0, 1.0},
                                  {20 / 255.0, 115 / 255.0, 215 / 255.0, 1.0},
                                  {100 / 255.0, 205 / 255.0, 1.0, 1.0},
                                  {240 / 255.0, 252 / 255.0, 1.0, 1.0}};
    double t = i / 255.0;
    int k = 0;
    while (k < 3 && t > stop[k + 1])
        ++k;
    return Mix(colour[k], colour[k + 1], (t - stop[k]) / (stop[k + 1] - stop[k]));
}

void PutRampPalette(Bytes& out)
{
    for (int i = 0; i < 256; ++i) {
        Rgba c = RampColour(i);
        out.push_back(ToByte(c.b));
        out.push_back(ToByte(c.g));
        out.push_back(ToByte(c.r));
        out.push_back(0);
    }
}

int NearestRampIndex(const Rgba& c)
{
    int best = 0;
    double bestDistance = 4.0;
    for (int i = 0; i < 256; ++i) {
        Rgba p = RampColour(i);
        double dr = p.r - c.r, dg = p.g - c.g, db = p.b - c.b;
        double d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

// One icon image: header (height doubled for the two masks), colour rows
// bottom-up (BGRA, or palette indices when bitCount is 8), then the AND
// mask with rows padded to 32 bits. Systems that ignore alpha, and the
// 256-colour images, rely on the mask: a set bit is transparent.
Bytes IconImage(int size, int bitCount)
{
    const int maskStride = (size + 31) / 32 * 4;
    const int colourStride = size * bitCount / 8;
    const std::uint32_t colourBytes = static_cast<std::uint32_t>(colourStride * size);
    const std::uint32_t maskBytes = static_cast<std::uint32_t>(maskStride * size);
    const bool paletted = bitCount == 8;
    Bytes out;
    PutInfoHeader(out, size, size * 2, bitCount, colourBytes + maskBytes, paletted ? 256 : 0);
    if (paletted)
        PutRampPalette(out);
    Bytes mask(maskBytes, 0);
    for (int row = size - 1; row >= 0; --row) {
        int line = size - 1 - row;
        for (int col = 0; col < size; ++col) {
            Rgba p = IconPixel(col, row, size);
            std::uint8_t a = ToByte(p.a);
            if (a < 128)
                mask[static_cast<std::size_t>(line * maskStride + col / 8)] |= static_cast<std::uint8_t>(0x80 >> (col % 8));
            if (paletted) {
                out.push_back(static_cast<std::uint8_t>(a < 128 ? 0 : NearestRampIndex(p)));
                continue;
            }
            out.push_back(a ? ToByte(p.b) : 0);
            out.push_back(a ? ToByte(p.g) : 0);
            out.push_back(a ? ToByte(p.r) : 0);
            out.push_back(a);
        }
    }
    out.insert(out.end(), mask.begin(), mask.end());
    return out;
}

// Intensity of the tile drawing at one point, 0 (black) to 1 (white foam).
double TileSample(double x, double y)
{
    const double wx = 78.5, wy = 83.0;
    double gx = (x - wx) / 74.0, gy = (y - wy) / 25.0;
    double f = 0.22 * Bump(std::sqrt(gx * gx + gy * gy));

    static const double ringRadius[] = {12.0, 25.0, 38.0, 51.0, 64.0};
    static const double ringLevel[] = {0.95, 0.82, 0.66, 0.5, 0.34};
    for (int i = 0; i < 5; ++i) {
        double rx = ringRadius[i];
        double d = EllipseDistance(x, y, wx, wy, rx, rx * 0.33);
        f += ringLevel[i] * Bump(d / 2.2);
    }
    f = Clamp01(f);

    const double cx = 78.5, cy = 40.0, r = 13.5, apex = 5.0;
    if (InsideDrop(x, y, cx, cy, r, apex)) {
        double t = Clamp01(((x - cx) + (y - cy)) / (2.0 * r) + 0.5);
        f = 1.0 - 0.45 * t;
        double hx = (x - 73.0) / 3.2, hy = (y - 37.0) / 5.5;
        if (hx * hx + hy * hy < 1.0)
            f = 1.0;
    }
    return f;
}

}  // namespace

Bytes MakeMainIcon()
{
    static const int sizes[] = {32, 16, 32, 16};
    static const int bits[] = {32, 32, 8, 8};
    const int count = 4;
    Bytes images[count];
    for (int i = 0; i < count; ++i)
        images[i] = IconImage(sizes[i], bits[i]);

    Bytes out;
    Put16(out, 0);
    Put16(out, 1);  // icon
    Put16(out, count);
    std::uint32_t offset = 6 + count * 16;
    for (int i = 0; i < count; ++i) {
        out.push_back(static_cast<std::uint8_t>(sizes[i]));
        out.push_back(static_cast<std::uint8_t>(sizes[i]));
        out.push_back(0);  // 256 colours, or none
        out.push_back(0);
        Put16(out, 1);  // planes
        Put16(out, static_cast<unsigned>(bits[i]));
        Put32(out, static_cast<std::uint32_t>(images[i].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const Bytes& image : images)
        out.insert(out.end(), image.begin(), image.end());
    return out;
}

Bytes MakeBlankCursor()
{
    const int size = 32;
    const std::uint32_t maskBytes = size * size / 8;
    Bytes image;
    PutInfoHeader(image, size, size * 2, 1, 2 * maskBytes, 2);
    Put32(image, 0x00000000);  // colour 0: black
    Put32(image, 0x00FFFFFF);  // colour 1: white
    image.insert(image.end(), maskBytes, 0x00);  // XOR mask: no colour drawn
    image.insert(image.end(), maskBytes, 0xFF);  // AND mask: screen kept

    Bytes out;
    Put16(out, 0);
    Put16(out, 2);  // cursor
    Put16(out, 1);
    out.push_back(size);
    out.push_back(size);
    out.push_back(2);  // two colours
    out.push_back(0);
    Put16(out, 0);  // hot spot x
    Put16(out, 0);  // hot spot y
    Put32(out, static_cast<std::uint32_t>(image.size()));
    Put32(out, 6 + 16);
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

Bytes MakeTileBitmap()
{
    const int stride = (kTileWidth + 3) / 4 * 4;
    const std::uint32_t imageBytes = static_cast<std::uint32_t>(stride * kTileHeight);
    const std::uint32_t headerBytes = 14 + 40 + 256 * 4;

    Bytes out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, headerBytes + imageBytes);
    Put32(out, 0);
    Put32(out, headerBytes);
    PutInfoHeader(out, kTileWidth, kTileHeight, 8, imageBytes, 256);
    PutRampPalette(out);
    const int samples = 4;
    for (int row = kTileHeight - 1; row >= 0; --row) {
        for (int col = 0; col < kTileWidth; ++col) {
            double sum = 0.0;
            for (int sy = 0; sy < samples; ++sy)
                for (int sx = 0; sx < samples; ++sx)
                    sum += TileSample(col + (sx + 0.5) / samples, row + (sy + 0.5) / samples);
            out.push_back(ToByte(sum / (samples * samples)));
        }
        out.insert(out.end(), static_cast<std::size_t>(stride - kTileWidth), 0);
    }
    return out;
}

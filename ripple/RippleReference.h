// The plain per-point ripple computation, one pass at a time, exactly as the
// engine's arithmetic is defined. It is the reference the fast paths are
// tested and benchmarked against, and the path the engine takes when source
// and target overlap.
#pragma once

#include "ripple/RippleTarget.h"

#include <cstdint>

namespace ripple {

// Two height fields of width x height values, indexed row * width + column.
struct FieldPair {
    int32_t width = 0;
    int32_t height = 0;
    int32_t* heights1 = nullptr;
    int32_t* heights2 = nullptr;

    // Page 0 writes field 1 and reads field 2; any other page the reverse.
    int32_t* ForPage(int page) const { return page == 0 ? heights1 : heights2; }
    int32_t* OtherOfPage(int page) const { return page == 0 ? heights2 : heights1; }
};

namespace reference {

void Refract(const FieldPair& f, const uint32_t* source, uint32_t* target);
void Refract(const FieldPair& f, const uint32_t* source, const Target& target);
void Propagate(const FieldPair& f, int page, int damping);
void AddCosineDrop(const FieldPair& f, int x, int y, int radius, int height, int page);
void AddConeDrop(const FieldPair& f, int x, int y, int radius, int height, int page);

} // namespace reference
} // namespace ripple

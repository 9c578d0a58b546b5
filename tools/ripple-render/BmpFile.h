// 32-bit uncompressed BMP files whose pixel array, in file order, is an
// image's memory (rows bottom-up, 0x00RRGGBB words). The reader takes any
// bytes: it accepts only a well-formed file of that kind and says why not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct BmpImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // width * height, file order
};

// Largest file the reader loads, in bytes.
constexpr uint64_t kMaxBmpFileBytes = 512ull * 1024 * 1024;

bool ParseBmp32(const uint8_t* data, size_t size, BmpImage& image, std::string& error);
bool ReadBmp32(const std::string& path, BmpImage& image, std::string& error);
std::vector<uint8_t> EncodeBmp32(const BmpImage& image);
// Writes the whole file or, on failure, removes what was written.
bool WriteBmp32(const std::string& path, const BmpImage& image, std::string& error);

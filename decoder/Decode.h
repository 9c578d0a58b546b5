// The picture decoder's decoders: those of the formats it reads itself, each
// streaming its rows into the sink at about the size shown, and gdk-pixbuf's
// loaders for every other format. Each reads `input` from the start; false,
// with the reason, when nothing can be shown. `budget`: the bytes it may
// take.
#pragma once

#include "decoder/Input.h"
#include "decoder/PictureSink.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The format told from the first bytes, and its decoder.
bool DecodePicture(CInput& input, CPictureSink& sink, uint64_t budget, std::string& reason);

bool DecodeJpeg(CInput& input, CPictureSink& sink, uint64_t budget, std::string& reason);
bool DecodePng(CInput& input, CPictureSink& sink, uint64_t budget, std::string& reason);
bool DecodeGif(CInput& input, CPictureSink& sink, uint64_t budget, std::string& reason);
bool DecodeTiff(CInput& input, CPictureSink& sink, uint64_t budget, std::string& reason);
bool DecodeWithPixbuf(CInput& input, CPictureSink& sink, uint64_t budget, std::string& reason);

// The orientation (1 to 8) an APP1 segment's Exif data gives, from its
// "Exif\0\0" on; 1 without one.
int ExifOrientation(const uint8_t* data, size_t size);

// A size in whole megabytes, rounded up, for the reasons given.
std::string Megabytes(uint64_t bytes);

#include "decoder/Decode.h"

#include <cstring>

bool DecodePicture(CInput& input, CPictureSink& sink, uint64_t budget, std::string& reason)
{
    const std::vector<uint8_t>& head = input.Head(8);
    auto starts = [&](const char* magic, size_t size) { return head.size() >= size && std::memcmp(head.data(), magic, size) == 0; };
    if (head.empty()) {
        reason = input.Error() ? std::strerror(input.Error()) : "the file is empty";
        return false;
    }
    if (starts("\xFF\xD8\xFF", 3))
        return DecodeJpeg(input, sink, budget, reason);
    if (starts("\x89PNG\r\n\x1A\n", 8))
        return DecodePng(input, sink, budget, reason);
    if (starts("GIF8", 4))
        return DecodeGif(input, sink, budget, reason);
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4))
        return DecodeTiff(input, sink, budget, reason);
    return DecodeWithPixbuf(input, sink, budget, reason);
}

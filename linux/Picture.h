// The picture under the water: decoded with gdk-pixbuf (the loader the
// screen-saver daemon's own image tools use: JPEG, PNG and many more, EXIF
// orientation), kept at its own size and stretched to the window's at every
// change of size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef struct _GdkPixbuf GdkPixbuf;

class CPicture {
public:
    CPicture() = default;
    ~CPicture();
    CPicture(const CPicture&) = delete;
    CPicture& operator=(const CPicture&) = delete;

    // Decodes a file, turned upright by its EXIF orientation. False, with the
    // reason, when it cannot be read or is not an image.
    bool Load(const std::string& path, std::string& reason);
    // Takes top-down 0x00RRGGBB pixels (the daemon's image choice).
    bool FromPixels(const std::vector<uint32_t>& pixels, int width, int height);
    bool Empty() const { return m_pixbuf == nullptr; }
    int Width() const;
    int Height() const;

    // The picture over `width` x `height` in the engine's layout: rows
    // bottom-up, 0x00RRGGBB, transparent parts over black. A picture of that
    // size is taken as it is; any other is scaled bilinearly. An empty
    // picture, or one that cannot be scaled, gives the plain dark colour.
    void Stretch(int width, int height, std::vector<uint32_t>& frame) const;

    static constexpr uint32_t kDarkColor = 0x00102030;

private:
    GdkPixbuf* m_pixbuf = nullptr;
};

// Where the shipped picture is: beside the program, else in the data folder.
std::vector<std::string> ShippedPictureFiles();

// The picture file `file` (none when empty), else the shipped picture, else
// none (the plain dark colour), with a line on stderr for each that fails.
void LoadPictureOrShipped(CPicture& picture, const std::string& file);

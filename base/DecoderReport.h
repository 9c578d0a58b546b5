// What the picture decoder (velunor-decode, a program of its own) and the
// program that starts it agree on: the descriptors it is given, and the
// lines it writes on its standard output, one at a time:
//   "data"                    the first bytes of the picture came
//   "picture W H"             the frame is written; the picture is W x H as
//                             shown, upright
//   "picture W H incomplete"  the same, but its data ended early: what it
//                             did not reach is grey
//   "refused REASON"          no frame; REASON says why, for the user
// The decoder ends with status 0 after its last line; anything else is a
// failure whatever it said.
#pragma once

#include <string>

namespace decoder_report {

// The picture, open for reading at its start; the report; the frame: shared
// memory of exactly width x height 0x00RRGGBB pixels, rows bottom-up (the
// engine's layout), which it cannot grow.
constexpr int kPictureFd = 0;
constexpr int kReportFd = 1;
constexpr int kFrameFd = 3;

std::string DataLine();
std::string PictureLine(int width, int height, bool incomplete);
// Control characters in `reason` become spaces: the report stays one line.
std::string RefusedLine(const std::string& reason);

// What the lines read so far said. Bytes go in as they come; a line is taken
// once it is whole, and what follows a last word is ignored.
class CReader {
public:
    void Add(const char* bytes, size_t size);

    bool Data() const { return m_bData; }
    // "picture" or "refused" came.
    bool Said() const { return m_bPicture || m_bRefused; }
    bool Picture() const { return m_bPicture; }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    bool Incomplete() const { return m_bIncomplete; }
    const std::string& Reason() const { return m_reason; }

private:
    void Take(const std::string& line);

    std::string m_partial;
    bool m_bData = false;
    bool m_bPicture = false;
    bool m_bRefused = false;
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bIncomplete = false;
    std::string m_reason;
};

} // namespace decoder_report

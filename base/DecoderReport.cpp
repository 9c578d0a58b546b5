#include "base/DecoderReport.h"

#include "base/TextNumber.h"

#include <algorithm>
#include <cstdio>

namespace decoder_report {

namespace {

// A line longer than this is not ours: it is cut there.
constexpr size_t kMaxLine = 512;

} // namespace

std::string DataLine()
{
    return "data\n";
}

std::string PictureLine(int width, int height, bool incomplete)
{
    char line[64];
    std::snprintf(line, sizeof line, "picture %d %d%s\n", width, height, incomplete ? " incomplete" : "");
    return line;
}

std::string RefusedLine(const std::string& reason)
{
    std::string line = "refused " + reason.substr(0, kMaxLine - 16);
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return line + "\n";
}

void CReader::Add(const char* bytes, size_t size)
{
    for (size_t i = 0; i < size && !Said(); ++i) {
        if (bytes[i] == '\n') {
            Take(m_partial);
            m_partial.clear();
        } else if (m_partial.size() < kMaxLine) {
            m_partial += bytes[i];
        }
    }
}

void CReader::Take(const std::string& line)
{
    if (line == "data") {
        m_bData = true;
    } else if (line.compare(0, 8, "refused ") == 0) {
        m_bRefused = true;
        m_reason = line.substr(8);
    } else if (line.compare(0, 8, "picture ") == 0) {
        // "picture W H" or "picture W H incomplete".
        std::string fields[3];
        size_t count = 0;
        for (size_t at = 8; at <= line.size() && count < 4;) {
            const size_t end = std::min(line.find(' ', at), line.size());
            if (count < 3)
                fields[count] = line.substr(at, end - at);
            ++count;
            at = end + 1;
        }
        int width = 0, height = 0;
        if ((count == 2 || (count == 3 && fields[2] == "incomplete")) && ParseInt(fields[0].c_str(), width)
            && ParseInt(fields[1].c_str(), height) && width > 0 && height > 0) {
            m_bPicture = true;
            m_nWidth = width;
            m_nHeight = height;
            m_bIncomplete = count == 3;
        }
    }
}

} // namespace decoder_report

#include <cstdio>

#include "log/CommLog.h"
#include "platform/Text.h"

namespace odomei {
namespace {

constexpr int kBytesPerLine = 16;
constexpr const char* kLineEnd = "\r\n";

bool IsShownAsIs(std::uint8_t c) {
    return (c >= 0x20 && c <= 0x7E) || (c >= 0xA1 && c <= 0xDF);  // ASCII or half-width katakana
}

std::string Hex2(std::uint8_t c) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X ", c);
    return buf;
}

std::string DumpLine(int offset, const std::string& hex, const std::string& chars) {
    char head[16];
    std::snprintf(head, sizeof head, "%04X ; ", static_cast<unsigned>(offset));
    return head + hex + " : " + chars;
}

}  // namespace

std::string CommLogDump(const std::uint8_t* data, int count) {
    std::string out;
    std::string hex;
    std::string chars;  // up to 17 bytes: a character begun at the 16th byte brings its 2nd
    int column = 0;
    bool continuation = false;  // the byte at hand is the already placed 2nd byte of a character
    for (int k = 0; k < count; ++k) {
        const std::uint8_t c = data[k];
        hex += Hex2(c);
        if (continuation) {
            continuation = false;
            if (column == 0) chars += ' ';  // its character was shown at the end of the last line
        } else if (IsShownAsIs(c)) {
            chars += static_cast<char>(c);
        } else if (IsDbcsLeadByte(c)) {
            chars += static_cast<char>(c);
            if (k + 1 < count) {
                chars += static_cast<char>(data[k + 1]);  // copied whatever its value
                continuation = true;
            }
        } else {
            chars += '.';
        }
        if (++column == kBytesPerLine) {
            out += DumpLine(k - (kBytesPerLine - 1), hex, chars) + kLineEnd;
            hex.clear();
            chars.clear();
            column = 0;
        }
    }
    if (column > 0) {
        for (int i = column; i < kBytesPerLine; ++i) hex += "   ";
        out += DumpLine(count - column, hex, chars);
        if (static_cast<std::uint8_t>(chars.back()) >= 0x80) out += ' ';
        out += kLineEnd;
    }
    return out;
}

}  // namespace odomei

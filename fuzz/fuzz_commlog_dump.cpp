// The dump of any byte range has the exact line shape: offset, a 48-character hexadecimal column
// that spells the bytes, the character column, CR LF.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "log/CommLog.h"

namespace {

void Require(bool ok, const char* what, std::size_t at) {
    if (!ok) {
        std::fprintf(stderr, "%s at byte %zu of the dump\n", what, at);
        std::abort();
    }
}

std::string Prefix(std::size_t offset) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04zX ; ", offset);
    return buf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int n = static_cast<int>(std::min<std::size_t>(size, 4096));
    const std::string dump = odomei::CommLogDump(data, n);
    const int lines = (n + 15) / 16;
    std::size_t at = 0;
    for (int line = 0; line < lines; ++line) {
        const std::size_t offset = static_cast<std::size_t>(line) * 16;
        const std::size_t count = std::min<std::size_t>(16, n - offset);
        const std::string prefix = Prefix(offset);
        Require(dump.compare(at, prefix.size(), prefix) == 0, "offset", at);
        at += prefix.size();
        std::string hex;
        for (std::size_t i = 0; i < 16; ++i) {
            char b[4] = "   ";
            if (i < count) std::snprintf(b, sizeof b, "%02X ", data[offset + i]);
            hex += b;
        }
        Require(hex.size() == 48 && dump.compare(at, 48, hex) == 0, "hexadecimal column", at);
        at += 48;
        Require(dump.compare(at, 3, " : ") == 0, "separator", at);
        at += 3;
        // The character column runs to the CR LF that the next line's offset (or the end) follows;
        // it may hold CR or LF itself as the second byte of a double-byte character.
        const bool last = line + 1 == lines;
        std::size_t end = at;
        for (;; ++end) {
            end = dump.find("\r\n", end);
            Require(end != std::string::npos, "missing line end", at);
            if (last ? end + 2 == dump.size()
                     : dump.compare(end + 2, 7, Prefix(offset + 16)) == 0) {
                break;
            }
        }
        std::size_t width = end - at;
        // One space before CR LF on a partial last line whose last byte is 0x80 or above.
        if (last && count < 16 && width >= 2 && dump[end - 1] == ' ' &&
            static_cast<std::uint8_t>(dump[end - 2]) >= 0x80) {
            --width;
        }
        Require(width >= (count < 16 ? 1 : 16) && width <= count + 1, "character column width", at);
        at = end + 2;
    }
    Require(at == dump.size(), "trailing bytes", at);
    return 0;
}

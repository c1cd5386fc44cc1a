// Any INI file can be read, and writing one key back changes that key's line only: every other
// line stays as it was, in order, and the file keeps its encoding (CP932, UTF-8 or UTF-16). A file
// of no known encoding is not written at all.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzRequire.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        else
            end += text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::string Strip(std::string line) {
    // One line end, as the reader takes it: CR LF, LF or a lone CR.
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // On tmpfs where there is one: every write flushes the file and its folder, which a disk
    // makes slow and a fuzzer makes often.
    static const std::string path =
        std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/odomei-fuzz-" +
        std::to_string(getpid()) + ".ini";
    const std::string before(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << before;
    }
    const char* section = "シリアル通信設定";
    const char* key = "ｼﾘｱﾙﾎﾟｰﾄ番号";
    const auto value = static_cast<std::int32_t>(odomei::ReadIniInt(section, key, 1, path));
    odomei::ReadIniString(odomei::kPortsSection, "COM1", path);
    const std::string text = std::to_string(value);
    const odomei::IniEncoding encoding = odomei::IniEncodingOf(before);
    const bool written = odomei::WriteIniString(section, key, text, path);
    std::ifstream in(path, std::ios::binary);
    const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (encoding == odomei::IniEncoding::kUnknown) {
        Require(!written && after == before, "a file of no known encoding was written");
        unlink(path.c_str());
        return 0;
    }
    Require(written, "write failed");
    Require(static_cast<std::int32_t>(odomei::ReadIniInt(section, key, 1, path)) == value,
            "the value written does not read back");
    // Never a file of two encodings: what was added is in the file's own.
    Require(odomei::IniEncodingOf(after) == encoding, "the file's encoding changed");

    // A UTF-16 file's lines are compared as text, the rest as bytes.
    auto textOf = [encoding, &before](const std::string& bytes) {
        if (encoding != odomei::IniEncoding::kUtf16Le && encoding != odomei::IniEncoding::kUtf16Be)
            return bytes;
        Require(bytes.size() >= 2 && bytes.compare(0, 2, before.substr(0, 2)) == 0,
                "the byte-order mark was lost");
        return *odomei::Utf16ToUtf8(std::string_view(bytes).substr(2),
                                    encoding == odomei::IniEncoding::kUtf16Be);
    };
    const std::string oldText = textOf(before), newText = textOf(after);

    // Lines of the old file, without their line ends, must all be in the new one in order; at
    // most one is replaced, and at most a section header and a key line are added.
    const auto old = Lines(oldText);
    const auto now = Lines(newText);
    std::size_t head = 0;
    while (head < old.size() && head < now.size() && Strip(old[head]) == Strip(now[head])) ++head;
    std::size_t tail = 0;
    while (tail < old.size() - head && tail < now.size() - head &&
           Strip(old[old.size() - 1 - tail]) == Strip(now[now.size() - 1 - tail])) {
        ++tail;
    }
    const std::size_t oldMiddle = old.size() - head - tail;
    const std::size_t newMiddle = now.size() - head - tail;
    Require(oldMiddle <= 1 && newMiddle <= 2 && newMiddle >= oldMiddle, "other lines changed");
    // Unchanged lines keep their bytes, line ends included (only a last line may gain one, the
    // file's own: CR LF, LF or CR), and a file that ended without a line end still does.
    for (std::size_t i = 0; i < head; ++i) {
        Require(old[i] == now[i] ||
                    (i + 1 == old.size() && (old[i] + "\r\n" == now[i] || old[i] + "\n" == now[i] ||
                                             old[i] + "\r" == now[i])),
                "a kept line changed its bytes");
    }
    // (A byte-order mark alone is an empty file: it has no last line.)
    auto ended = [](const std::string& t) {
        return !t.empty() && (t.back() == '\n' || t.back() == '\r');
    };
    const std::string oldBody = oldText.rfind("\xEF\xBB\xBF", 0) == 0 ? oldText.substr(3) : oldText;
    Require(oldBody.empty() || ended(oldText) || !ended(newText),
            "a file without a line end at its end gained one");
    Require(before.rfind("\xEF\xBB\xBF", 0) != 0 || after.rfind("\xEF\xBB\xBF", 0) == 0,
            "the byte-order mark was lost");
    unlink(path.c_str());
    return 0;
}

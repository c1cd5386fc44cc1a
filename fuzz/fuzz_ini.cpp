// Any INI file can be read, and writing one key back changes that key's line only: every other
// line stays as it was, in order, and the file keeps its encoding (CP932 or UTF-8).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzRequire.h"
#include "platform/Profile.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::string Strip(std::string line) {
    // One line end, as the reader takes it: LF, and a CR before it (a stray CR is content).
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
    odomei::ReadIniString("Ports", "COM1", path);
    const std::string text = std::to_string(value);
    Require(odomei::WriteIniString(section, key, text, path), "write failed");
    std::ifstream in(path, std::ios::binary);
    const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Require(static_cast<std::int32_t>(odomei::ReadIniInt(section, key, 1, path)) == value,
            "the value written does not read back");

    // Lines of the old file, without their line ends, must all be in the new one in order; at
    // most one is replaced, and at most a section header and a key line are added.
    const auto old = Lines(before);
    const auto now = Lines(after);
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
    // file's own: CR LF or LF), and a file that ended without a line end still does.
    for (std::size_t i = 0; i < head; ++i) {
        Require(old[i] == now[i] ||
                    (i + 1 == old.size() && (old[i] + "\r\n" == now[i] || old[i] + "\n" == now[i])),
                "a kept line changed its bytes");
    }
    // (A byte-order mark alone is an empty file: it has no last line.)
    Require(
        before.empty() || before == "\xEF\xBB\xBF" || before.back() == '\n' || after.back() != '\n',
        "a file without a line end at its end gained one");
    // Never a file of two encodings: what was added is in the file's own.
    Require(odomei::IniEncodingOf(after) == odomei::IniEncodingOf(before),
            "the file's encoding changed");
    Require(before.rfind("\xEF\xBB\xBF", 0) != 0 || after.rfind("\xEF\xBB\xBF", 0) == 0,
            "the byte-order mark was lost");
    unlink(path.c_str());
    return 0;
}

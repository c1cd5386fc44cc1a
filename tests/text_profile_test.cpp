// CP932 text and the INI file: the port setting as Windows reads and writes it.
#include <gtest/gtest.h>

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "link/FilePaths.h"
#include "link/PortSetting.h"
#include "link/SerialPort.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "tests/TestSupport.h"

namespace odomei {
namespace {

using namespace std::string_literals;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

TEST(Cp932Text, ConvertsBothWaysAndRefusesWhatHasNoForm) {
    EXPECT_EQ(*Utf8ToCp932("ｼﾘｱﾙ"), "\xBC\xD8\xB1\xD9");  // half-width stays single-byte
    EXPECT_EQ(*Utf8ToCp932("：＊"), "\x81\x46\x81\x96");  // full-width colon, asterisk
    EXPECT_EQ(*Cp932ToUtf8("\x8C\x76\x91\xAA"), "計測");
    EXPECT_EQ(*Utf8ToCp932("①～"), "\x87\x40\x81\x60");         // NEC and IBM extensions
    EXPECT_FALSE(Utf8ToCp932("\xF0\x9F\x9A\x97").has_value());  // no CP932 form
    EXPECT_FALSE(Cp932ToUtf8("\x81").has_value());              // lone lead byte
    EXPECT_FALSE(Cp932ToUtf8("\x81\x20").has_value());          // invalid trail byte
    EXPECT_THROW(Sjis("\xF0\x9F\x9A\x97"), std::logic_error);
}

class PortSetting : public ::testing::Test {
protected:
    FilePaths Paths() const {
        FilePaths p;
        p.strCurDir = dir.Path();
        p.strIniDir = p.strLogDir = dir.Path() + "/";
        p.strIniFile = kIniFileName;
        p.strLogFile = kLogFileName;
        return p;
    }
    std::string Ini() const { return dir.File(kIniFileName); }
    TempDir dir;
};

TEST_F(PortSetting, FirstStartCreatesTheIniFileByteForByte) {
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_EQ(ReadBytes(Ini()), ReadBytes(ODOMEI_TEST_DATA "/first_start.ini"));
}

TEST_F(PortSetting, ValuesAreReadAsWindowsReadsThemAndWrittenBackInDecimal) {
    const struct {
        std::string stored;
        int port;
        std::string written;
    } cases[] = {
        {"3", 3, "3"},
        {"12", 12, "12"},
        {"-2", -2, "-2"},
        {" 7abc", 7, "7"},
        {"", 0, "0"},
        {"  +42", 42, "42"},
        {"\"5\"", 5, "5"},
        {"abc", 0, "0"},
        {"0x10", 0, "0"},
        {"-2147483648", -2147483647 - 1, "-2147483648"},
        // Beyond 32 bits: the nearest end of the range (so COM1), never a number that fits
        // after wrapping (4294967299 would be COM3), and the file keeps what was written.
        {"99999999999", 2147483647, "99999999999"},
        {"4294967299", 2147483647, "4294967299"},
        {"2147483648", 2147483647, "2147483648"},
        {"-2147483649", -2147483647 - 1, "-2147483649"},
        {"1" + std::string(5000, '0'), 2147483647, "1" + std::string(5000, '0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        WriteBytes(Ini(), Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=") + c.stored + "\r\n");
        EXPECT_EQ(LoadPortSetting(Paths()), c.port);
        EXPECT_EQ(PortName(c.port), c.port >= 1 && c.port <= 255 ? ComName(c.port) : "COM1");
        EXPECT_EQ(ReadBytes(Ini()),
                  Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=") + c.written + "\r\n");
    }
}

TEST_F(PortSetting, WriteBackKeepsEveryOtherLineByteForByte) {
    const std::string before = Sjis(
        "; 設定ファイル\r\n"
        "[Ports]\r\n"
        "COM1=/dev/ttyUSB0\r\n"
        "\r\n"
        "[シリアル通信設定]\r\n"
        "  ｼﾘｱﾙﾎﾟｰﾄ番号 = 4 \r\n"
        "other=x\n"
        "[後]\r\n"
        "ｼﾘｱﾙﾎﾟｰﾄ番号=9");
    WriteBytes(Ini(), before);
    EXPECT_EQ(LoadPortSetting(Paths()), 4);
    std::string after = before;
    after.replace(after.find(Sjis("  ｼﾘｱﾙﾎﾟｰﾄ番号 = 4 ")), Sjis("  ｼﾘｱﾙﾎﾟｰﾄ番号 = 4 ").size(),
                  Sjis("ｼﾘｱﾙﾎﾟｰﾄ番号=4"));
    EXPECT_EQ(ReadBytes(Ini()), after);
}

TEST_F(PortSetting, RewrittenKeyKeepsItsOwnLineEnd) {
    WriteBytes(Ini(), Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=5\nx=1\r\n"));
    EXPECT_EQ(LoadPortSetting(Paths()), 5);
    EXPECT_EQ(ReadBytes(Ini()), Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=5\nx=1\r\n"));
}

TEST_F(PortSetting, MissingSectionOrKeyIsAddedWithoutTouchingTheRest) {
    // No line end at the end of the file: it still ends without one.
    WriteBytes(Ini(), "[Ports]\r\nCOM2=/dev/pts/7");
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_EQ(ReadBytes(Ini()),
              "[Ports]\r\nCOM2=/dev/pts/7\r\n" + Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=1"));

    WriteBytes(Ini(), Sjis("[シリアル通信設定]\r\nother=1\r\n\r\n[Ports]\r\n"));
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_EQ(ReadBytes(Ini()),
              Sjis("[シリアル通信設定]\r\nother=1\r\nｼﾘｱﾙﾎﾟｰﾄ番号=1\r\n\r\n[Ports]\r\n"));

    // A line without "=" is no key: the default is used and a key line added.
    WriteBytes(Ini(), Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号\r\n"));
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_EQ(ReadBytes(Ini()), Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号\r\nｼﾘｱﾙﾎﾟｰﾄ番号=1\r\n"));
}

TEST_F(PortSetting, LinesPutInTakeTheFilesOwnLineEnd) {
    // A file whose lines end in LF alone, as Linux editors write it.
    WriteBytes(Ini(), Sjis("[Ports]\nCOM1=/dev/ttyUSB0\n"));
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_EQ(ReadBytes(Ini()),
              Sjis("[Ports]\nCOM1=/dev/ttyUSB0\n[シリアル通信設定]\nｼﾘｱﾙﾎﾟｰﾄ番号=1\n"));
    WriteBytes(Ini(), Sjis("[シリアル通信設定]\nother=2"));
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_EQ(ReadBytes(Ini()), Sjis("[シリアル通信設定]\nother=2\nｼﾘｱﾙﾎﾟｰﾄ番号=1"));
    // A lone CR ends a line as well (old Mac line ends, or a hand edit): nothing after it is
    // lost, a section after it is found, and its bytes stay.
    const std::string lone =
        Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=2\r[Ports]\r\nCOM1=/dev/ttyUSB3\r\n");
    WriteBytes(Ini(), lone);
    EXPECT_EQ(ReadIniString(kPortsSection, "COM1", Ini()), "/dev/ttyUSB3");
    EXPECT_EQ(LoadPortSetting(Paths()), 2);
    EXPECT_EQ(ReadBytes(Ini()), lone);
    ASSERT_TRUE(WriteIniString("シリアル通信設定", "ｼﾘｱﾙﾎﾟｰﾄ番号", "3", Ini()));
    EXPECT_EQ(ReadBytes(Ini()),
              Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=3\r[Ports]\r\nCOM1=/dev/ttyUSB3\r\n"));
    // A file of lone CRs gets lone CRs; a last line ending in one has its line end already.
    WriteBytes(Ini(), "[Ports]\rCOM2=/dev/pts/7\r");
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_EQ(ReadBytes(Ini()),
              "[Ports]\rCOM2=/dev/pts/7\r" + Sjis("[シリアル通信設定]\rｼﾘｱﾙﾎﾟｰﾄ番号=1\r"));
    WriteBytes(Ini(), "[Ports]\r\nCOM2=/dev/pts/7\r");
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_EQ(ReadBytes(Ini()),
              "[Ports]\r\nCOM2=/dev/pts/7\r" + Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=1\r\n"));
}

TEST(IniEncoding, Utf8WhereAByteOrderMarkOrOnlyValidUtf8SaysSo) {
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        std::string bytes;
        IniEncoding encoding;
    } cases[] = {
        {"", IniEncoding::kCp932},  // a new file
        {"[Ports]\r\nCOM1=/dev/ttyUSB0\r\n", IniEncoding::kCp932},
        {bom, IniEncoding::kUtf8},
        {bom + "[Ports]\r\n", IniEncoding::kUtf8},
        {"[シリアル通信設定]\nｼﾘｱﾙﾎﾟｰﾄ番号=3\n", IniEncoding::kUtf8},
        {Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=3\r\n"), IniEncoding::kCp932},
        // A file of UTF-8 lines and CP932 lines is neither: it is never written into.
        {"; 設定\r\n" + Sjis("[シリアル通信設定]\r\n"), IniEncoding::kUnknown},
        // With a byte-order mark the file is UTF-8 even where a byte is not.
        {bom + Sjis("[シリアル通信設定]\r\n"), IniEncoding::kUtf8},
        // What UTF-8 forbids: overlong forms, surrogates, beyond U+10FFFF, cut short; CP932
        // where they are CP932, and unknown where they are not.
        {"x=\xC0\xAF", IniEncoding::kCp932},
        {"x=\xE0\x80\xAF", IniEncoding::kCp932},
        {"x=\xED\xA0\x80", IniEncoding::kUnknown},
        {"x=\xF4\x90\x80\x80", IniEncoding::kUnknown},
        {"x=\xE8\xA8", IniEncoding::kCp932},
        {"x=\xF0\x9F\x9A\x97", IniEncoding::kUtf8},
        // UTF-16 with its byte-order mark, both orders; broken UTF-16, and UTF-16 without one.
        {"\xFF\xFE[\0P\0]\0"s, IniEncoding::kUtf16Le},
        {"\xFE\xFF\0[\0P\0]"s, IniEncoding::kUtf16Be},
        {"\xFF\xFE"s, IniEncoding::kUtf16Le},
        {"\xFF\xFE[\0P"s, IniEncoding::kUnknown},         // an odd count
        {"\xFF\xFE\x00\xD8x\0"s, IniEncoding::kUnknown},  // a lone surrogate
        {"\xFF\xFE\0\0"s, IniEncoding::kUnknown},         // UTF-32 LE
        {"[\0P\0]\0\r\0\n\0"s, IniEncoding::kUnknown},    // no mark
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(IniEncodingOf(c.bytes), c.encoding);
    }
}

// UTF-8 text as UTF-16 code units, little- or big-endian.
std::string Utf16(const std::string& utf8, bool bigEndian) {
    iconv_t cd = iconv_open(bigEndian ? "UTF-16BE" : "UTF-16LE", "UTF-8");
    std::string in = utf8, out(utf8.size() * 4, '\0');
    char* from = in.data();
    char* to = out.data();
    std::size_t left = in.size(), room = out.size();
    EXPECT_NE(iconv(cd, &from, &left, &to, &room), static_cast<std::size_t>(-1));
    iconv_close(cd);
    out.resize(out.size() - room);
    return out;
}

// Files as editors save them: Notepad's UTF-8 with a byte-order mark and CR LF, UTF-8 without
// one, Linux editors' UTF-8 with LF, and Notepad's "Unicode" (UTF-16 LE) and "Unicode big
// endian", each with its byte-order mark.
struct EditorFile {
    const char* what;
    std::string bom;
    std::string end;
    enum { kUtf8, kUtf16Le, kUtf16Be } form = kUtf8;
    // The file's bytes for a text given in UTF-8.
    std::string Bytes(const std::string& utf8) const {
        return form == kUtf8 ? bom + utf8 : bom + Utf16(utf8, form == kUtf16Be);
    }
};
const EditorFile kEditorFiles[] = {
    {"Notepad, byte-order mark, CR LF", "\xEF\xBB\xBF", "\r\n"},
    {"Notepad, no byte-order mark, CR LF", "", "\r\n"},
    {"Linux editor, LF", "", "\n"},
    {"byte-order mark, LF", "\xEF\xBB\xBF", "\n"},
    {"Notepad's Unicode, CR LF", "\xFF\xFE", "\r\n", EditorFile::kUtf16Le},
    {"Notepad's Unicode big endian, CR LF", "\xFE\xFF", "\r\n", EditorFile::kUtf16Be},
    {"UTF-16 LE, LF", "\xFF\xFE", "\n", EditorFile::kUtf16Le},
};

TEST_F(PortSetting, UnicodeFilesAreReadAndWrittenBackInTheirOwnEncoding) {
    for (const EditorFile& f : kEditorFiles) {
        SCOPED_TRACE(f.what);
        const std::string& n = f.end;
        const std::string before = "; 燃費計の設定" + n + "[シリアル通信設定]" + n +
                                   " ｼﾘｱﾙﾎﾟｰﾄ番号 = 12" + n + "[Ports]" + n +
                                   "com12=/dev/serial/by-id/usb-ＵＳＢ-if00" + n + "[Logbook]" + n +
                                   "Path=\"記録/josé.sqlite3\"" + n;
        WriteBytes(Ini(), f.Bytes(before));
        EXPECT_EQ(ReadIniString(kPortsSection, "COM12", Ini()),
                  "/dev/serial/by-id/usb-ＵＳＢ-if00");
        EXPECT_EQ(ReadIniString("Logbook", "path", Ini()), "記録/josé.sqlite3");
        const auto ports = ReadIniSection(kPortsSection, Ini());
        ASSERT_EQ(ports.size(), 1u);
        EXPECT_EQ(ports[0].first, "com12");

        // The write-back changes the value's line only, in UTF-8.
        EXPECT_EQ(LoadPortSetting(Paths()), 12);
        std::string expected = before;
        expected.replace(expected.find(" ｼﾘｱﾙﾎﾟｰﾄ番号 = 12"),
                         std::string(" ｼﾘｱﾙﾎﾟｰﾄ番号 = 12").size(), "ｼﾘｱﾙﾎﾟｰﾄ番号=12");
        EXPECT_EQ(ReadBytes(Ini()), f.Bytes(expected));
        ASSERT_TRUE(WriteIniString("シリアル通信設定", "ｼﾘｱﾙﾎﾟｰﾄ番号", "3", Ini()));
        expected.replace(expected.find("ｼﾘｱﾙﾎﾟｰﾄ番号=12"), std::string("ｼﾘｱﾙﾎﾟｰﾄ番号=12").size(),
                         "ｼﾘｱﾙﾎﾟｰﾄ番号=3");
        EXPECT_EQ(ReadBytes(Ini()), f.Bytes(expected));

        // A value with no CP932 form can go into a UTF-8 file, and keys and sections added are
        // UTF-8 with the file's line end.
        ASSERT_TRUE(WriteIniString("Logbook", "Path", "ñ.sqlite3", Ini()));
        ASSERT_TRUE(WriteIniString("表示", "単位", "ｋｍ／Ｌ", Ini()));
        expected.replace(expected.find("Path=\"記録/josé.sqlite3\""),
                         std::string("Path=\"記録/josé.sqlite3\"").size(), "Path=ñ.sqlite3");
        EXPECT_EQ(ReadBytes(Ini()), f.Bytes(expected + "[表示]" + n + "単位=ｋｍ／Ｌ" + n));
        // A character beyond the BMP (a surrogate pair in UTF-16) goes in and reads back.
        ASSERT_TRUE(WriteIniString("Logbook", "Path", "🚗.sqlite3", Ini()));
        EXPECT_EQ(ReadIniString("Logbook", "Path", Ini()), "🚗.sqlite3");
    }
}

TEST_F(PortSetting, UnicodeFileWithoutTheSettingGetsItInItsOwnEncoding) {
    for (const EditorFile& f : kEditorFiles) {
        SCOPED_TRACE(f.what);
        WriteBytes(Ini(), f.Bytes("[Logbook]" + f.end + "Path=記録.sqlite3"));
        EXPECT_EQ(LoadPortSetting(Paths()), 1);
        EXPECT_EQ(ReadBytes(Ini()), f.Bytes("[Logbook]" + f.end + "Path=記録.sqlite3" + f.end +
                                            "[シリアル通信設定]" + f.end + "ｼﾘｱﾙﾎﾟｰﾄ番号=1"));
    }
    // UTF-16's byte-order mark alone.
    WriteBytes(Ini(), "\xFF\xFE");
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_EQ(ReadBytes(Ini()),
              "\xFF\xFE" + Utf16("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=1\r\n", false));
    // A byte-order mark alone: the section follows it directly.
    WriteBytes(Ini(), "\xEF\xBB\xBF");
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_EQ(ReadBytes(Ini()), "\xEF\xBB\xBF[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=1\r\n");
}

TEST_F(PortSetting, Cp932FileRefusesWhatHasNoCp932FormAndStaysAsItWas) {
    const std::string before = Sjis("[Logbook]\r\nPath=記録.sqlite3\r\n");
    WriteBytes(Ini(), before);
    EXPECT_FALSE(WriteIniString("Logbook", "Path", "josé.sqlite3", Ini()));
    EXPECT_EQ(ReadBytes(Ini()), before);
    // A UTF-8 file that holds a byte no UTF-8 has (a byte-order mark makes it UTF-8 all the same):
    // that value reads as nothing, the rest as UTF-8.
    WriteBytes(Ini(), "\xEF\xBB\xBF[Ports]\nCOM1=\x83\x56\nCOM2=/dev/ttyUSB1\n");
    EXPECT_FALSE(ReadIniString(kPortsSection, "COM1", Ini()).has_value());
    EXPECT_EQ(ReadIniString(kPortsSection, "COM2", Ini()), "/dev/ttyUSB1");
}

TEST_F(PortSetting, AnIniThatIsNoFileOrTooLargeIsNeitherReadNorReplaced) {
    // A folder, a FIFO without a writer (which must not block), a device (/dev/zero never ends)
    // and a file far larger than any settings file.
    std::filesystem::create_directory(Ini());
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_TRUE(std::filesystem::is_directory(Ini()));
    std::filesystem::remove(Ini());
    ASSERT_EQ(mkfifo(Ini().c_str(), 0644), 0);
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_TRUE(std::filesystem::is_fifo(Ini()));
    std::filesystem::remove(Ini());
    std::filesystem::create_symlink("/dev/zero", Ini());
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(Ini()));
    std::filesystem::remove(Ini());
    const std::string huge = Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=4\r\n") + "; " +
                             std::string(2 << 20, 'x') + "\r\n";
    WriteBytes(Ini(), huge);
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_EQ(ReadBytes(Ini()), huge);
    std::filesystem::remove(Ini());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0);
}

TEST_F(PortSetting, AReadOnlyIniIsNotWrittenBack) {
    const std::string before = Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=07\r\n");
    WriteBytes(Ini(), before);
    ASSERT_EQ(chmod(Ini().c_str(), 0444), 0);
    EXPECT_EQ(LoadPortSetting(Paths()), 7);
    EXPECT_EQ(ReadBytes(Ini()), before);
}

TEST(FilePathsFromWorkingDirectory, AFolderThatIsGoneGivesNoPathsAtAll) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("gone"));
    test::ScopedCwd cwd(dir.File("gone"));
    std::filesystem::remove(dir.File("gone"));
    const FilePaths p = DeriveFilePaths();
    EXPECT_FALSE(p.Known());
    EXPECT_NE(p.problem, "");
    EXPECT_EQ(p.IniPath(), "");
    EXPECT_EQ(p.LogPath(), "");
    EXPECT_EQ(LoadPortSetting(p), 1);
    EXPECT_FALSE(test::Exists("/KORVANA.ini"));
}

TEST_F(PortSetting, NamesMatchIgnoringAsciiCaseOnly) {
    WriteBytes(Ini(), "[ports]\r\ncom3 = /dev/ttyACM0\r\n[\x82\x60]\r\nKEY=1\r\n");
    EXPECT_EQ(ReadIniString("PORTS", "COM3", Ini()), "/dev/ttyACM0");
    EXPECT_EQ(ReadIniInt("Ａ", "key", 7, Ini()), 1u);  // 0x82 0x60 is Ａ
    EXPECT_EQ(ReadIniInt("ａ", "key", 7, Ini()), 7u);  // 0x82 0x81 is another section
    EXPECT_FALSE(ReadIniString(kPortsSection, "COM4", Ini()).has_value());
    EXPECT_FALSE(ReadIniString(kPortsSection, "COM3", dir.File("missing.ini")).has_value());
}

TEST_F(PortSetting, AFileOfNoKnownEncodingIsReadAsFarAsItGoesAndNeverWritten) {
    const std::string setting = Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=4\r\n");
    const struct {
        const char* what;
        std::string bytes;
        int port;  // what can still be read
    } cases[] = {
        {"a byte that is not CP932", "[Ports]\r\nCOM1=\x81\r\n" + setting, 4},
        {"UTF-16 without its byte-order mark",
         Utf16("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=4\r\n", false), 1},
        {"UTF-16 cut in the middle of a character", "\xFF\xFE" + Utf16("[Ports]\r\n", false) + "C",
         1},
        {"a NUL byte", setting + std::string(1, '\0'), 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(Ini(), c.bytes);
        EXPECT_EQ(IniEncodingOf(c.bytes), IniEncoding::kUnknown);
        EXPECT_EQ(LoadPortSetting(Paths()), c.port);
        EXPECT_FALSE(WriteIniString(kPortsSection, "COM2", "/dev/ttyUSB0", Ini()));
        EXPECT_EQ(ReadBytes(Ini()), c.bytes);
        const auto problem = IniEncodingProblem(Ini());
        ASSERT_TRUE(problem.has_value());
        EXPECT_NE(problem->find(Ini()), std::string::npos) << *problem;
        EXPECT_NE(problem->find("unknown encoding"), std::string::npos) << *problem;
    }
    WriteBytes(Ini(), setting);
    EXPECT_FALSE(IniEncodingProblem(Ini()).has_value());
    EXPECT_FALSE(IniEncodingProblem(dir.File("missing.ini")).has_value());
}

TEST_F(PortSetting, UnwritableFolderFailsSilentlyAndUsesTheValueRead) {
    FilePaths p = Paths();
    p.strIniDir = dir.Path() + "/no-such-folder/";
    EXPECT_EQ(LoadPortSetting(p), 1);
    EXPECT_FALSE(test::Exists(p.IniPath()));
    EXPECT_FALSE(WriteIniString("a", "b", "c", p.IniPath()));
    // Nothing half-written is left beside a file that could not be replaced either.
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(PortSetting, SymlinkedFileStaysALinkAndUnreadableFileIsLeftAlone) {
    // A link to an INI file kept elsewhere: the file it names is updated, the link stays.
    WriteBytes(dir.File("real.ini"), Sjis("; kept\r\n"));
    std::filesystem::create_symlink(dir.File("real.ini"), Ini());
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(Ini()));
    EXPECT_EQ(ReadBytes(dir.File("real.ini")),
              Sjis("; kept\r\n[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=1\r\n"));

    // A file this user may not read is not replaced by one holding only the port number.
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    std::filesystem::remove(Ini());
    WriteBytes(Ini(), Sjis("[Ports]\r\nCOM1=/dev/ttyUSB0\r\n"));
    std::filesystem::permissions(Ini(), std::filesystem::perms::owner_write);
    EXPECT_FALSE(WriteIniString("a", "b", "c", Ini()));
    std::filesystem::permissions(Ini(), std::filesystem::perms::owner_all);
    EXPECT_EQ(ReadBytes(Ini()), Sjis("[Ports]\r\nCOM1=/dev/ttyUSB0\r\n"));
}

TEST(FilePathsFromWorkingDirectory, AreTheCurrentDirectoryAndTheFixedNames) {
    TempDir dir;
    test::ScopedCwd cwd(dir.Path());
    const FilePaths p = DeriveFilePaths();
    EXPECT_EQ(p.strCurDir, std::filesystem::canonical(dir.Path()).string());
    EXPECT_EQ(p.IniPath(), p.strCurDir + "/KORVANA.ini");
    EXPECT_EQ(p.LogPath(), p.strCurDir + "/KORVANA.log");
}

}  // namespace
}  // namespace odomei

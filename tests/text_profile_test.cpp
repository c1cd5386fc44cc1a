// CP932 text and the INI file: the port setting as Windows reads and writes it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "link/FilePaths.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "tests/TestSupport.h"

namespace odomei {
namespace {

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
        const char* stored;
        int port;
        const char* written;
    } cases[] = {
        {"3", 3, "3"},          {"12", 12, "12"},
        {"-2", -2, "-2"},       {" 7abc", 7, "7"},
        {"", 0, "0"},           {"  +42", 42, "42"},
        {"\"5\"", 5, "5"},      {"abc", 0, "0"},
        {"4294967297", 1, "1"}, {"2147483648", -2147483647 - 1, "-2147483648"},
        {"0x10", 0, "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        WriteBytes(Ini(), Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=") + c.stored + "\r\n");
        EXPECT_EQ(LoadPortSetting(Paths()), c.port);
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
    // A last line ending in a lone CR gets the LF that completes its line end, nothing more.
    WriteBytes(Ini(), "[Ports]\r\nCOM2=/dev/pts/7\r");
    EXPECT_EQ(LoadPortSetting(Paths()), 1);
    EXPECT_EQ(ReadBytes(Ini()),
              "[Ports]\r\nCOM2=/dev/pts/7\r\n" + Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=1"));
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
        // One CP932 line makes the whole file CP932, however much UTF-8 it holds.
        {"; 設定\r\n" + Sjis("[シリアル通信設定]\r\n"), IniEncoding::kCp932},
        // With a byte-order mark the file is UTF-8 even where a byte is not.
        {bom + Sjis("[シリアル通信設定]\r\n"), IniEncoding::kUtf8},
        // What UTF-8 forbids: overlong forms, surrogates, beyond U+10FFFF, cut short.
        {"x=\xC0\xAF", IniEncoding::kCp932},
        {"x=\xE0\x80\xAF", IniEncoding::kCp932},
        {"x=\xED\xA0\x80", IniEncoding::kCp932},
        {"x=\xF4\x90\x80\x80", IniEncoding::kCp932},
        {"x=\xE8\xA8", IniEncoding::kCp932},
        {"x=\xF0\x9F\x9A\x97", IniEncoding::kUtf8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(IniEncodingOf(c.bytes), c.encoding);
    }
}

// Files as editors save them: Notepad's UTF-8 with a byte-order mark and CR LF, UTF-8 without
// one, and Linux editors' UTF-8 with LF.
struct EditorFile {
    const char* what;
    std::string bom;
    std::string end;
};
const EditorFile kEditorFiles[] = {
    {"Notepad, byte-order mark, CR LF", "\xEF\xBB\xBF", "\r\n"},
    {"Notepad, no byte-order mark, CR LF", "", "\r\n"},
    {"Linux editor, LF", "", "\n"},
    {"byte-order mark, LF", "\xEF\xBB\xBF", "\n"},
};

TEST_F(PortSetting, Utf8FilesAreReadAndWrittenBackInTheirOwnEncoding) {
    for (const EditorFile& f : kEditorFiles) {
        SCOPED_TRACE(f.what);
        const std::string& n = f.end;
        const std::string before = f.bom + "; 燃費計の設定" + n + "[シリアル通信設定]" + n +
                                   " ｼﾘｱﾙﾎﾟｰﾄ番号 = 12" + n + "[Ports]" + n +
                                   "com12=/dev/serial/by-id/usb-ＵＳＢ-if00" + n + "[Logbook]" + n +
                                   "Path=\"記録/josé.sqlite3\"" + n;
        WriteBytes(Ini(), before);
        EXPECT_EQ(ReadIniString("Ports", "COM12", Ini()), "/dev/serial/by-id/usb-ＵＳＢ-if00");
        EXPECT_EQ(ReadIniString("Logbook", "path", Ini()), "記録/josé.sqlite3");
        const auto ports = ReadIniSection("Ports", Ini());
        ASSERT_EQ(ports.size(), 1u);
        EXPECT_EQ(ports[0].first, "com12");

        // The write-back changes the value's line only, in UTF-8.
        EXPECT_EQ(LoadPortSetting(Paths()), 12);
        std::string expected = before;
        expected.replace(expected.find(" ｼﾘｱﾙﾎﾟｰﾄ番号 = 12"),
                         std::string(" ｼﾘｱﾙﾎﾟｰﾄ番号 = 12").size(), "ｼﾘｱﾙﾎﾟｰﾄ番号=12");
        EXPECT_EQ(ReadBytes(Ini()), expected);
        ASSERT_TRUE(WriteIniString("シリアル通信設定", "ｼﾘｱﾙﾎﾟｰﾄ番号", "3", Ini()));
        expected.replace(expected.find("ｼﾘｱﾙﾎﾟｰﾄ番号=12"), std::string("ｼﾘｱﾙﾎﾟｰﾄ番号=12").size(),
                         "ｼﾘｱﾙﾎﾟｰﾄ番号=3");
        EXPECT_EQ(ReadBytes(Ini()), expected);

        // A value with no CP932 form can go into a UTF-8 file, and keys and sections added are
        // UTF-8 with the file's line end.
        ASSERT_TRUE(WriteIniString("Logbook", "Path", "ñ.sqlite3", Ini()));
        ASSERT_TRUE(WriteIniString("表示", "単位", "ｋｍ／Ｌ", Ini()));
        expected.replace(expected.find("Path=\"記録/josé.sqlite3\""),
                         std::string("Path=\"記録/josé.sqlite3\"").size(), "Path=ñ.sqlite3");
        EXPECT_EQ(ReadBytes(Ini()), expected + "[表示]" + n + "単位=ｋｍ／Ｌ" + n);
    }
}

TEST_F(PortSetting, Utf8FileWithoutTheSettingGetsItInUtf8) {
    for (const EditorFile& f : kEditorFiles) {
        SCOPED_TRACE(f.what);
        WriteBytes(Ini(), f.bom + "[Logbook]" + f.end + "Path=記録.sqlite3");
        EXPECT_EQ(LoadPortSetting(Paths()), 1);
        EXPECT_EQ(ReadBytes(Ini()), f.bom + "[Logbook]" + f.end + "Path=記録.sqlite3" + f.end +
                                        "[シリアル通信設定]" + f.end + "ｼﾘｱﾙﾎﾟｰﾄ番号=1");
    }
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
    EXPECT_FALSE(ReadIniString("Ports", "COM1", Ini()).has_value());
    EXPECT_EQ(ReadIniString("Ports", "COM2", Ini()), "/dev/ttyUSB1");
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
    EXPECT_FALSE(ReadIniString("Ports", "COM4", Ini()).has_value());
    EXPECT_FALSE(ReadIniString("Ports", "COM3", dir.File("missing.ini")).has_value());
}

TEST_F(PortSetting, BrokenFileContentIsReadAroundAndKept) {
    // Bytes that are not CP932 and a huge value.
    const std::string before = "[Ports]\r\nCOM1=\x81\r\n" +
                               Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=") +
                               std::string(5000, '9') + "\r\n";
    WriteBytes(Ini(), before);
    EXPECT_FALSE(ReadIniString("Ports", "COM1", Ini()).has_value());
    const int port = LoadPortSetting(Paths());
    EXPECT_EQ(ReadBytes(Ini()), "[Ports]\r\nCOM1=\x81\r\n" +
                                    Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=") +
                                    std::to_string(port) + "\r\n");
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

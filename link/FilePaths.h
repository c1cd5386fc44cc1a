// Where the program keeps its files (the working directory) and the port setting in its INI file.
#pragma once

#include <string>

namespace odomei {

struct FilePaths {
    std::string strCurDir;   // the working directory as the system gives it
    std::string strLogDir;   // strCurDir and a separator
    std::string strIniDir;   // strCurDir and a separator
    std::string strLogFile;  // "KORVANA.log"
    std::string strIniFile;  // "KORVANA.ini"

    std::string LogPath() const { return strLogDir + strLogFile; }
    std::string IniPath() const { return strIniDir + strIniFile; }
};

inline constexpr const char* kIniFileName = "KORVANA.ini";
inline constexpr const char* kLogFileName = "KORVANA.log";
inline constexpr const char* kPortSection = "シリアル通信設定";
inline constexpr const char* kPortKey = "ｼﾘｱﾙﾎﾟｰﾄ番号";
constexpr int kDefaultPort = 1;

// The file locations derived from the process's current directory.
FilePaths DeriveFilePaths();

// Reads the port number from the INI file (default 1), as the platform reads INI integers.
int ReadPortSetting(const FilePaths& paths);

// Reads the port number and writes it straight back in decimal.
// A file that cannot be written is passed over silently.
int LoadPortSetting(const FilePaths& paths);

}  // namespace odomei

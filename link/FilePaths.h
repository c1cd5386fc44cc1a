// Where the program keeps its files (the working directory) and the port setting in its INI file.
#pragma once

#include <optional>
#include <string>

#include "data/TextsJa.h"
#include "platform/PortMap.h"

namespace odomei {

struct FilePaths {
    std::string strCurDir;   // the working directory as the system gives it
    std::string strLogDir;   // strCurDir and a separator
    std::string strIniDir;   // strCurDir and a separator
    std::string strLogFile;  // "KORVANA.log"
    std::string strIniFile;  // "KORVANA.ini"
    // The working directory could not be determined: then there is no INI file and no log, and
    // problem says why (the paths would otherwise lead into the root folder).
    std::string problem;
    bool Known() const { return problem.empty(); }

    std::string LogPath() const { return Known() ? strLogDir + strLogFile : std::string(); }
    std::string IniPath() const { return Known() ? strIniDir + strIniFile : std::string(); }
};

inline constexpr const char* kIniFileName = "KORVANA.ini";
inline constexpr const char* kLogFileName = "KORVANA.log";
inline constexpr const char* kPortSection = "シリアル通信設定";
inline constexpr const char* kPortKey = "ｼﾘｱﾙﾎﾟｰﾄ番号";
constexpr int kDefaultPort = 1;

// The file locations derived from the process's current directory.
FilePaths DeriveFilePaths();

inline constexpr const char* kLogbookSection = "Logbook";
inline constexpr const char* kLogbookPathKey = "Path";
inline constexpr const char* kLogbookUnitsKey = "Units";

// The logbook's file: [Logbook] Path= of the INI file (a relative one under the INI file's folder,
// as the system resolves the rest) where it is set, else odomei-logbook.sqlite3 in the working
// directory; empty without a working directory.
std::string LogbookPath(const FilePaths& paths);

// Reads the port number from the INI file (default 1), as the platform reads INI integers; a
// number beyond the 32-bit range reads as the nearest end of it, and *fits (if given) says false.
// Without a working directory: 1.
int ReadPortSetting(const FilePaths& paths, bool* fits = nullptr);

// The port a first start settles on.
struct FirstPort {
    int port = kDefaultPort;
    bool chosen = false;  // an adapter was chosen and written to the new INI file
    std::string why;      // for standard error: which port, and why
};

// The first start: when there is no INI file yet and the machine has exactly one USB serial
// adapter (a port the system places on USB: on Linux a ttyUSB or ttyACM with a USB device above
// it in sysfs), that adapter's COM number is written to a new INI file, and on Linux a [Ports]
// entry leading to it by its /dev/serial/by-id name where it has one, else by its device. With
// none or several, COM1 as ever, and nothing is written here. Nothing at all when the INI file
// exists or the working directory is unknown. lister may be null (no machine ports).
std::optional<FirstPort> ChooseFirstPort(const FilePaths& paths, const PortLister* lister,
                                         const std::string& byIdDir = PortMap::kByIdDir);

// Reads the port number and writes it straight back in decimal (not without a working
// directory, and not a number beyond the 32-bit range, which the file keeps as it was written);
// at the first start ChooseFirstPort decides it first, and note (if given) receives its why. A
// file that cannot be written is passed over silently.
int LoadPortSetting(const FilePaths& paths, const PortLister* lister = nullptr,
                    std::string* note = nullptr, const std::string& byIdDir = PortMap::kByIdDir);

}  // namespace odomei

// Where the program keeps its files: the working directory, the INI file, the log and the logbook.
#pragma once

#include <string>

#include "data/TextsJa.h"

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

// The file locations derived from the process's current directory.
FilePaths DeriveFilePaths();

inline constexpr const char* kLogbookSection = "Logbook";
inline constexpr const char* kLogbookPathKey = "Path";
inline constexpr const char* kLogbookUnitsKey = "Units";
inline constexpr const char* kLogbookVehicleKey = "Vehicle";  // the vehicle reads are kept with

// The logbook's file: [Logbook] Path= of the INI file (a relative one under the INI file's folder,
// as the system resolves the rest) where it is set, else odomei-logbook.sqlite3 in the working
// directory; empty without a working directory.
std::string LogbookPath(const FilePaths& paths);

// The vehicle selected ([Logbook] Vehicle= of the INI file); empty where none is set (the
// logbook's first is meant then). Writing it: false when the INI file cannot take it.
std::string VehicleSetting(const FilePaths& paths);
bool WriteVehicleSetting(const FilePaths& paths, const std::string& name);

}  // namespace odomei

#include "link/FilePaths.h"

#include "data/Logbook.h"
#include "platform/Files.h"
#include "platform/Profile.h"

namespace odomei {

FilePaths DeriveFilePaths() {
    FilePaths paths;
    Failure why;
    paths.strCurDir = CurrentDirectory(&why).value_or("");
    paths.problem = why.reason.en;
    paths.strIniDir = paths.strCurDir + kPathSeparator;
    paths.strIniFile = kIniFileName;
    paths.strLogDir = paths.strCurDir + kPathSeparator;
    paths.strLogFile = kLogFileName;
    return paths;
}

std::string LogbookPath(const FilePaths& paths) {
    if (!paths.Known()) return {};
    const auto set = ReadIniString(kLogbookSection, kLogbookPathKey, paths.IniPath());
    if (set && !set->empty()) return ResolvePath(paths.strIniDir, *set);
    return paths.strCurDir + kPathSeparator + kLogbookFileName;
}

std::string VehicleSetting(const FilePaths& paths) {
    if (!paths.Known()) return {};
    return ReadIniString(kLogbookSection, kLogbookVehicleKey, paths.IniPath()).value_or("");
}

bool WriteVehicleSetting(const FilePaths& paths, const std::string& name) {
    return paths.Known() &&
           WriteIniString(kLogbookSection, kLogbookVehicleKey, name, paths.IniPath());
}

}  // namespace odomei

#include "link/FilePaths.h"

#include "data/Logbook.h"
#include "platform/Files.h"
#include "platform/Profile.h"

namespace odomei {

FilePaths DeriveFilePaths() {
    FilePaths paths;
    paths.strCurDir = CurrentDirectory(&paths.problem).value_or("");
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

int ReadPortSetting(const FilePaths& paths) {
    if (!paths.Known()) return kDefaultPort;
    return static_cast<int>(ReadIniInt(kPortSection, kPortKey, kDefaultPort, paths.IniPath()));
}

int LoadPortSetting(const FilePaths& paths) {
    const int port = ReadPortSetting(paths);
    if (!paths.Known()) return port;
    WriteIniString(kPortSection, kPortKey, std::to_string(port), paths.IniPath());
    return port;
}

}  // namespace odomei

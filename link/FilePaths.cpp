#include "link/FilePaths.h"

#include "platform/Files.h"
#include "platform/Profile.h"

namespace odomei {

FilePaths DeriveFilePaths() {
    FilePaths paths;
    paths.strCurDir = CurrentDirectory().value_or("");
    paths.strIniDir = paths.strCurDir + "/";
    paths.strIniFile = kIniFileName;
    paths.strLogDir = paths.strCurDir + "/";
    paths.strLogFile = kLogFileName;
    return paths;
}

int ReadPortSetting(const FilePaths& paths) {
    return static_cast<int>(ReadIniInt(kPortSection, kPortKey, kDefaultPort, paths.IniPath()));
}

int LoadPortSetting(const FilePaths& paths) {
    const int port = ReadPortSetting(paths);
    WriteIniString(kPortSection, kPortKey, std::to_string(port), paths.IniPath());
    return port;
}

}  // namespace odomei

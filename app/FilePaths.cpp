#include "app/FilePaths.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/Profile.h"

namespace odomei {

FilePaths DeriveFilePaths() {
    FilePaths paths;
    // No fixed limit on Linux: the buffer grows until the whole directory fits.
    std::vector<char> buf(256);
    while (getcwd(buf.data(), buf.size()) == nullptr && errno == ERANGE) {
        buf.resize(buf.size() * 2);
    }
    paths.strCurDir = buf.data();
    paths.strIniDir = paths.strCurDir + "/";
    paths.strIniFile = kIniFileName;
    paths.strLogDir = paths.strCurDir + "/";
    paths.strLogFile = kLogFileName;
    return paths;
}

int LoadPortSetting(const FilePaths& paths) {
    const int port = static_cast<int>(
        GetPrivateProfileInt(kPortSection, kPortKey, kDefaultPort, paths.IniPath()));
    WritePrivateProfileString(kPortSection, kPortKey, std::to_string(port), paths.IniPath());
    return port;
}

}  // namespace odomei

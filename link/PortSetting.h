// The port setting in the INI file: where it is kept, reading it and writing it back, the choice a
// first start makes, and keeping a port chosen in the chooser.
#pragma once

#include <optional>
#include <string>

#include "link/FilePaths.h"
#include "platform/PortMap.h"

namespace odomei {

inline constexpr const char* kPortSection = "シリアル通信設定";
inline constexpr const char* kPortKey = "ｼﾘｱﾙﾎﾟｰﾄ番号";
constexpr int kDefaultPort = 1;

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

// Keeps a chosen port for the next start: COMn's [Ports] entry leading to device, then the port
// number n. Windows' own name for the same number needs no entry, unless one already leads
// elsewhere. False when the file could not take it, or there is no working directory.
bool WritePortChoice(const FilePaths& paths, int number, const std::string& device);

}  // namespace odomei

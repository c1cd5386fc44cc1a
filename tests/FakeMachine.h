// A machine of the tests' own for the port survey: sysfs, /dev and /proc trees in a temporary
// folder, so that the survey lists only the [Ports] entries and the adapters a test adds, and no
// search ever reaches the machine's real ports.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "link/PortSurvey.h"
#include "tests/TestSupport.h"
#include "ui/PortPresenter.h"  // PortSurveyor

namespace odomei::test {

class FakeMachine {
public:
    FakeMachine() {
        namespace fs = std::filesystem;
        roots.sys = m_dir.File("sys");
        roots.dev = m_dir.File("dev");
        roots.proc = m_dir.File("proc");
        roots.usrLib = m_dir.File("usr-lib");
        roots.etc = m_dir.File("etc");
        for (const std::string& d : {roots.sys + "/class/tty", roots.dev + "/serial/by-id",
                                     roots.proc, roots.usrLib, roots.etc}) {
            fs::create_directories(d);
        }
    }

    // A USB serial adapter as the kernel shows it: its tty in the class folder, its USB device's
    // attributes, a node in /dev (a terminal of its own that nothing answers on) and its by-id
    // name. Returns the node's path.
    std::string AddUsbAdapter(const std::string& tty, const std::string& vendor,
                              const std::string& product, const std::string& description,
                              const std::string& serial, const std::string& manufacturer = "FTDI") {
        namespace fs = std::filesystem;
        const std::string usb = roots.sys + "/devices/usb1/1-" + tty;
        const std::string port = usb + "/1-" + tty + ":1.0/" + tty;
        fs::create_directories(port);
        for (const auto& [name, value] : {std::pair<const char*, std::string>{"idVendor", vendor},
                                          {"idProduct", product},
                                          {"product", description},
                                          {"manufacturer", manufacturer},
                                          {"serial", serial}}) {
            WriteBytes(usb + "/" + name, value + "\n");
        }
        fs::create_directories(roots.sys + "/class/tty/" + tty);
        fs::create_directory_symlink(port, roots.sys + "/class/tty/" + tty + "/device");
        const std::string node = roots.dev + "/" + tty;
        m_terminals.Add(node, tty);
        // udev's name: usb-<manufacturer>_<product>_<serial>-if00-port0, blanks made '_'.
        std::string name = "usb-" + manufacturer + "_" + description + "_" + serial + "-if00-port0";
        std::replace(name.begin(), name.end(), ' ', '_');
        fs::create_symlink(node, roots.dev + "/serial/by-id/" + name);
        return node;
    }

    // The node in /dev of a tty the test puts in the class folder itself. Returns its path.
    std::string AddTerminal(const std::string& tty) {
        const std::string node = roots.dev + "/" + tty;
        m_terminals.Add(node, tty);
        return node;
    }

    PortSurveyor Surveyor() const {
        return [roots = roots](const std::string& iniPath, int configured) {
            return SurveyPorts(iniPath, configured, roots);
        };
    }

    SurveyRoots roots;

private:
    TempDir m_dir;
    FakeTerminals m_terminals{m_dir.File("sys"), m_dir.File("proc")};
};

}  // namespace odomei::test

// odomei-cli doctor: everything a read needs, looked at without opening any port: the port
// setting and where it leads, every serial port and what stands in its way, the INI file, the
// communication log and the logbook, and the verdict.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "cli/Commands.h"
#include "cli/JsonText.h"
#include "data/Logbook.h"
#include "link/FilePaths.h"
#include "link/PortSetting.h"
#include "link/PortSurvey.h"
#include "link/SerialPort.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "platform/Text.h"

namespace odomei::cli {
namespace {

struct FileCheck {
    std::string path;
    bool exists = false;
    bool writable = false;
    std::string note;  // why not, or what happens
};

struct IniCheck {
    std::string path;
    bool found = false;
    std::string encoding;  // "CP932", "UTF-8 with BOM", "UTF-8 without BOM", "ASCII", ...
    bool settingPresent = false;
    int setting = kDefaultPort;
    std::string note;
};

IniCheck CheckIni(const FilePaths& paths) {
    IniCheck ini;
    ini.path = paths.IniPath();
    if (ini.path.empty()) {
        ini.note = "no working directory: " + paths.problem;
        return ini;
    }
    std::string bytes;
    Failure problem;
    const ReadResult read = ReadRegularFile(ini.path, kMaxIniBytes, &bytes, &problem);
    ini.found = read == ReadResult::kRead;
    if (read == ReadResult::kMissing) ini.note = "not there: the defaults apply (COM1)";
    if (read == ReadResult::kUnusable) ini.note = "cannot be read: " + problem.reason.en;
    if (ini.found) ini.encoding = DescribeIniEncoding(bytes);
    ini.setting = ReadPortSetting(paths);
    ini.settingPresent = ini.found && IniHasKey(kPortSection, kPortKey, ini.path);
    if (ini.found && !ini.settingPresent) ini.note = "no port setting: COM1 applies";
    // A file of no known encoding is read as far as it goes, and the program writes nothing into
    // it.
    if (ini.found && IniEncodingOf(bytes) == odomei::IniEncoding::kUnknown)
        ini.note =
            "read only as far as it goes (COM1 where the setting cannot be read), and never "
            "written: not even the port chooser's choice is kept";
    return ini;
}

// Whether a file the program writes can be written, without writing it. A file that is not there
// yet is made in its folder; where writing the file makes others beside it (SQLite's journal),
// its folder must take them as well.
FileCheck CheckWritable(const std::string& path, const std::string& whenMissing,
                        bool writesBeside = false) {
    FileCheck check;
    check.path = path;
    if (path.empty()) {
        check.note = "no working directory to keep it in";
        return check;
    }
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    // As the file's own permissions say, not as root may: root is refused as everyone else is.
    const FileFacts dir = LookAtFile(folder.string());
    const FileFacts file = LookAtFile(path);
    check.exists = file.exists;
    if (file.exists) {
        check.writable = file.regular && file.writable && (!writesBeside || dir.writable);
        if (!file.regular)
            check.note = "not a regular file";
        else if (!file.writable)
            check.note = "read-only: make it writable (chmod u+w)";
        else if (!check.writable)
            check.note = "its folder " + folder.string() +
                         " is read-only, and every write makes its journal there: make the "
                         "folder writable, or keep the logbook elsewhere ([" +
                         kLogbookSection + "] " + kLogbookPathKey + "= in the INI file)";
        return check;
    }
    check.writable = dir.exists && dir.writable;
    check.note = !dir.exists    ? "its folder " + folder.string() + " is not there"
                 : dir.writable ? whenMissing
                                : "its folder " + folder.string() + " is read-only";
    return check;
}

FileCheck CheckLogbook(const std::string& path) {
    FileCheck check = CheckWritable(path, "not there yet: the first read makes it", true);
    if (!check.exists) return check;
    Failure error;
    if (!Logbook::Open(path, &error)) {
        check.writable = false;
        check.note = FailureLine(error);
    }
    return check;
}

nlohmann::json PortJson(const SurveyedPort& p) {
    nlohmann::json j = {{"number", p.number},
                        {"name", p.number ? ComName(p.number) : ""},
                        {"device", p.device},
                        {"stable_name", p.stableName},
                        {"description", p.info.description},
                        {"manufacturer", p.info.manufacturer},
                        {"usb_id", UsbIdText(p.info)},
                        {"serial_number", p.info.serialNumber},
                        {"usb", p.usb},
                        {"state", PortStateName(p.state)},
                        {"holder", p.holder},
                        {"holder_pid", p.holderPid},
                        {"reason", p.reason.en},
                        {"current", p.current},
                        {"from_ini", p.fromIni}};
    return j;
}

nlohmann::json FileJson(const FileCheck& f) {
    return {{"path", f.path}, {"exists", f.exists}, {"writable", f.writable}, {"note", f.note}};
}

}  // namespace

int RunDoctor(const DoctorOptions& options) {
    const FilePaths paths = DeriveFilePaths();
    const IniCheck ini = CheckIni(paths);
    const std::string name = options.port.empty() ? PortName(ini.setting) : options.port;
    const auto number = ComNumber(name);
    const PortSurvey survey = SurveyPorts(paths.IniPath(), number.value_or(0));
    const PortVerdict verdict = DiagnosePortName(name, paths.IniPath());
    const FileCheck log = CheckWritable(paths.LogPath(), "not there yet: the first start makes it");
    const FileCheck book = CheckLogbook(LogbookPath(paths));
    const SurveyedPort* current = nullptr;
    for (const SurveyedPort& p : survey.ports) {
        if (p.current) current = &p;
    }
    const std::string from = !number                       ? "--port"
                             : current && current->fromIni ? "[Ports] in " + paths.IniPath()
                             : current                     ? "the system's port list"
                                                           : "";

    if (options.json) {
        nlohmann::json ports = nlohmann::json::array();
        for (const SurveyedPort& p : survey.ports) ports.push_back(PortJson(p));
        nlohmann::json candidates = nlohmann::json::array();
        for (const SurveyedPort& p : verdict.candidates) candidates.push_back(PortJson(p));
        nlohmann::json findings = nlohmann::json::array();
        for (const Reason& f : survey.findings) findings.push_back(f.en);
        nlohmann::json doc = {{"port",
                               {{"name", name},
                                {"setting", ini.setting},
                                {"device", verdict.device},
                                {"stable_name", current ? current->stableName : ""},
                                {"mapped_by", from}}},
                              {"ports", ports},
                              {"findings", findings},
                              {"ini",
                               {{"path", ini.path},
                                {"found", ini.found},
                                {"encoding", ini.encoding},
                                {"setting_present", ini.settingPresent},
                                {"setting", ini.setting},
                                {"note", ini.note}}},
                              {"log", FileJson(log)},
                              {"logbook", FileJson(book)},
                              {"verdict",
                               {{"usable", verdict.usable},
                                {"state", PortStateName(verdict.state)},
                                {"device", verdict.device},
                                {"reason", verdict.reason.en},
                                {"candidates", candidates}}}};
        // Paths and the system's names are bytes: a folder named in CP932 is no UTF-8.
        MendUtf8(doc, kSnakeHexSuffix);
        std::printf("%s\n", doc.dump(2).c_str());
        return verdict.usable ? kExitOk : kExitPortFailed;
    }

    std::printf("Port: %s", name.c_str());
    if (options.port.empty()) {
        std::printf(" (%s=%d%s)", kPortKey, ini.setting, ini.settingPresent ? "" : ", the default");
    }
    std::printf("\n  leads to: %s\n", verdict.device.empty() ? "nothing" : verdict.device.c_str());
    if (!from.empty()) std::printf("  mapped by: %s\n", from.c_str());
    if (current && !current->stableName.empty())
        std::printf("  stable name: %s\n", current->stableName.c_str());

    std::printf("Serial ports:\n");
    if (survey.ports.empty()) std::printf("  none\n");
    for (const SurveyedPort& p : survey.ports) {
        const std::string label = p.number ? ComName(p.number) : "-";
        std::printf("%c %-6s %-16s %s", p.current ? '*' : ' ', label.c_str(),
                    p.device.empty() ? "(unusable)" : p.device.c_str(), PortStateName(p.state));
        if (!p.holder.empty()) std::printf(" by %s (PID %d)", p.holder.c_str(), p.holderPid);
        std::printf("\n");
        std::string details = p.info.description;
        if (const std::string id = UsbIdText(p.info); !id.empty())
            details += (details.empty() ? "" : ", ") + id;
        if (!details.empty()) std::printf("           %s\n", details.c_str());
        if (!p.stableName.empty()) std::printf("           %s\n", p.stableName.c_str());
        if (!p.reason.en.empty()) std::printf("           %s\n", p.reason.en.c_str());
    }
    for (const Reason& f : survey.findings) std::printf("Finding: %s\n", f.en.c_str());

    std::printf("INI file: %s\n", ini.path.empty() ? "none" : ini.path.c_str());
    if (ini.found) std::printf("  found, %s\n", ini.encoding.c_str());
    if (!ini.note.empty()) std::printf("  %s\n", ini.note.c_str());
    for (const auto& [title, f] : {std::pair{"Communication log", &log}, {"Logbook", &book}}) {
        std::printf("%s: %s\n  %s%s%s\n", title, f->path.empty() ? "none" : f->path.c_str(),
                    f->writable ? "writable" : "not writable", f->note.empty() ? "" : ": ",
                    f->note.c_str());
    }
    if (verdict.usable) {
        std::printf("Verdict: a read can start now.\n");
    } else {
        std::printf("Verdict: a read cannot start (%s).\n", PortStateName(verdict.state));
    }
    if (!verdict.reason.en.empty()) std::printf("  %s\n", verdict.reason.en.c_str());
    return verdict.usable ? kExitOk : kExitPortFailed;
}

}  // namespace odomei::cli

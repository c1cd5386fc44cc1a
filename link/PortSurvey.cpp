#include "link/PortSurvey.h"

#include <algorithm>

#include "link/PortSetting.h"
#include "link/SerialPort.h"
#include "platform/PortAdvice.h"

namespace odomei {
namespace {

constexpr unsigned kOwnerRw = 0600;
constexpr unsigned kGroupRw = 0060;
constexpr unsigned kOtherRw = 0006;
constexpr const char* kModemManagerName = "ModemManager";

// The machine's list as the survey read it, so a map numbers exactly those ports.
class FixedLister final : public PortLister {
public:
    explicit FixedLister(std::vector<PortInfo> ports) : m_ports(std::move(ports)) {}
    std::vector<PortInfo> SerialPorts() const override { return m_ports; }

private:
    std::vector<PortInfo> m_ports;
};

std::string HolderText(const Holder& h) {
    return (h.name.empty() ? std::string("a program") : h.name) +
           (h.pid ? " (PID " + std::to_string(h.pid) + ")" : "");
}

// A tty of another kind with a device behind it is opened where the user named it ([Ports] or a
// device path); a virtual terminal never is.
bool Usable(const SurveyedPort& port, bool explicitChoice, bool hardware) {
    return port.state == PortState::kFree ||
           (port.state == PortState::kOtherDevice && explicitChoice && hardware);
}

// What a path that is no terminal is instead, in both languages.
Reason NodeText(NodeKind kind) {
    switch (kind) {
        case NodeKind::kTerminal: break;
        case NodeKind::kCharacter:
            return {"a character device that is not a terminal", "端末でないキャラクターデバイス"};
        case NodeKind::kDirectory: return {"a folder", "フォルダー"};
        case NodeKind::kFifo: return {"a named pipe (FIFO)", "名前付きパイプ (FIFO)"};
        case NodeKind::kSocket: return {"a socket", "ソケット"};
        case NodeKind::kBlock: return {"a block device (a disk)", "ブロックデバイス (ディスク)"};
        case NodeKind::kRegular: return {"a regular file", "通常のファイル"};
        case NodeKind::kOther: return {"no device file", "デバイスファイルでないもの"};
    }
    return {};
}

// "COM2 (/dev/ttyUSB0, FT232R USB UART)".
std::string PortLabel(const SurveyedPort& p) {
    std::string label = p.number ? ComName(p.number) + " (" + p.device : p.device;
    if (!p.info.description.empty()) label += (p.number ? ", " : " (") + p.info.description;
    if (p.number || !p.info.description.empty()) label += ")";
    return label;
}

Reason CandidateTexts(const std::vector<SurveyedPort>& candidates) {
    if (candidates.empty()) {
        return {"No other serial port is free on this computer.",
                "ほかに使えるシリアルポートはありません。"};
    }
    std::string list;
    for (const SurveyedPort& p : candidates) list += (list.empty() ? "" : ", ") + PortLabel(p);
    return {"Ports that could be the meter's: " + list + ".", "メーターのポートの候補: " + list};
}

// More words after a reason: a sentence after a space in English, a line of its own in Japanese.
void Append(Reason& reason, const Reason& more) {
    if (!more.en.empty()) {
        if (!reason.en.empty()) reason.en += reason.en.back() == '\n' ? "" : " ";
        reason.en += more.en;
    }
    if (!more.ja.empty()) {
        if (!reason.ja.empty()) reason.ja += "\n";
        reason.ja += more.ja;
    }
}

struct Survey {
    MachineFacts machine;
    PortSurvey survey;
};

Survey SurveyAll(const std::string& iniPath, int configuredNumber, const SurveyRoots& roots) {
    Survey s;
    s.machine = GatherMachineFacts(roots);
    const FixedLister lister(s.machine.ports);
    const PortMap map(iniPath, &lister);
    std::vector<std::string> reached;
    for (const PortMapping& m : map.Mappings(roots.dev + "/serial/by-id")) {
        SurveyedPort port;
        if (m.device.empty()) {
            port.state = PortState::kMissing;
            port.reason.en = m.problem;
            port.reason.ja = "INIファイルの[Ports]の" + ComName(m.number) +
                             "の値が使えません(空か、CP932でない文字です)。";
        } else {
            const PortFacts facts = GatherPortFacts(m.device, s.machine, roots);
            port = JudgePort(facts, s.machine);
            port.stableName = m.stableName;
            reached.push_back(m.device);
            if (facts.listed) reached.push_back(facts.info.device);
            // The list's own name for it (Windows lists COM3 for \\.\COM3).
            if (m.listed) reached.push_back(m.info.device);
        }
        port.number = m.number;
        port.fromIni = m.fromIni;
        port.current = m.number == configuredNumber;
        s.survey.ports.push_back(std::move(port));
    }
    // The machine's other ttys: reached by no number, never chosen by themselves.
    for (const PortInfo& info : s.machine.ports) {
        if (std::find(reached.begin(), reached.end(), info.device) != reached.end()) continue;
        SurveyedPort port = JudgePort(GatherPortFacts(info.device, s.machine, roots), s.machine);
        port.stableName = StableNameOf(info.device, roots.dev + "/serial/by-id");
        s.survey.ports.push_back(std::move(port));
    }
    for (Reason& t : AdapterAdvice(s.machine)) s.survey.findings.push_back(std::move(t));
    const auto usb = std::find_if(s.survey.ports.begin(), s.survey.ports.end(),
                                  [](const SurveyedPort& p) { return p.usb; });
    if (s.machine.modemManagerPid != 0 &&
        (usb != s.survey.ports.end() || !s.machine.adaptersWithoutTty.empty())) {
        s.survey.findings.push_back(
            ModemManagerAdvice(s.machine, usb != s.survey.ports.end() ? usb->info : PortInfo{}));
    }
    return s;
}

// The free ports a meter could be on, USB adapters first; each device once, however many names
// lead to it, and never the one the setting leads to.
std::vector<SurveyedPort> Candidates(const PortSurvey& survey, const SurveyedPort& current) {
    auto identity = [](const SurveyedPort& p) {
        return p.info.device.empty() ? p.device : p.info.device;
    };
    std::vector<std::string> seen = {identity(current)};
    std::vector<SurveyedPort> candidates;
    for (const bool usb : {true, false}) {
        for (const SurveyedPort& p : survey.ports) {
            if (p.state != PortState::kFree || p.usb != usb || p.device.empty() || p.number == 0 ||
                std::find(seen.begin(), seen.end(), identity(p)) != seen.end()) {
                continue;
            }
            seen.push_back(identity(p));
            candidates.push_back(p);
        }
    }
    return candidates;
}

}  // namespace

const char* PortStateName(PortState state) {
    switch (state) {
        case PortState::kFree: return "free";
        case PortState::kInUse: return "in use";
        case PortState::kNoPermission: return "no permission";
        case PortState::kMissing: return "missing";
        case PortState::kConsole: return "console";
        case PortState::kOtherDevice: return "other device";
        case PortState::kFailed: return "failed";
        case PortState::kNotSerial: return "not a serial port";
    }
    return "unknown";
}

bool MayReadWrite(const NodeAccess& access, const UserFacts& user) {
    if (!access.known || !user.known || user.uid == 0) return true;  // root passes every check
    if (access.uid == user.uid) return (access.mode & kOwnerRw) == kOwnerRw;
    const bool inGroup =
        std::find(user.groups.begin(), user.groups.end(), access.gid) != user.groups.end();
    if (inGroup) return (access.mode & kGroupRw) == kGroupRw;
    return (access.mode & kOtherRw) == kOtherRw;
}

SurveyedPort JudgePort(const PortFacts& facts, const MachineFacts& machine) {
    SurveyedPort port;
    port.device = facts.device;
    port.info = facts.info;
    port.usb = facts.usb;
    const std::string& d = facts.device;
    const std::string failure = DriverFailureText(facts);
    if (!facts.exists) {
        port.state = PortState::kMissing;
        port.reason.en = d + " is not there: is the adapter plugged in?";
        port.reason.ja = d + " がありません。変換器が接続されているか確認して下さい。";
    } else if (facts.node != NodeKind::kTerminal) {
        // Nothing else matters then: neither who holds it nor its permissions make it a port.
        const Reason what = NodeText(facts.node);
        port.state = PortState::kNotSerial;
        port.reason.en = d + " is not a serial port: it is " + what.en + ".";
        port.reason.ja = d + " はシリアルポートではありません (" + what.ja + "です)。";
    } else if (!facts.console.empty()) {
        port.state = PortState::kConsole;
        const std::string how = ConsoleText(facts.console);
        port.reason.en = d + " is the system's console (" + how +
                         "): bytes sent there would reach its login prompt or its log, so it is "
                         "never opened.";
        port.reason.ja = d + " はシステムのコンソールです (" + how +
                         ")。送ったデータがログインやログに届くため、このポートは開きません。";
    } else if (facts.noUart) {
        port.state = PortState::kMissing;
        port.reason.en = "the kernel keeps " + d +
                         " but found no serial port hardware behind it (type 0): it cannot be "
                         "opened.";
        port.reason.ja = d + " にはシリアルポートのハードウェアがありません (type 0)。";
    } else if (!facts.otherClass.empty()) {
        port.state = PortState::kOtherDevice;
        port.reason.en = d + " is " + facts.otherClass +
                         ": it is not tried by itself; name it in [Ports] to use it.";
        port.reason.ja = d + " はシリアルポートとして扱いません (" + facts.otherClass + ")。";
    } else if (!failure.empty()) {
        port.state = PortState::kFailed;
        port.reason.en = "the driver of " + d + " did not start (" + failure +
                         "): unplug the adapter and plug it in again, or reinstall its driver.";
        port.reason.ja = d + " のドライバーが開始できません (" + failure +
                         ")。変換器を接続し直すか、ドライバーを入れ直して下さい。";
    } else if (!facts.holders.empty()) {
        const Holder& h = facts.holders.front();
        port.state = PortState::kInUse;
        port.holder = h.name;
        port.holderPid = h.pid;
        port.reason.en = d + " is in use by " + HolderText(h) + ": end that program and try again.";
        port.reason.ja = d + " は他のプログラム (" + HolderText(h) +
                         ") が使用中です。そのプログラムを終了してからやり直して下さい。";
        if (h.name == kModemManagerName) {
            const Reason mm = ModemManagerAdvice(machine, facts.info);
            port.reason.en = d + " is in use by " + HolderText(h) + ". " + mm.en;
            port.reason.ja = d + " は " + HolderText(h) + " が使用中です。" + mm.ja;
        }
    } else if (!MayReadWrite(facts.access, machine.user)) {
        port.state = PortState::kNoPermission;
        port.reason = PermissionAdvice(d, facts.access, machine.user);
    }
    return port;
}

PortSurvey SurveyPorts(const std::string& iniPath, int configuredNumber, const SurveyRoots& roots) {
    return SurveyAll(iniPath, configuredNumber, roots).survey;
}

PortVerdict DiagnosePort(int configuredNumber, const std::string& iniPath,
                         const SurveyRoots& roots) {
    return DiagnosePortName(PortName(configuredNumber), iniPath, roots);
}

PortVerdict DiagnosePortName(const std::string& name, const std::string& iniPath,
                             const SurveyRoots& roots) {
    const auto number = ComNumber(name);
    const Survey s = SurveyAll(iniPath, number.value_or(0), roots);
    PortVerdict verdict;
    SurveyedPort port;
    bool explicitChoice = !number;
    if (number) {
        const auto found = std::find_if(s.survey.ports.begin(), s.survey.ports.end(),
                                        [&](const SurveyedPort& p) { return p.current; });
        if (found == s.survey.ports.end()) {
            port.state = PortState::kMissing;
            // The ports the machine's list numbers.
            const auto count = static_cast<std::size_t>(
                std::count_if(s.survey.ports.begin(), s.survey.ports.end(),
                              [](const SurveyedPort& p) { return p.number != 0 && !p.fromIni; }));
            port.reason.en =
                name + " leads to no serial port: [Ports] in the INI file has no " + name +
                " entry, and this computer has " +
                (count == 0 ? std::string("no serial port")
                            : std::to_string(count) + " serial port" + (count == 1 ? "" : "s")) +
                ".";
            port.reason.ja = name + " に当たるシリアルポートがありません。";
        } else {
            port = *found;
            explicitChoice = found->fromIni;
            const bool there =
                port.device.empty() || GatherPortFacts(port.device, s.machine, roots).exists;
            if (!there && found->fromIni) {
                port.reason.en = "the entry " + name + "=" + port.device +
                                 " of section [Ports] names a device that is not there: is the "
                                 "adapter plugged in?";
                port.reason.ja = "INIファイルの[Ports]の " + name + "=" + port.device +
                                 " が指すデバイスがありません。変換器が接続されているか確認して"
                                 "下さい。";
            }
        }
    } else {
        port = JudgePort(GatherPortFacts(name, s.machine, roots), s.machine);
    }
    verdict.state = port.state;
    verdict.device = port.device;
    const bool hardware =
        !port.device.empty() && GatherPortFacts(port.device, s.machine, roots).hardware;
    verdict.usable = Usable(port, explicitChoice, hardware);
    verdict.reason = port.reason;
    if (verdict.state == PortState::kMissing) {
        for (const Reason& t : AdapterAdvice(s.machine)) Append(verdict.reason, t);
    }
    if (s.machine.modemManagerPid != 0 && port.usb && port.holder != kModemManagerName &&
        (verdict.usable || port.state == PortState::kInUse)) {
        Append(verdict.reason, ModemManagerAdvice(s.machine, port.info));
    }
    if (!verdict.usable &&
        (verdict.state == PortState::kConsole || verdict.state == PortState::kOtherDevice ||
         verdict.state == PortState::kNotSerial)) {
        Append(
            verdict.reason,
            {"Give the meter's port in the INI file: " + std::string(kPortKey) + " in section [" +
                 kPortSection + "], or an entry in section [Ports] (COM1=/dev/ttyUSB0).",
             "INIファイルのｼﾘｱﾙﾎﾟｰﾄ番号か[Ports]でメーターのポートを指定して下さい。"});
    }
    if (!verdict.usable) {
        verdict.candidates = Candidates(s.survey, port);
        Append(verdict.reason, CandidateTexts(verdict.candidates));
    }
    return verdict;
}

std::optional<ConsoleRefusal> RefuseConsole(const std::string& device, const SurveyRoots& roots) {
    const std::string how = ConsoleOf(device, roots);
    if (how.empty()) return std::nullopt;
    MachineFacts none;
    PortFacts facts;
    facts.device = device;
    facts.exists = true;
    facts.console = how;
    const SurveyedPort judged = JudgePort(facts, none);
    return ConsoleRefusal{judged.reason};
}

}  // namespace odomei

#include "link/PortSurvey.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "link/PortSetting.h"
#include "link/SerialPort.h"

namespace odomei {
namespace {

constexpr unsigned kOwnerRw = 0600;
constexpr unsigned kGroupRw = 0060;
constexpr unsigned kOtherRw = 0006;
constexpr const char* kDialout = "dialout";
constexpr const char* kModemManagerName = "ModemManager";
// Where an administrator puts a rule of their own; late enough to follow the packages' rules.
constexpr const char* kOwnRulesFile = "/etc/udev/rules.d/99-odomei.rules";

// The machine's list as the survey read it, so a map numbers exactly those ports.
class FixedLister final : public PortLister {
public:
    explicit FixedLister(std::vector<PortInfo> ports) : m_ports(std::move(ports)) {}
    std::vector<PortInfo> SerialPorts() const override { return m_ports; }

private:
    std::vector<PortInfo> m_ports;
};

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode);
    return text;
}

// "1a86:7523 (USB Serial, QinHeng)".
std::string AdapterName(const AdapterWithoutTty& a) {
    std::string name = UsbIdText(a.vendorId, a.productId);
    std::string words = a.product;
    if (!a.manufacturer.empty()) words += (words.empty() ? "" : ", ") + a.manufacturer;
    return words.empty() ? name : name + " (" + words + ")";
}

// The udev rule that keeps ModemManager away from an adapter.
std::string ModemManagerRule(const PortInfo& info) {
    const std::string vendor = info.vendorId ? UsbIdHex(*info.vendorId) : "VVVV";
    const std::string product = info.productId ? UsbIdHex(*info.productId) : "PPPP";
    return "ATTRS{idVendor}==\"" + vendor + "\", ATTRS{idProduct}==\"" + product +
           "\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"";
}

std::string HolderText(const Holder& h) {
    return (h.name.empty() ? std::string("a program") : h.name) +
           (h.pid ? " (PID " + std::to_string(h.pid) + ")" : "");
}

std::string UserName(const UserFacts& user) { return user.name.empty() ? "$USER" : user.name; }

// A tty of another kind with a device behind it is opened where the user named it ([Ports] or a
// device path); a virtual terminal never is.
bool Usable(const SurveyedPort& port, bool explicitChoice, bool hardware) {
    return port.state == PortState::kFree ||
           (port.state == PortState::kOtherDevice && explicitChoice && hardware);
}

struct Texts {
    std::string en, ja;
};

// What a path that is no terminal is instead, in both languages.
Texts NodeText(NodeKind kind) {
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

// The adapters brltty (or nothing) left without a port, with the fix for each.
std::vector<Texts> AdapterFindings(const MachineFacts& machine) {
    std::vector<Texts> findings;
    for (const AdapterWithoutTty& a : machine.adaptersWithoutTty) {
        const std::string name = AdapterName(a);
        Texts t;
        t.en = "The USB serial adapter " + name + " is plugged in but has no serial port.";
        t.ja =
            "USBシリアル変換器 " + name + " が接続されていますが、シリアルポートになっていません。";
        // Only rules udev still reads can claim it: a masked file claims nothing.
        if (machine.brlttyInstalled && !machine.brlttyRulesFiles.empty()) {
            // The file whose rule names the adapter, where one does.
            std::string file = machine.brlttyRulesFiles.front();
            std::optional<BrlttyRule> rule;
            for (const std::string& f : machine.brlttyRulesFiles) {
                if ((rule = FindBrlttyRule(f, a.vendorId, a.productId))) {
                    file = f;
                    break;
                }
            }
            const std::string where = rule ? file + ", line " + std::to_string(rule->line) : file;
            const std::string whereJa =
                rule ? file + " の" + std::to_string(rule->line) + "行目" : file;
            const std::string rulesName = file.substr(file.rfind('/') + 1);
            t.en += " brltty (a braille display driver) claims it through the udev rule in " +
                    where +
                    ". Remove brltty (sudo apt remove brltty) or mask its rule (sudo ln -s "
                    "/dev/null /etc/udev/rules.d/" +
                    rulesName + "), then unplug the adapter and plug it in again.";
            t.ja += "点字ディスプレイ用の brltty が udevルール (" + whereJa +
                    ") でこの変換器を使っています。brlttyを削除する (sudo apt remove brltty) "
                    "か、そのルールを無効にして (sudo ln -s /dev/null /etc/udev/rules.d/" +
                    rulesName + ")、変換器を接続し直して下さい。";
        } else {
            const std::string driver = a.driver.empty() ? "no driver" : "the driver " + a.driver;
            t.en += " It is bound to " + driver +
                    "; the kernel's driver for it may be missing (check dmesg after plugging it "
                    "in).";
            t.ja +=
                "ドライバーが組み込まれていない可能性があります。接続後に dmesg "
                "を確認して下さい。";
        }
        findings.push_back(std::move(t));
    }
    return findings;
}

Texts ModemManagerFinding(const MachineFacts& machine, const PortInfo& info) {
    const std::string pid = std::to_string(machine.modemManagerPid);
    const std::string rule = ModemManagerRule(info);
    return {"ModemManager (PID " + pid +
                ") is running: it tries every new USB serial port for a few seconds after it is "
                "plugged in, and the port is busy meanwhile. Wait a moment and try again, or keep "
                "it away from the adapter with the udev rule " +
                rule + " in " + kOwnRulesFile + ".",
            "ModemManager (PID " + pid +
                ") が動作しています。USBシリアルポートは接続後の数秒間、ModemManagerが調べるため"
                "使用中になります。少し待ってからやり直すか、" +
                kOwnRulesFile + " に次のudevルールを書いてこの変換器を除外して下さい: " + rule};
}

// "COM2 (/dev/ttyUSB0, FT232R USB UART)".
std::string PortLabel(const SurveyedPort& p) {
    std::string label = p.number ? ComName(p.number) + " (" + p.device : p.device;
    if (!p.info.description.empty()) label += (p.number ? ", " : " (") + p.info.description;
    if (p.number || !p.info.description.empty()) label += ")";
    return label;
}

Texts CandidateTexts(const std::vector<SurveyedPort>& candidates) {
    if (candidates.empty()) {
        return {"No other serial port is free on this computer.",
                "ほかに使えるシリアルポートはありません。"};
    }
    std::string list;
    for (const SurveyedPort& p : candidates) list += (list.empty() ? "" : ", ") + PortLabel(p);
    return {"Ports that could be the meter's: " + list + ".", "メーターのポートの候補: " + list};
}

void Append(std::string& text, const std::string& more) {
    if (more.empty()) return;
    if (!text.empty()) text += text.back() == '\n' ? "" : " ";
    text += more;
}

void AppendJa(std::string& text, const std::string& more) {
    if (more.empty()) return;
    if (!text.empty()) text += "\n";
    text += more;
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
            port.reason = m.problem;
            port.reasonJa = "INIファイルの[Ports]の" + ComName(m.number) +
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
    for (const Texts& t : AdapterFindings(s.machine)) {
        s.survey.findings.push_back(t.en);
        s.survey.findingsJa.push_back(t.ja);
    }
    const auto usb = std::find_if(s.survey.ports.begin(), s.survey.ports.end(),
                                  [](const SurveyedPort& p) { return p.usb; });
    if (s.machine.modemManagerPid != 0 &&
        (usb != s.survey.ports.end() || !s.machine.adaptersWithoutTty.empty())) {
        const Texts t =
            ModemManagerFinding(s.machine, usb != s.survey.ports.end() ? usb->info : PortInfo{});
        s.survey.findings.push_back(t.en);
        s.survey.findingsJa.push_back(t.ja);
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

std::optional<BrlttyRule> FindBrlttyRule(const std::string& rulesFile, std::uint16_t vendorId,
                                         std::uint16_t productId) {
    std::ifstream in(rulesFile);
    // Either form brltty writes: the attributes with four hex digits each, or the kernel's
    // PRODUCT value, "vendor/product/release" in hex without leading zeros (1a86/7523/*,
    // 403/6001/*).
    const std::string vendor = "idvendor}==\"" + UsbIdHex(vendorId) + "\"";
    const std::string product = "idproduct}==\"" + UsbIdHex(productId) + "\"";
    char env[32];
    std::snprintf(env, sizeof env, "env{product}==\"%x/%x/", vendorId, productId);
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return s;
    };
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const std::string l = lower(line);
        const auto first = l.find_first_not_of(" \t");
        if (first == std::string::npos || l[first] == '#') continue;
        const bool attributes =
            l.find(vendor) != std::string::npos && l.find(product) != std::string::npos;
        if (attributes || l.find(env) != std::string::npos) return BrlttyRule{rulesFile, number};
    }
    return std::nullopt;
}

SurveyedPort JudgePort(const PortFacts& facts, const MachineFacts& machine) {
    SurveyedPort port;
    port.device = facts.device;
    port.info = facts.info;
    port.usb = facts.usb;
    const std::string& d = facts.device;
    if (!facts.exists) {
        port.state = PortState::kMissing;
        port.reason = d + " is not there: is the adapter plugged in?";
        port.reasonJa = d + " がありません。変換器が接続されているか確認して下さい。";
    } else if (facts.node != NodeKind::kTerminal) {
        // Nothing else matters then: neither who holds it nor its permissions make it a port.
        const Texts what = NodeText(facts.node);
        port.state = PortState::kNotSerial;
        port.reason = d + " is not a serial port: it is " + what.en + ".";
        port.reasonJa = d + " はシリアルポートではありません (" + what.ja + "です)。";
    } else if (!facts.console.empty()) {
        port.state = PortState::kConsole;
        port.reason = d + " is the system's console (" + facts.console +
                      "): bytes sent there would reach its login prompt or its log, so it is "
                      "never opened.";
        port.reasonJa = d + " はシステムのコンソールです (" + facts.console +
                        ")。送ったデータがログインやログに届くため、このポートは開きません。";
    } else if (facts.noUart) {
        port.state = PortState::kMissing;
        port.reason = "the kernel keeps " + d +
                      " but found no serial port hardware behind it (type 0): it cannot be "
                      "opened.";
        port.reasonJa = d + " にはシリアルポートのハードウェアがありません (type 0)。";
    } else if (!facts.otherClass.empty()) {
        port.state = PortState::kOtherDevice;
        port.reason = d + " is " + facts.otherClass +
                      ": it is not tried by itself; name it in [Ports] to use it.";
        port.reasonJa = d + " はシリアルポートとして扱いません (" + facts.otherClass + ")。";
    } else if (!facts.failure.empty()) {
        port.state = PortState::kFailed;
        port.reason = "the driver of " + d + " did not start (" + facts.failure +
                      "): unplug the adapter and plug it in again, or reinstall its driver.";
        port.reasonJa = d + " のドライバーが開始できません (" + facts.failure +
                        ")。変換器を接続し直すか、ドライバーを入れ直して下さい。";
    } else if (!facts.holders.empty()) {
        const Holder& h = facts.holders.front();
        port.state = PortState::kInUse;
        port.holder = h.name;
        port.holderPid = h.pid;
        port.reason = d + " is in use by " + HolderText(h) + ": end that program and try again.";
        port.reasonJa = d + " は他のプログラム (" + HolderText(h) +
                        ") が使用中です。そのプログラムを終了してからやり直して下さい。";
        if (h.name == kModemManagerName) {
            const Texts mm = ModemManagerFinding(machine, facts.info);
            port.reason = d + " is in use by " + HolderText(h) + ". " + mm.en;
            port.reasonJa = d + " は " + HolderText(h) + " が使用中です。" + mm.ja;
        }
    } else if (!MayReadWrite(facts.access, machine.user)) {
        const NodeAccess& a = facts.access;
        const std::string group = a.group.empty() ? std::to_string(a.gid) : a.group;
        const bool inGroup = std::find(machine.user.groups.begin(), machine.user.groups.end(),
                                       a.gid) != machine.user.groups.end();
        const std::string user = UserName(machine.user);
        port.state = PortState::kNoPermission;
        port.reason =
            "no permission to open " + d + " (group " + group + ", mode " + Octal(a.mode) + "): ";
        port.reasonJa =
            d + " を開く権限がありません (グループ " + group + "、モード " + Octal(a.mode) + ")。";
        if (inGroup) {
            port.reason += "the user " + user + " is in the group " + group +
                           ", but the group may not read and write it; ask the administrator.";
            port.reasonJa += "ユーザー " + user + " は " + group +
                             " グループに入っていますが、グループに読み書きの権限がありません。"
                             "管理者に確認して下さい。";
        } else {
            const std::string fix =
                "sudo adduser " + user + " " + (a.group.empty() || a.gid == 0 ? kDialout : group);
            port.reason += "the user " + user + " is not in the group " + group + ". Run '" + fix +
                           "', then log out and in again.";
            port.reasonJa += "ユーザー " + user + " は " + group + " グループに入っていません。" +
                             fix + " を実行し、ログインし直して下さい。";
        }
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
            port.reason =
                name + " leads to no serial port: [Ports] in the INI file has no " + name +
                " entry, and this computer has " +
                (count == 0 ? std::string("no serial port")
                            : std::to_string(count) + " serial port" + (count == 1 ? "" : "s")) +
                ".";
            port.reasonJa = name + " に当たるシリアルポートがありません。";
        } else {
            port = *found;
            explicitChoice = found->fromIni;
            const bool there =
                port.device.empty() || GatherPortFacts(port.device, s.machine, roots).exists;
            if (!there && found->fromIni) {
                port.reason = "the entry " + name + "=" + port.device +
                              " of section [Ports] names a device that is not there: is the "
                              "adapter plugged in?";
                port.reasonJa = "INIファイルの[Ports]の " + name + "=" + port.device +
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
    verdict.reasonJa = port.reasonJa;
    if (verdict.state == PortState::kMissing) {
        for (const Texts& t : AdapterFindings(s.machine)) {
            Append(verdict.reason, t.en);
            AppendJa(verdict.reasonJa, t.ja);
        }
    }
    if (s.machine.modemManagerPid != 0 && port.usb && port.holder != kModemManagerName &&
        (verdict.usable || port.state == PortState::kInUse)) {
        const Texts mm = ModemManagerFinding(s.machine, port.info);
        Append(verdict.reason, mm.en);
        AppendJa(verdict.reasonJa, mm.ja);
    }
    if (!verdict.usable &&
        (verdict.state == PortState::kConsole || verdict.state == PortState::kOtherDevice ||
         verdict.state == PortState::kNotSerial)) {
        Append(verdict.reason, "Give the meter's port in the INI file: " + std::string(kPortKey) +
                                   " in section [" + kPortSection +
                                   "], or an entry in section [Ports] (COM1=/dev/ttyUSB0).");
        AppendJa(verdict.reasonJa,
                 "INIファイルのｼﾘｱﾙﾎﾟｰﾄ番号か[Ports]でメーターのポートを指定して下さい。");
    }
    if (!verdict.usable) {
        verdict.candidates = Candidates(s.survey, port);
        const Texts c = CandidateTexts(verdict.candidates);
        Append(verdict.reason, c.en);
        AppendJa(verdict.reasonJa, c.ja);
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
    return ConsoleRefusal{judged.reason, judged.reasonJa};
}

}  // namespace odomei

// What to do on Linux about what stands in a port's way: brltty claiming an adapter through its
// udev rules, a kernel without the adapter's driver, ModemManager probing new USB ports, and the
// group a device belongs to.
#include <algorithm>
#include <cstdio>
#include <fstream>

#include "platform/PortAdvice.h"
#include "platform/PortMap.h"

namespace odomei {
namespace {

constexpr const char* kDialout = "dialout";
// Where an administrator puts a rule of their own; late enough to follow the packages' rules.
constexpr const char* kOwnRulesFile = "/etc/udev/rules.d/99-odomei.rules";

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

std::string UserName(const UserFacts& user) { return user.name.empty() ? "$USER" : user.name; }

}  // namespace

std::vector<Reason> AdapterAdvice(const MachineFacts& machine) {
    std::vector<Reason> findings;
    for (const AdapterWithoutTty& a : machine.adaptersWithoutTty) {
        const std::string name = AdapterName(a);
        Reason t;
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

Reason ModemManagerAdvice(const MachineFacts& machine, const PortInfo& info) {
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

Reason PermissionAdvice(const std::string& device, const NodeAccess& access,
                        const UserFacts& user) {
    const NodeAccess& a = access;
    const std::string group = a.group.empty() ? std::to_string(a.gid) : a.group;
    const bool inGroup =
        std::find(user.groups.begin(), user.groups.end(), a.gid) != user.groups.end();
    const std::string name = UserName(user);
    Reason reason{
        "no permission to open " + device + " (group " + group + ", mode " + Octal(a.mode) + "): ",
        device + " を開く権限がありません (グループ " + group + "、モード " + Octal(a.mode) +
            ")。"};
    if (inGroup) {
        reason.en += "the user " + name + " is in the group " + group +
                     ", but the group may not read and write it; ask the administrator.";
        reason.ja += "ユーザー " + name + " は " + group +
                     " グループに入っていますが、グループに読み書きの権限がありません。"
                     "管理者に確認して下さい。";
    } else {
        const std::string fix =
            "sudo adduser " + name + " " + (a.group.empty() || a.gid == 0 ? kDialout : group);
        reason.en += "the user " + name + " is not in the group " + group + ". Run '" + fix +
                     "', then log out and in again.";
        reason.ja += "ユーザー " + name + " は " + group + " グループに入っていません。" + fix +
                     " を実行し、ログインし直して下さい。";
    }
    return reason;
}

// The kernel's own words where it gave any; Linux says no more of a driver that failed.
std::string DriverFailureText(const PortFacts& facts) { return facts.failure; }

// The console's facts are words already ("console=ttyS0 in the kernel command line ...").
std::string ConsoleText(const std::string& console) { return console; }

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

}  // namespace odomei

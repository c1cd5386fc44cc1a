// What to do on Windows about what stands in a port's way, in Device Manager's words and Wine's:
// the problem code of a driver that failed, and the ports Wine gave devices of the machine by
// itself. Nothing machine-wide stands in a port's way that the ports' own facts do not say: no
// driver claims adapters away, no permission bits are read.
#include "platform/win/PortAdvice.h"

// The configuration manager's problem codes need windows.h first.
#include <cfgmgr32.h>

#include "platform/PortAdvice.h"

namespace odomei::winapi {
namespace {

struct Problem {
    unsigned long code;
    const char* english;
    const char* japanese;
};
// Device Manager's commonest problems of serial adapters, in its own words.
constexpr Problem kProblems[] = {
    {CM_PROB_NOT_CONFIGURED, "the device is not configured correctly",
     "デバイスが正しく構成されていません"},
    {CM_PROB_FAILED_START, "the device cannot start", "デバイスを開始できません"},
    {CM_PROB_NORMAL_CONFLICT, "the device cannot find enough free resources",
     "デバイスが使用できる空きリソースが足りません"},
    {CM_PROB_NEED_RESTART, "Windows must be restarted for the device to work",
     "デバイスを使うにはWindowsの再起動が必要です"},
    {CM_PROB_REINSTALL, "the device's driver must be installed again",
     "デバイスのドライバーを再インストールする必要があります"},
    {CM_PROB_DISABLED, "the device is disabled", "デバイスが無効になっています"},
    {CM_PROB_FAILED_INSTALL, "the device's driver is not installed",
     "デバイスのドライバーがインストールされていません"},
    {CM_PROB_FAILED_ADD, "Windows cannot load the device's driver",
     "デバイスのドライバーを読み込めません"},
    {CM_PROB_FAILED_DRIVER_ENTRY, "the device's driver failed to load",
     "デバイスのドライバーの読み込みに失敗しました"},
    {CM_PROB_DRIVER_FAILED_LOAD, "Windows cannot load the device's driver",
     "デバイスのドライバーを読み込めません"},
    {CM_PROB_FAILED_POST_START, "Windows stopped the device because it reported problems",
     "問題が報告されたためデバイスが停止されました"},
    {CM_PROB_PHANTOM, "the device is not connected", "デバイスが接続されていません"},
    {CM_PROB_UNSIGNED_DRIVER, "Windows cannot verify the signature of the device's driver",
     "デバイスのドライバーのデジタル署名を確認できません"},
};

const Problem* FindProblem(unsigned long code) {
    for (const Problem& p : kProblems) {
        if (p.code == code) return &p;
    }
    return nullptr;
}

}  // namespace

std::string ProblemText(unsigned long code) {
    const Problem* p = FindProblem(code);
    return std::string(p ? p->english : "the device does not work") + " (Device Manager, code " +
           std::to_string(code) + ")";
}

std::string ProblemTextJa(unsigned long code) {
    const Problem* p = FindProblem(code);
    return std::string(p ? p->japanese : "デバイスが正しく動作していません") + "(コード " +
           std::to_string(code) + ")";
}

std::string ListPorts(const std::vector<ComPortFact>& ports) {
    std::string text;
    for (const ComPortFact& p : ports) {
        if (p.number == 0 || !p.mapped) continue;
        if (!text.empty()) text += ", ";
        text += p.name;
        if (!p.info.description.empty()) text += " (" + p.info.description + ")";
    }
    return text;
}

}  // namespace odomei::winapi

namespace odomei {

std::vector<Reason> AdapterAdvice(const MachineFacts&) { return {}; }

Reason ModemManagerAdvice(const MachineFacts&, const PortInfo&) { return {}; }

Reason PermissionAdvice(const std::string&, const NodeAccess&, const UserFacts&) { return {}; }

// Device Manager's words, in the language it speaks; else the system's error.
std::string DriverFailureText(const PortFacts& facts) {
    if (facts.problem == 0) return facts.failure;
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE
               ? winapi::ProblemTextJa(facts.problem)
               : winapi::ProblemText(facts.problem);
}

std::string ConsoleText(const std::string& console) {
    return "Wine gave " + console +
           " a serial device of this machine by itself (the first is /dev/ttyS0, often the "
           "system console); map it in HKLM\\Software\\Wine\\Ports to use it";
}

}  // namespace odomei

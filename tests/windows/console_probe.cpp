// Runs a program on the console it shares, set to code page 932 as a Japanese cmd.exe has it,
// and writes to a file what the console's output code page and the program's standard error
// mode are once the program has ended. With --interrupt it presses Ctrl+C as soon as the
// program has switched the code page. Usage: console_probe RESULT [--interrupt] PROGRAM ARGS...
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr UINT kShellCodePage = 932;
constexpr int kSwitchPolls = 1000, kPollMs = 10;  // up to ten seconds for the switch
constexpr DWORD kAfterSwitchMs = 300;             // for the program to reach its read and its wait
constexpr DWORD kProgramMs = 60000;

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    int first = 2;
    const bool interrupt = std::wstring(argv[2]) == L"--interrupt";
    if (interrupt) ++first;
    // Inheritable: it is the program's standard output and error, which the program checks.
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE screen =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherited, OPEN_EXISTING, 0, nullptr);
    if (screen == INVALID_HANDLE_VALUE || !SetConsoleOutputCP(kShellCodePage)) return 2;
    DWORD before = 0;
    GetConsoleMode(screen, &before);

    std::wstring line;
    for (int i = first; i < argc; ++i) line += std::wstring(L"\"") + argv[i] + L"\" ";
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = screen;
    start.hStdError = screen;
    PROCESS_INFORMATION program{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                        &program))
        return 2;
    if (interrupt) {
        SetConsoleCtrlHandler(nullptr, TRUE);  // the Ctrl+C is for the program alone
        for (int i = 0; i < kSwitchPolls && GetConsoleOutputCP() != CP_UTF8; ++i) Sleep(kPollMs);
        Sleep(kAfterSwitchMs);
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    }
    WaitForSingleObject(program.hProcess, kProgramMs);
    DWORD status = 0, after = 0;
    GetExitCodeProcess(program.hProcess, &status);
    GetConsoleMode(screen, &after);
    FILE* result = _wfopen(argv[1], L"wb");
    if (result == nullptr) return 2;
    std::fprintf(result, "status=%lu codepage=%u mode=%s\n", status, GetConsoleOutputCP(),
                 after == before ? "kept" : "changed");
    std::fclose(result);
    return 0;
}

// What the benchmarks set up before they time anything: a folder of their own and the simulated
// meter.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/metersim/MeterSim.h"

extern char** environ;

namespace odomei::bench {

// A benchmark's folder under the system's temporary one, made empty first and, where it is
// entered, the working folder until the end; removed at the end.
class ScratchFolder {
public:
    enum class Enter { kNo, kYes };

    ScratchFolder(const char* name, Enter enter)
        : m_path(std::filesystem::temp_directory_path() / name), m_entered(enter == Enter::kYes) {
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
        if (m_entered) std::filesystem::current_path(m_path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (m_entered) std::filesystem::current_path("/", ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    bool m_entered;
};

// A program run to its end: how long it took, the most memory it held (its peak resident set)
// and its exit status (-1: it could not be started, or ended by a signal).
struct ProcessRun {
    double ms = 0;
    long peakKb = 0;
    int status = -1;
};

enum class Output { kThrownAway, kKept };

// Runs args[0] with args in folder, its standard output thrown away or kept as the caller's.
inline ProcessRun RunProcess(std::vector<std::string> args, const std::filesystem::path& folder,
                             Output output = Output::kThrownAway) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output == Output::kThrownAway) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    ProcessRun run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = 0;
    rusage usage{};
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
        wait4(pid, &status, 0, &usage) == pid) {
        run.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count();
        run.peakKb = usage.ru_maxrss;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// Runs programs for a benchmark from a process forked at its start, while it is small. Linux counts
// the memory of the process a program was started from in the program's own peak (the image exec
// replaced is measured too), so a small program started from a benchmark that holds a million
// records would seem to take what the benchmark takes. Make it before anything large.
class Launcher {
public:
    Launcher() {
        int requests[2], answers[2];
        if (pipe(requests) != 0 || pipe(answers) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            close(requests[1]);
            close(answers[0]);
            Serve(requests[0], answers[1]);
            _exit(0);
        }
        close(requests[0]);
        close(answers[1]);
        m_requests = requests[1];
        m_answers = answers[0];
    }
    ~Launcher() {
        if (m_pid <= 0) return;
        close(m_requests);
        close(m_answers);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    ProcessRun Run(const std::vector<std::string>& args, const std::filesystem::path& folder,
                   Output output = Output::kThrownAway) {
        ProcessRun run;
        if (m_pid <= 0) return run;
        std::string request(1, output == Output::kKept ? 'k' : 't');
        Put(request, folder.string());
        for (const std::string& a : args) Put(request, a);
        const auto size = static_cast<std::uint32_t>(request.size());
        if (!WriteAll(m_requests, &size, sizeof size) ||
            !WriteAll(m_requests, request.data(), request.size()) ||
            !ReadAll(m_answers, &run, sizeof run)) {
            return ProcessRun{};
        }
        return run;
    }

private:
    static void Put(std::string& request, const std::string& text) {
        const auto size = static_cast<std::uint32_t>(text.size());
        request.append(reinterpret_cast<const char*>(&size), sizeof size).append(text);
    }
    // All size bytes written or read (transfer: write or read), or false.
    template <typename Byte, typename Transfer>
    static bool All(Transfer transfer, int fd, Byte* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = transfer(fd, data, size);
            if (n <= 0) return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    static bool WriteAll(int fd, const void* data, std::size_t size) {
        return All(write, fd, static_cast<const char*>(data), size);
    }
    static bool ReadAll(int fd, void* data, std::size_t size) {
        return All(read, fd, static_cast<char*>(data), size);
    }
    static void Serve(int requests, int answers) {
        std::uint32_t size = 0;
        while (ReadAll(requests, &size, sizeof size)) {
            std::string request(size, '\0');
            if (!ReadAll(requests, request.data(), size) || request.empty()) return;
            std::vector<std::string> texts;
            for (std::size_t at = 1; at + sizeof(std::uint32_t) <= request.size();) {
                std::uint32_t length = 0;
                std::memcpy(&length, request.data() + at, sizeof length);
                at += sizeof length;
                texts.push_back(request.substr(at, length));
                at += length;
            }
            if (texts.empty()) return;
            const std::filesystem::path folder = texts.front();
            texts.erase(texts.begin());
            const ProcessRun run =
                RunProcess(texts, folder, request[0] == 'k' ? Output::kKept : Output::kThrownAway);
            if (!WriteAll(answers, &run, sizeof run)) return;
        }
    }

    pid_t m_pid = -1;
    int m_requests = -1, m_answers = -1;
};

// Starts the simulated meter, or ends the benchmark with status 1 and the reason.
inline void StartMeter(metersim::MeterSim& sim) {
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "metersim: %s\n", error.c_str());
        std::exit(1);
    }
}

}  // namespace odomei::bench

// What the benchmarks set up before they time anything: a folder of their own and the simulated
// meter.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tools/metersim/MeterSim.h"

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

// Starts the simulated meter, or ends the benchmark with status 1 and the reason.
inline void StartMeter(metersim::MeterSim& sim) {
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "metersim: %s\n", error.c_str());
        std::exit(1);
    }
}

}  // namespace odomei::bench

// The simulated meter on a real pseudo-terminal, reachable as COM1 through [Ports].
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "tests/FakeSerial.h"
#include "tests/TestSupport.h"
#include "tools/metersim/MeterSim.h"

namespace odomei::test {

class MeterLine {
public:
    // Starts the meter and maps COM1 to it in KORVANA.ini of dir.
    MeterLine(const TempDir& dir, metersim::Options options = {}) {
        options.linkPath = dir.File("meter-tty");
        m_sim = std::make_unique<metersim::MeterSim>(options);
        std::string error;
        m_started = m_sim->Start(&error);
        EXPECT_TRUE(m_started) << error;
        m_ini = dir.File("KORVANA.ini");
        WriteIniString(kPortsSection, "COM1", options.linkPath, m_ini);
    }
    metersim::MeterSim& Sim() { return *m_sim; }
    bool Started() const { return m_started; }
    const std::string& Ini() const { return m_ini; }
    // COM1 as the window maps it from that INI file (no machine ports).
    PortMap Ports() const { return PortMap(m_ini, nullptr); }

private:
    RealSerialOpener m_real;
    std::unique_ptr<metersim::MeterSim> m_sim;
    std::string m_ini;
    bool m_started = false;
};

}  // namespace odomei::test

#pragma once

#include "tests/commdll/RequestRunner.h"

#include "SimulatorSupport.h"

namespace testsupport {

// A simulated encoder, started, and a link to it that connects on its first request.
struct SimulatedDevice {
    explicit SimulatedDevice(const sim::SimulatorConfig& config)
        : simulator(config), started(Started(simulator)) {
        OpenLink(link, config.address);
    }

    sim::CEncoderSimulator simulator;
    ::testing::AssertionResult started;
    CSerialComm link; // declared last: it goes before the device does
};

} // namespace testsupport

#pragma once

#include "tests/commdll/RequestRunner.h"

#include "SimulatorSupport.h"

namespace testsupport {

// A simulated encoder, started, and a link set up for its address; the link connects on its
// first request. Tests check `started` before they go on.
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

#pragma once

// Header only: testsupport does not link the simulator; the test executables that include
// this header link sim themselves.
#include "sim/EncoderSimulator.h"

#include <QString>

#include <gtest/gtest.h>

namespace testsupport {

// A simulated encoder at `address`, otherwise as the device ships.
inline sim::SimulatorConfig
SimulatorConfigAt(const QString& address,
                  int restartAwayMs = sim::SimulatorConfig{}.restartAwayMs) {
    sim::SimulatorConfig config;
    config.address = address;
    config.restartAwayMs = restartAwayMs;
    return config;
}

// Starts the simulator; a failure carries the simulator's reason into the test's output.
inline ::testing::AssertionResult Started(sim::CEncoderSimulator& simulator) {
    if (simulator.Start())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "simulator did not start: " << simulator.ErrorString().toStdString();
}

} // namespace testsupport

#pragma once

#include "sim/EncoderSimulator.h"

#include <QtGlobal>

#include <cstdio>
#include <memory>

namespace bench {

// Benchmarks talk to loopback only, and their widgets, if any, stay offscreen.
inline void PrepareBenchEnvironment() {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("RIVIVOZUZUVOD_LOOPBACK_ONLY", "1");
}

// A simulated encoder listening at `address` (it reports that address as its own), or null
// after saying why on standard error.
inline std::unique_ptr<sim::CEncoderSimulator> StartSimulator(const QString& address) {
    sim::SimulatorConfig config;
    config.address = address;
    auto simulator = std::make_unique<sim::CEncoderSimulator>(config);
    if (simulator->Start())
        return simulator;
    std::fprintf(stderr, "simulator: %s\n", qPrintable(simulator->ErrorString()));
    return nullptr;
}

} // namespace bench

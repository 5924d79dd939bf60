#pragma once

// Header only: testsupport does not link the simulator; the test executables that include
// this header link sim themselves.
#include "sim/EncoderSimulator.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <vector>

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

// The requests as the device received them, one word each: code:flag:payload in hex, for a
// firmware block code:flag:blockflags:length.
inline QString Wire(const std::vector<sim::ReceivedRequest>& requests) {
    QStringList words;
    for (const auto& r : requests)
        words << (r.code == 0x1A ? QStringLiteral("1a:%1:%2:%3")
                                       .arg(r.flag)
                                       .arg(r.blockFlags)
                                       .arg(r.payload.size())
                                 : QStringLiteral("%1:%2:")
                                           .arg(int(r.code), 2, 16, QLatin1Char('0'))
                                           .arg(r.flag) +
                                       QLatin1String(r.payload.toHex()));
    return words.join(u' ');
}

} // namespace testsupport

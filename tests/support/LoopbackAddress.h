#pragma once

#include "platform/WinTypes.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

namespace testsupport {

// Every test executable has device addresses of its own, so that executables running at the
// same time never meet on the fixed device port, and no two tests of one executable share an
// address either:
//   commdll_tests            127.0.1.<host>  hosts numbered by hand, one range per test
//   sim_tests                127.0.2.<host>  hosts numbered by hand, one range per test
//   ui_tests                 127.10.x.y      x.y from the test's name
//   comm_tests               127.20.x.y      x.y from the test's name
//   firmware_upgrade_tests   127.40.x.y      x.y from the test's name
//   benchmarks               127.0.77.x to 127.0.79.x
inline constexpr int kCommdllSubnet = 1;
inline constexpr int kSimSubnet = 2;
inline constexpr int kUiArea = 10;
inline constexpr int kCommArea = 20;
inline constexpr int kFirmwareArea = 40;

// 127.0.<subnet>.<host>, for an executable that numbers its tests' devices by hand.
inline QString NumberedLoopbackAddress(int subnet, int host) {
    return QStringLiteral("127.0.%1.%2").arg(subnet).arg(host);
}

// A loopback address of the running test's own, so that tests run in parallel on the fixed
// device port: 127.<area>.x.y, with x.y derived from the test's full name.
inline QString UniqueLoopbackAddress(int area, int salt = 0) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
    const std::size_t hash = std::hash<std::string>{}(name) + static_cast<std::size_t>(salt);
    const int x = static_cast<int>(hash % 250) + 1;
    const int y = static_cast<int>((hash / 250) % 250) + 1;
    return QStringLiteral("127.%1.%2.%3").arg(area).arg(x).arg(y);
}

// The four numbers of a dotted address as the device record holds them; missing parts are 0.
inline std::array<BYTE, 4> Octets(const QString& address) {
    std::array<BYTE, 4> octets{};
    const QStringList parts = address.split(u'.');
    for (int i = 0; i < 4; ++i)
        octets[static_cast<std::size_t>(i)] = static_cast<BYTE>(parts.value(i).toInt());
    return octets;
}

} // namespace testsupport

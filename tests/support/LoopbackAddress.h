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
// address either. The benchmarks keep to 127.0.75.x - 127.0.79.x.

// commdll_tests, sim_tests and cli_tests number their tests' devices by hand:
// 127.0.<subnet>.<host>. cli_tests' scans search 127.0.110.x, where nothing else listens.
enum class LoopbackSubnet { Commdll = 1, Sim = 2, CliScan = 110, Cli = 111 };

inline QString NumberedLoopbackAddress(LoopbackSubnet subnet, int host) {
    return QStringLiteral("127.0.%1.%2").arg(static_cast<int>(subnet)).arg(host);
}

// ui_tests, comm_tests and firmware_upgrade_tests: 127.<area>.x.y, x.y from the test's name.
enum class LoopbackArea { Ui = 10, Comm = 20, Firmware = 40 };

// A loopback address of the running test's own, so that tests run in parallel on the fixed
// device port; `salt` gives the same test further addresses.
inline QString UniqueLoopbackAddress(LoopbackArea area, int salt = 0) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
    const std::size_t hash = std::hash<std::string>{}(name) + static_cast<std::size_t>(salt);
    const int x = static_cast<int>(hash % 250) + 1;
    const int y = static_cast<int>((hash / 250) % 250) + 1;
    return QStringLiteral("127.%1.%2.%3").arg(static_cast<int>(area)).arg(x).arg(y);
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

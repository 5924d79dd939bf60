#pragma once

#include <QString>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace testsupport {

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

} // namespace testsupport

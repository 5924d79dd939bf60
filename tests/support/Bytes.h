#pragma once

#include <QByteArray>

#include <initializer_list>

namespace testsupport {

// Bytes written as numbers: Bytes({0x00, 0x09, 0x31, 0xC3}).
inline QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (const int value : values)
        bytes.append(static_cast<char>(value));
    return bytes;
}

} // namespace testsupport

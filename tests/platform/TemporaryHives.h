#pragma once

#include "platform/Registry.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace testsupport {

using namespace platform;

// Moves both registry hives into a fresh temporary folder for one test; the key and value
// calls the registry tests share.
class TemporaryHives : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        qputenv("RIVIVOZUZUVOD_HKCU_DIR", userDir().toLocal8Bit());
        qputenv("RIVIVOZUZUVOD_HKLM_DIR", machineDir().toLocal8Bit());
    }
    static inline const QString kKey = QStringLiteral("SOFTWARE\\DELVORRivivozUzuvod");

    QString userDir() const { return m_dir.filePath(QStringLiteral("hkcu")); }
    QString machineDir() const { return m_dir.filePath(QStringLiteral("hklm")); }

    static HKEY create(HKEY root) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyEx(root, kKey, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        return key;
    }
    static LONG set(HKEY key, const QString& name, DWORD type, const QByteArray& data) {
        return RegSetValueEx(key, name, type, reinterpret_cast<const BYTE*>(data.constData()),
                             static_cast<DWORD>(data.size()));
    }
    // The value's type and bytes in hexadecimal ("1:3132"), or the error ("error 2").
    static QByteArray get(HKEY key, const QString& name) {
        QByteArray buffer(16, '\0');
        DWORD size = 16, type = REG_NONE;
        const LONG result =
            RegQueryValueEx(key, name, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (result != ERROR_SUCCESS)
            return "error " + QByteArray::number(result);
        return QByteArray::number(uint(type)) + ':' + buffer.left(size).toHex();
    }

private:
    QTemporaryDir m_dir;
};

} // namespace testsupport

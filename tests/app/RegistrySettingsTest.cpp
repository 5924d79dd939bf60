#include "platform/RegistrySettings.h"
#include "platform/Registry.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>

using namespace platform;

namespace {

const QString kKey = QStringLiteral("SOFTWARE\\DELVORRivivozUzuvod");
const QString kDeviceIp = QStringLiteral("DeviceIP");

// Both hives in a temporary folder of the test's own.
class RegistrySettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("RIVIVOZUZUVOD_HKCU_DIR", QFile::encodeName(m_dir.filePath(QStringLiteral("u"))));
        qputenv("RIVIVOZUZUVOD_HKLM_DIR", QFile::encodeName(m_dir.filePath(QStringLiteral("m"))));
    }

    static void Store(HKEY root, DWORD type, const QByteArray& data) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyEx(root, kKey, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueEx(key, kDeviceIp, type, reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    // The value as stored: "type:bytes", or "missing" without the key or the value.
    static QByteArray Stored(HKEY root) {
        HKEY key = nullptr;
        if (RegOpenKeyEx(root, kKey, KEY_READ, &key) != ERROR_SUCCESS)
            return "missing";
        std::array<BYTE, 512> buffer{};
        DWORD size = buffer.size(), type = REG_NONE;
        const LONG result = RegQueryValueEx(key, kDeviceIp, &type, buffer.data(), &size);
        RegCloseKey(key);
        if (result != ERROR_SUCCESS)
            return "missing";
        return QByteArray::number(uint(type)) + ':' +
               QByteArray(reinterpret_cast<const char*>(buffer.data()), qsizetype(size));
    }

    QTemporaryDir m_dir;
};

TEST_F(RegistrySettingsTest, ReadResultsByStoredValue) {
    QString text = QStringLiteral("previous");
    EXPECT_FALSE(ReadRegistryString(kDeviceIp, text)) << "no key";
    EXPECT_EQ(text, QString());
    ASSERT_TRUE(CreateSettingsKey());
    EXPECT_FALSE(ReadRegistryString(kDeviceIp, text)) << "the key without the value";
    struct Case {
        DWORD type;
        QByteArray data;
        bool result;
        QString text;
    };
    for (const Case& c : {
             Case{REG_SZ, QByteArrayLiteral("127.1.2.3"), true, QStringLiteral("127.1.2.3")},
             Case{REG_SZ, QByteArray(), true, QString()},
             Case{REG_DWORD, QByteArray("\x14\x00\xa8\xc0", 4), true, QString()},
             Case{REG_BINARY, QByteArrayLiteral("127.1.2.3"), true, QString()},
             Case{REG_SZ, QByteArray(260, '7'), true, QString(260, QLatin1Char('7'))},
             Case{REG_SZ, QByteArray(261, '7'), false, QString()},
             Case{REG_SZ, QByteArray(300, '7'), false, QString()},
             Case{REG_SZ, QByteArray("1.2\0junk", 8), true, QStringLiteral("1.2")},
         }) {
        Store(HKEY_CURRENT_USER, c.type, c.data);
        text = QStringLiteral("previous");
        EXPECT_EQ(ReadRegistryString(kDeviceIp, text), c.result) << c.data.size();
        EXPECT_EQ(text, c.text);
    }
}

TEST_F(RegistrySettingsTest, UsersValueComesFirstAndTheMachinesServesAsFallback) {
    Store(HKEY_LOCAL_MACHINE, REG_SZ, QByteArrayLiteral("127.9.9.9"));
    QString text;
    EXPECT_TRUE(ReadRegistryString(kDeviceIp, text));
    EXPECT_EQ(text, QStringLiteral("127.9.9.9"));
    ASSERT_TRUE(CreateSettingsKey()); // a user key without the value still falls back
    EXPECT_TRUE(ReadRegistryString(kDeviceIp, text));
    EXPECT_EQ(text, QStringLiteral("127.9.9.9"));
    Store(HKEY_CURRENT_USER, REG_SZ, QByteArrayLiteral("127.1.1.1"));
    EXPECT_TRUE(ReadRegistryString(kDeviceIp, text));
    EXPECT_EQ(text, QStringLiteral("127.1.1.1"));
}

// Start-up creates the user's key (or opens it); a write goes into that key only, as text
// without its terminating zero, and never creates the key.
TEST_F(RegistrySettingsTest, WriteStoresTheTextInTheUsersKeyOnly) {
    EXPECT_FALSE(WriteRegistryString(kDeviceIp, QStringLiteral("192.168.0.20")));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER), "missing") << "the write must not create the key";
    ASSERT_TRUE(CreateSettingsKey());
    ASSERT_TRUE(CreateSettingsKey()); // opening an existing key is fine too
    for (const char* address : {"192.168.0.20", "127.1.2.3"}) {
        ASSERT_TRUE(WriteRegistryString(kDeviceIp, QLatin1String(address)));
        EXPECT_EQ(Stored(HKEY_CURRENT_USER), "1:" + QByteArray(address));
        QString text;
        EXPECT_TRUE(ReadRegistryString(kDeviceIp, text));
        EXPECT_EQ(text, QLatin1String(address));
    }
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kKey, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistrySettingsTest, WriteFailsOnAHiveThatCannotBeWritten) {
    ASSERT_TRUE(CreateSettingsKey());
    QFile::setPermissions(RegistryHivePath(HKEY_CURRENT_USER), QFile::ReadOwner | QFile::ReadOther);
    EXPECT_FALSE(WriteRegistryString(kDeviceIp, QStringLiteral("127.1.2.3")));
}

} // namespace

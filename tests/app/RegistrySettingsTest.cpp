#include "TemporaryHives.h"

#include "platform/Registry.h"
#include "platform/RegistrySettings.h"

#include <array>
#include <vector>

using namespace platform;

namespace {

const QString kKey = QStringLiteral("SOFTWARE\\DELVORRivivozUzuvod");
const QString kDeviceIp = QStringLiteral("DeviceIP");

class RegistrySettingsTest : public testsupport::TemporaryHives {
protected:
    static void store(HKEY root, DWORD type, const QByteArray& data) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyEx(root, kKey, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueEx(key, kDeviceIp, type,
                                reinterpret_cast<const BYTE*>(data.constData()),
                                static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    struct Stored {
        LONG result = ERROR_FILE_NOT_FOUND;
        DWORD type = REG_NONE;
        QByteArray data;
    };
    static Stored stored(HKEY root) {
        Stored value;
        HKEY key = nullptr;
        value.result = RegOpenKeyEx(root, kKey, KEY_READ, &key);
        if (value.result != ERROR_SUCCESS)
            return value;
        std::array<BYTE, 512> buffer{};
        DWORD size = buffer.size();
        value.result = RegQueryValueEx(key, kDeviceIp, &value.type, buffer.data(), &size);
        value.data =
            QByteArray(reinterpret_cast<const char*>(buffer.data()), static_cast<qsizetype>(size));
        RegCloseKey(key);
        return value;
    }
};

TEST_F(RegistrySettingsTest, StartUpCreatesTheUsersKeyOnly) {
    HKEY key = nullptr;
    EXPECT_TRUE(CreateSettingsKey());
    EXPECT_TRUE(CreateSettingsKey()); // opening an existing key is fine too
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kKey, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kKey, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistrySettingsTest, ReadResultsByStoredValue) {
    struct Case {
        const char* what;
        DWORD type;
        QByteArray data;
        bool result;
        QString text;
    };
    const std::vector<Case> cases{
        {"address", REG_SZ, QByteArrayLiteral("127.1.2.3"), true, QStringLiteral("127.1.2.3")},
        {"empty text", REG_SZ, QByteArray(), true, QString()},
        {"number", REG_DWORD, QByteArray("\x14\x00\xa8\xc0", 4), true, QString()},
        {"binary", REG_BINARY, QByteArrayLiteral("127.1.2.3"), true, QString()},
        {"260 characters", REG_SZ, QByteArray(260, '7'), true, QString(260, QLatin1Char('7'))},
        {"261 characters", REG_SZ, QByteArray(261, '7'), false, QString()},
        {"300 characters", REG_SZ, QByteArray(300, '7'), false, QString()},
        {"text with a zero inside", REG_SZ, QByteArray("1.2\0junk", 8), true,
         QStringLiteral("1.2")},
    };
    for (const Case& c : cases) {
        store(HKEY_CURRENT_USER, c.type, c.data);
        QString text = QStringLiteral("previous");
        EXPECT_EQ(ReadRegistryString(kDeviceIp, text), c.result) << c.what;
        EXPECT_EQ(text, c.text) << c.what;
    }
}

TEST_F(RegistrySettingsTest, ReadFailsWhenNoRootHasTheValue) {
    QString text = QStringLiteral("previous");
    EXPECT_FALSE(ReadRegistryString(kDeviceIp, text));
    EXPECT_EQ(text, QString());

    CreateSettingsKey(); // the key alone, without the value
    EXPECT_FALSE(ReadRegistryString(kDeviceIp, text));
}

TEST_F(RegistrySettingsTest, UsersValueComesFirstAndTheMachinesServesAsFallback) {
    store(HKEY_LOCAL_MACHINE, REG_SZ, QByteArrayLiteral("127.9.9.9"));
    QString text;
    EXPECT_TRUE(ReadRegistryString(kDeviceIp, text));
    EXPECT_EQ(text, QStringLiteral("127.9.9.9"));

    CreateSettingsKey(); // a user key without the value still falls back
    EXPECT_TRUE(ReadRegistryString(kDeviceIp, text));
    EXPECT_EQ(text, QStringLiteral("127.9.9.9"));

    store(HKEY_CURRENT_USER, REG_SZ, QByteArrayLiteral("127.1.1.1"));
    EXPECT_TRUE(ReadRegistryString(kDeviceIp, text));
    EXPECT_EQ(text, QStringLiteral("127.1.1.1"));
}

TEST_F(RegistrySettingsTest, WriteStoresTheTextWithoutItsTerminatingZero) {
    EXPECT_FALSE(WriteRegistryString(kDeviceIp, QStringLiteral("192.168.0.20")));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kKey, KEY_READ, &key), ERROR_FILE_NOT_FOUND)
        << "the write must not create the key";

    ASSERT_TRUE(CreateSettingsKey());
    ASSERT_TRUE(WriteRegistryString(kDeviceIp, QStringLiteral("192.168.0.20")));
    const Stored value = stored(HKEY_CURRENT_USER);
    EXPECT_EQ(value.result, ERROR_SUCCESS);
    EXPECT_EQ(value.type, REG_SZ);
    EXPECT_EQ(value.data, QByteArrayLiteral("192.168.0.20"));
    EXPECT_EQ(value.data.size(), 12);
    EXPECT_EQ(stored(HKEY_LOCAL_MACHINE).result, ERROR_FILE_NOT_FOUND);

    QString text;
    EXPECT_TRUE(ReadRegistryString(kDeviceIp, text));
    EXPECT_EQ(text, QStringLiteral("192.168.0.20"));

    ASSERT_TRUE(WriteRegistryString(kDeviceIp, QStringLiteral("127.1.2.3")));
    EXPECT_EQ(stored(HKEY_CURRENT_USER).data.size(), 9);
    EXPECT_TRUE(ReadRegistryString(kDeviceIp, text));
    EXPECT_EQ(text, QStringLiteral("127.1.2.3"));
}

TEST_F(RegistrySettingsTest, WriteFailsOnAHiveThatCannotBeWritten) {
    ASSERT_TRUE(CreateSettingsKey());
    QFile::setPermissions(RegistryHivePath(HKEY_CURRENT_USER), QFile::ReadOwner | QFile::ReadOther);
    EXPECT_FALSE(WriteRegistryString(kDeviceIp, QStringLiteral("127.1.2.3")));
}

} // namespace

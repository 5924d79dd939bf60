#include "platform/RegistrySettings.h"
#include "../platform/TemporaryHives.h"

#include <QFile>

using namespace platform;

namespace {

const QString kDeviceIp = QStringLiteral("DeviceIP");

class RegistrySettingsTest : public testsupport::TemporaryHives {
protected:
    static void store(HKEY root, DWORD type, const QByteArray& data) {
        HKEY key = create(root);
        EXPECT_EQ(set(key, kDeviceIp, type, data), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // The value as stored ("1:" and the bytes in hexadecimal), or "no key".
    static QByteArray stored(HKEY root) {
        HKEY key = nullptr;
        if (RegOpenKeyEx(root, kKey, KEY_READ, &key) != ERROR_SUCCESS)
            return "no key";
        const QByteArray value = get(key, kDeviceIp);
        RegCloseKey(key);
        return value;
    }
    // ReadRegistryString's result and text, over a text it must replace.
    static QString read() {
        QString text = QStringLiteral("previous");
        return (ReadRegistryString(kDeviceIp, text) ? QStringLiteral("true:")
                                                    : QStringLiteral("false:")) +
               text;
    }
};

// Without the user's key or value the machine's serves; the user's value comes first, also
// when it cannot be read.
TEST_F(RegistrySettingsTest, ReadResultsByStoredValue) {
    EXPECT_EQ(read(), QStringLiteral("false:")) << "no key";
    store(HKEY_LOCAL_MACHINE, REG_SZ, "127.9.9.9");
    EXPECT_EQ(read(), QStringLiteral("true:127.9.9.9")) << "no user's key";
    ASSERT_TRUE(CreateSettingsKey());
    EXPECT_EQ(read(), QStringLiteral("true:127.9.9.9")) << "the user's key without the value";
    const std::tuple<DWORD, QByteArray, QString> cases[] = {
        {REG_SZ, "127.1.2.3", QStringLiteral("true:127.1.2.3")},
        {REG_DWORD, QByteArray("\x14\x00\xa8\xc0", 4), QStringLiteral("true:")}, // not text
        {REG_SZ, QByteArray(260, '7'), QStringLiteral("true:") + QString(260, u'7')},
        {REG_SZ, QByteArray(261, '7'), QStringLiteral("false:")}, // longer than the buffer
        {REG_SZ, QByteArray("1.2\0junk", 8), QStringLiteral("true:1.2")},
    };
    for (const auto& [type, data, expected] : cases) {
        store(HKEY_CURRENT_USER, type, data);
        EXPECT_EQ(read(), expected) << data.size();
    }
}

// Start-up creates the user's key (or opens it); a write goes into that key only, as text
// without its terminating zero, never creates the key, and fails on a read-only hive.
TEST_F(RegistrySettingsTest, WriteStoresTheTextInTheUsersKeyOnly) {
    EXPECT_FALSE(WriteRegistryString(kDeviceIp, QStringLiteral("192.168.0.20")));
    EXPECT_EQ(stored(HKEY_CURRENT_USER), "no key");
    ASSERT_TRUE(CreateSettingsKey());
    ASSERT_TRUE(CreateSettingsKey()); // opening an existing key is fine too
    for (const char* address : {"192.168.0.20", "127.1.2.3"}) {
        ASSERT_TRUE(WriteRegistryString(kDeviceIp, QLatin1String(address)));
        EXPECT_EQ(stored(HKEY_CURRENT_USER), "1:" + QByteArray(address).toHex());
    }
    EXPECT_EQ(stored(HKEY_LOCAL_MACHINE), "no key");
    QFile::setPermissions(RegistryHivePath(HKEY_CURRENT_USER), QFile::ReadOwner | QFile::ReadOther);
    EXPECT_FALSE(WriteRegistryString(kDeviceIp, QStringLiteral("127.1.2.4")));
}

} // namespace

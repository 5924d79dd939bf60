#include "TemporaryHives.h"

#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <array>
#include <cstring>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace platform;

namespace {

const QString kKey = QStringLiteral("SOFTWARE\\DELVORRivivozUzuvod");

class RegistryTest : public testsupport::TemporaryHives {
protected:
    QString readString(const QString& name) {
        HKEY key = createKey(HKEY_CURRENT_USER);
        char buffer[64] = {};
        DWORD size = sizeof buffer;
        const LONG result =
            RegQueryValueEx(key, name, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        return result == ERROR_SUCCESS ? QString::fromLatin1(buffer, size) : QStringLiteral("?");
    }

    // Runs the helper program once per argument list, all at once; true when all succeeded.
    static bool runWriters(const std::vector<QStringList>& argumentLists) {
        std::vector<std::unique_ptr<QProcess>> writers;
        for (const QStringList& arguments : argumentLists) {
            writers.push_back(std::make_unique<QProcess>());
            writers.back()->start(QStringLiteral(REGISTRY_WRITER), arguments);
        }
        bool ok = true;
        for (const auto& writer : writers)
            ok = writer->waitForFinished(120000) && writer->exitStatus() == QProcess::NormalExit &&
                 writer->exitCode() == 0 && ok;
        return ok;
    }

    HKEY createKey(HKEY root, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyEx(root, kKey, access, &key), ERROR_SUCCESS);
        return key;
    }

    static QByteArray readFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static void makeReadOnly(const QString& path) {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    }
};

TEST_F(RegistryTest, OpenFindsOnlyKeysThatWereCreated) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kKey, KEY_READ, &key), ERROR_FILE_NOT_FOUND);

    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    // The keys above it exist too; names compare without regard to case.
    for (const QString& path : {QStringLiteral("SOFTWARE"), QStringLiteral("software"),
                                QStringLiteral("Software\\delvorrivivozuzuvod")}) {
        ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, path, KEY_READ, &key), ERROR_SUCCESS)
            << qPrintable(path);
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    }
    // A key of one root does not exist in the other.
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kKey, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, TypedValuesComeBackWithTypeAndSize) {
    struct Case {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    };
    const std::vector<Case> cases{
        {"DeviceIP", REG_SZ, {'1', '0', '.', '1', '.', '2', '.', '3'}},
        {"Count", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {"Blob", REG_BINARY, {0x00, 0xFF, 0x00, 0x10, 0x80}},
        {"Empty", REG_SZ, {}},
    };
    HKEY key = createKey(HKEY_CURRENT_USER);
    for (const Case& c : cases) {
        ASSERT_EQ(RegSetValueEx(key, QString::fromLatin1(c.name), c.type, c.data.data(),
                                static_cast<DWORD>(c.data.size())),
                  ERROR_SUCCESS)
            << c.name;
    }
    for (const Case& c : cases) {
        std::array<BYTE, 16> buffer{};
        DWORD size = buffer.size();
        DWORD type = REG_NONE;
        ASSERT_EQ(RegQueryValueEx(key, QString::fromLatin1(c.name), &type, buffer.data(), &size),
                  ERROR_SUCCESS)
            << c.name;
        EXPECT_EQ(type, c.type) << c.name;
        ASSERT_EQ(size, c.data.size()) << c.name;
        EXPECT_TRUE(std::equal(c.data.begin(), c.data.end(), buffer.begin())) << c.name;
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, QueryReportsSizesAndMissingValues) {
    HKEY key = createKey(HKEY_CURRENT_USER);
    const std::array<BYTE, 12> text{'1', '9', '2', '.', '1', '6', '8', '.', '0', '.', '2', '0'};
    ASSERT_EQ(RegSetValueEx(key, QStringLiteral("DeviceIP"), REG_SZ, text.data(), text.size()),
              ERROR_SUCCESS);

    // Too small a buffer: the size needed comes back and nothing is copied.
    std::array<BYTE, 8> small{};
    DWORD size = small.size();
    DWORD type = REG_NONE;
    EXPECT_EQ(RegQueryValueEx(key, QStringLiteral("DeviceIP"), &type, small.data(), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(small, (std::array<BYTE, 8>{}));

    // Without a buffer only the size is asked for.
    size = 0;
    EXPECT_EQ(RegQueryValueEx(key, QStringLiteral("DeviceIP"), nullptr, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 12u);

    size = small.size();
    EXPECT_EQ(RegQueryValueEx(key, QStringLiteral("Missing"), &type, small.data(), &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueEx(key, QStringLiteral("DeviceIP"), &type, small.data(), nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(RegistryTest, AccessRightsOfAHandleAreEnforced) {
    RegCloseKey(createKey(HKEY_CURRENT_USER));
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kKey, KEY_READ, &readOnly), ERROR_SUCCESS);
    const DWORD value = 7;
    EXPECT_EQ(RegSetValueEx(readOnly, QStringLiteral("Count"), REG_DWORD,
                            reinterpret_cast<const BYTE*>(&value), sizeof value),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCloseKey(readOnly), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(readOnly), ERROR_INVALID_HANDLE);

    HKEY writable = createKey(HKEY_CURRENT_USER);
    EXPECT_EQ(RegSetValueEx(writable, QStringLiteral("Count"), REG_DWORD,
                            reinterpret_cast<const BYTE*>(&value), 3),
              ERROR_INVALID_PARAMETER);
    const std::vector<BYTE> tooLarge(kMaxValueBytes + 1, 0x41);
    EXPECT_EQ(RegSetValueEx(writable, QStringLiteral("Big"), REG_BINARY, tooLarge.data(),
                            static_cast<DWORD>(tooLarge.size())),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(writable);
}

TEST_F(RegistryTest, AReadOnlyHiveRefusesWriteAccessButStillReads) {
    HKEY key = createKey(HKEY_LOCAL_MACHINE);
    const std::array<BYTE, 4> text{'1', '.', '2', '3'};
    ASSERT_EQ(RegSetValueEx(key, QStringLiteral("DeviceIP"), REG_SZ, text.data(), text.size()),
              ERROR_SUCCESS);
    RegCloseKey(key);
    const QString hive = RegistryHivePath(HKEY_LOCAL_MACHINE);
    makeReadOnly(hive);

    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kKey, KEY_WRITE, &opened), ERROR_ACCESS_DENIED);
    EXPECT_EQ(
        RegCreateKeyEx(HKEY_LOCAL_MACHINE, kKey + QStringLiteral("\\Sub"), KEY_ALL_ACCESS, &opened),
        ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kKey, KEY_READ, &opened), ERROR_SUCCESS);
    std::array<BYTE, 8> buffer{};
    DWORD size = buffer.size();
    EXPECT_EQ(RegQueryValueEx(opened, QStringLiteral("DeviceIP"), nullptr, buffer.data(), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    RegCloseKey(opened);
}

TEST_F(RegistryTest, WritesReplaceTheHiveWholeOrNotAtAll) {
    HKEY key = createKey(HKEY_CURRENT_USER);
    const std::array<BYTE, 2> first{'a', 'b'};
    ASSERT_EQ(RegSetValueEx(key, QStringLiteral("Name"), REG_SZ, first.data(), first.size()),
              ERROR_SUCCESS);
    // Only the hive itself is left in the folder: no temporary file stays behind.
    EXPECT_EQ(QDir(userDir()).entryList(QDir::Files),
              QStringList{QStringLiteral("HKEY_CURRENT_USER.json")});

    // A hive that cannot be written keeps its old content, byte for byte.
    const QString hive = RegistryHivePath(HKEY_CURRENT_USER);
    const QByteArray before = readFile(hive);
    makeReadOnly(hive);
    const std::array<BYTE, 3> second{'x', 'y', 'z'};
    EXPECT_EQ(RegSetValueEx(key, QStringLiteral("Name"), REG_SZ, second.data(), second.size()),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(readFile(hive), before);
    RegCloseKey(key);
}

TEST_F(RegistryTest, HivesLieWhereTheEnvironmentPutsThem) {
    RegCloseKey(createKey(HKEY_CURRENT_USER));
    RegCloseKey(createKey(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(RegistryHivePath(HKEY_CURRENT_USER),
              userDir() + QStringLiteral("/HKEY_CURRENT_USER.json"));
    EXPECT_EQ(RegistryHivePath(HKEY_LOCAL_MACHINE),
              machineDir() + QStringLiteral("/HKEY_LOCAL_MACHINE.json"));
    EXPECT_TRUE(QFile::exists(RegistryHivePath(HKEY_CURRENT_USER)));
    EXPECT_TRUE(QFile::exists(RegistryHivePath(HKEY_LOCAL_MACHINE)));

    // Moving the user's folder elsewhere leaves the key behind.
    qputenv("RIVIVOZUZUVOD_HKCU_DIR", (machineDir() + QStringLiteral("/elsewhere")).toLocal8Bit());
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kKey, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, DamagedOrOversizedHivesAreRefused) {
    ASSERT_TRUE(QDir().mkpath(userDir()));
    const QString hive = userDir() + QStringLiteral("/HKEY_CURRENT_USER.json");
    const std::vector<QByteArray> damaged{
        QByteArrayLiteral("{not json"),
        QByteArrayLiteral("{\"keys\": 5}"),
        QByteArrayLiteral("{\"keys\": [{\"path\": \"A\", \"values\": [{\"name\": 1}]}]}"),
        QByteArray(kMaxHiveFileBytes + 1, ' '),
    };
    for (const QByteArray& content : damaged) {
        QFile file(hive);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kKey, KEY_READ, &key), ERROR_BADDB)
            << content.left(40).constData();
        EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS, &key), ERROR_BADDB);
    }
}

// Two programs writing at once, 200 values each: the read-modify-write of each holds the
// hive's lock file, so neither loses a value the other wrote.
TEST_F(RegistryTest, TwoProgramsWritingAtOnceBothKeepTheirValues) {
    RegCloseKey(createKey(HKEY_CURRENT_USER));
    ASSERT_TRUE(
        runWriters({{QStringLiteral("write"), QStringLiteral("A"), QStringLiteral("200")},
                    {QStringLiteral("write"), QStringLiteral("B"), QStringLiteral("200")}}));
    int lost = 0;
    for (int i = 0; i < 200; ++i) {
        for (const QString& name : {QStringLiteral("A"), QStringLiteral("B")})
            lost += readString(name + QString::number(i)) != QString::number(i);
    }
    EXPECT_EQ(lost, 0);
}

// Start-up's create-key while another program keeps replacing the hive: the key is always
// found, so the hive is never saved anew with the stored value missing.
TEST_F(RegistryTest, StartUpWhileAnotherProgramWritesNeverLosesAStoredValue) {
    HKEY key = createKey(HKEY_CURRENT_USER);
    const QByteArray stored = "127.0.0.9";
    ASSERT_EQ(RegSetValueEx(key, QStringLiteral("DeviceIP"), REG_SZ,
                            reinterpret_cast<const BYTE*>(stored.data()), 9),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_TRUE(
        runWriters({{QStringLiteral("write"), QStringLiteral("Other"), QStringLiteral("100")},
                    {QStringLiteral("create"), QStringLiteral("300")},
                    {QStringLiteral("create"), QStringLiteral("300")}}));
    EXPECT_EQ(readString(QStringLiteral("DeviceIP")), QStringLiteral("127.0.0.9"));
}

// A hive path that is a FIFO or a folder is refused at once, never opened (a FIFO's open
// would wait for a writer for good).
TEST_F(RegistryTest, HivePathThatIsNotARegularFileIsRefusedAtOnce) {
    ASSERT_TRUE(QDir().mkpath(userDir()));
    const QString hive = userDir() + QStringLiteral("/HKEY_CURRENT_USER.json");
    ASSERT_EQ(::mkfifo(QFile::encodeName(hive).constData(), 0600), 0);
    auto call = std::async(std::launch::async, [] {
        HKEY key = nullptr;
        return RegCreateKeyEx(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS, &key);
    });
    if (call.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // Release the blocked open, so that the test ends with its failure.
        const int writer = ::open(QFile::encodeName(hive).constData(), O_WRONLY | O_NONBLOCK);
        ::close(writer);
        FAIL() << "the FIFO was opened";
    }
    EXPECT_EQ(call.get(), ERROR_BADDB);
    ASSERT_TRUE(QFile::remove(hive));
    ASSERT_TRUE(QDir().mkpath(hive));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kKey, KEY_READ, &key), ERROR_BADDB);
}

} // namespace

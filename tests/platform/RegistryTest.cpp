#include "TemporaryHives.h"

#include <QDir>
#include <QFile>

#include <array>
#include <csignal>
#include <future>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {

class RegistryTest : public testsupport::TemporaryHives {
protected:
    static LONG open(HKEY root, const QString& path, REGSAM access = KEY_READ) {
        HKEY key = nullptr;
        const LONG result = RegOpenKeyEx(root, path, access, &key);
        EXPECT_EQ(result == ERROR_SUCCESS ? RegCloseKey(key) : ERROR_SUCCESS, ERROR_SUCCESS);
        return result;
    }
};

TEST_F(RegistryTest, OpenFindsOnlyKeysThatWereCreated) {
    EXPECT_EQ(open(HKEY_CURRENT_USER, kKey), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(create(HKEY_CURRENT_USER)), ERROR_SUCCESS);
    // The keys above it exist too; names compare without regard to case.
    for (const char* path : {"SOFTWARE", "software", "Software\\delvorrivivozuzuvod"})
        EXPECT_EQ(open(HKEY_CURRENT_USER, QLatin1String(path)), ERROR_SUCCESS) << path;
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, kKey), ERROR_FILE_NOT_FOUND); // the other root's hive

    // The hives lie where the environment puts them.
    RegCloseKey(create(HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(QFile::exists(userDir() + QStringLiteral("/HKEY_CURRENT_USER.json")));
    EXPECT_TRUE(QFile::exists(machineDir() + QStringLiteral("/HKEY_LOCAL_MACHINE.json")));
}

TEST_F(RegistryTest, ValuesComeBackWithTypeAndSizeWithinTheirLimits) {
    HKEY key = create(HKEY_CURRENT_USER);
    const std::tuple<const char*, DWORD, QByteArray, LONG, const char*> cases[] = {
        {"DeviceIP", REG_SZ, "127.1.2.3", ERROR_SUCCESS, "1:3132372e312e322e33"},
        {"Count", REG_DWORD, "\x78\x56\x34\x12", ERROR_SUCCESS, "4:78563412"},
        {"Blob", REG_BINARY, QByteArray("\0\xff\0\x10\x80", 5), ERROR_SUCCESS, "3:00ff001080"},
        {"One", REG_SZ, "7", ERROR_SUCCESS, "1:37"},
        {"Empty", REG_SZ, "", ERROR_SUCCESS, "1:"},
        {"Short", REG_DWORD, "abc", ERROR_INVALID_PARAMETER, "error 2"},
        {"Big", REG_BINARY, QByteArray(kMaxValueBytes + 1, 'A'), ERROR_INVALID_PARAMETER,
         "error 2"},
        {"Long", REG_SZ, "0123456789abcdefg", ERROR_SUCCESS, "error 234"}, // 17 bytes > 16
    };
    for (const auto& [name, type, data, result, read] : cases)
        EXPECT_EQ(set(key, QLatin1String(name), type, data), result) << name;
    for (const auto& [name, type, data, result, read] : cases)
        EXPECT_EQ(get(key, QLatin1String(name)), read) << name;

    // Too small a buffer: the size needed comes back and nothing is copied.
    std::array<BYTE, 8> small{};
    DWORD size = small.size();
    const QString name = QStringLiteral("Long");
    EXPECT_EQ(RegQueryValueEx(key, name, nullptr, small.data(), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 17u);
    EXPECT_EQ(small, (std::array<BYTE, 8>{}));
    RegCloseKey(key);

    // A handle opened for reading cannot write.
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kKey, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(set(key, QStringLiteral("Count"), REG_DWORD, "abcd"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// A hive that cannot be written refuses write access and keeps its content (a write must not
// replace the file through the writable folder); a write leaves no temporary file behind.
TEST_F(RegistryTest, AReadOnlyHiveRefusesWritesButStillReads) {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY key = create(root);
        ASSERT_EQ(set(key, QStringLiteral("DeviceIP"), REG_SZ, "1.23"), ERROR_SUCCESS);
        const QFileInfo hive(RegistryHivePath(root));
        EXPECT_EQ(hive.dir().entryList(QDir::Files), QStringList{hive.fileName()});
        QFile::setPermissions(hive.filePath(), QFile::ReadOwner | QFile::ReadOther);
        EXPECT_EQ(set(key, QStringLiteral("DeviceIP"), REG_SZ, "xyz"), ERROR_ACCESS_DENIED);
        RegCloseKey(key);

        EXPECT_EQ(open(root, kKey, KEY_WRITE), ERROR_ACCESS_DENIED);
        EXPECT_EQ(RegCreateKeyEx(root, kKey + QStringLiteral("\\Sub"), KEY_ALL_ACCESS, &key),
                  ERROR_ACCESS_DENIED);
        ASSERT_EQ(RegOpenKeyEx(root, kKey, KEY_READ, &key), ERROR_SUCCESS);
        EXPECT_EQ(get(key, QStringLiteral("DeviceIP")), "1:312e3233");
        RegCloseKey(key);
    }
}

// Damaged, oversized or not a regular file: refused at once, never opened (a FIFO's open
// would wait for a writer for good).
TEST_F(RegistryTest, DamagedOversizedOrSpecialHivesAreRefused) {
    ASSERT_TRUE(QDir().mkpath(userDir()));
    const QString hive = userDir() + QStringLiteral("/HKEY_CURRENT_USER.json");
    const QByteArray kFifo = "fifo", kFolder = "folder";
    for (const QByteArray& content :
         {QByteArray("{not json"), QByteArray("{\"keys\": 5}"),
          QByteArray("{\"keys\": [{\"path\": \"A\", \"values\": [{\"name\": 1}]}]}"),
          QByteArray(kMaxHiveFileBytes + 1, ' '), kFifo, kFolder}) {
        QFile::remove(hive);
        QFile file(hive);
        if (content == kFifo)
            ASSERT_EQ(::mkfifo(QFile::encodeName(hive).constData(), 0600), 0);
        else if (content == kFolder)
            ASSERT_TRUE(QDir().mkpath(hive));
        else
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        auto call = std::async(std::launch::async, [] {
            HKEY key = nullptr;
            return RegCreateKeyEx(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS, &key);
        });
        if (call.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            // Release the blocked open, so that the test ends with its failure.
            ::close(::open(QFile::encodeName(hive).constData(), O_WRONLY | O_NONBLOCK));
            FAIL() << "the FIFO was opened";
        }
        EXPECT_EQ(call.get(), ERROR_BADDB) << content.left(40).constData();
        EXPECT_EQ(open(HKEY_CURRENT_USER, kKey), ERROR_BADDB) << content.left(40).constData();
    }
}

// The file size limit stands in for a full disk: the write fails part-way (below the old
// hive's size, or between it and the new one's; buffered or written at once), the old hive
// keeps its value and no temporary file is left. The signal the limit raises does not end
// the process, ignored or not.
TEST_F(RegistryTest, AFailedWriteKeepsTheOldHive) {
    HKEY key = create(HKEY_CURRENT_USER);
    ASSERT_EQ(set(key, QStringLiteral("DeviceIP"), REG_SZ, "127.0.0.9"), ERROR_SUCCESS);
    ASSERT_EQ(set(key, QStringLiteral("Old"), REG_BINARY, QByteArray(3000, 'o')), ERROR_SUCCESS);
    RegCloseKey(key);
    const QFileInfo hive(RegistryHivePath(HKEY_CURRENT_USER));
    const qint64 oldSize = hive.size();
    const std::tuple<qint64, int, bool, LONG> cases[] = {
        // file size limit, bytes of the new value, SIGXFSZ ignored, result
        {oldSize + 1000, 4000, false, ERROR_REGISTRY_IO_FAILED},
        {1024, 4000, true, ERROR_REGISTRY_IO_FAILED},
        {oldSize + 1000, 4000, true, ERROR_REGISTRY_IO_FAILED},
        {oldSize + 1000, 30000, false, ERROR_REGISTRY_IO_FAILED},
        {1024 * 1024, 30000, false, ERROR_SUCCESS},
    };
    for (const auto& [limit, bytes, ignored, result] : cases) {
        std::array<int, 2> pipe{};
        ASSERT_EQ(::pipe(pipe.data()), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) { // the child: no test macros, only the call's result
            ::signal(SIGXFSZ, ignored ? SIG_IGN : SIG_DFL);
            const rlimit size{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
            LONG written = ::setrlimit(RLIMIT_FSIZE, &size) == 0 ? ERROR_SUCCESS : -1;
            if (written == ERROR_SUCCESS &&
                RegOpenKeyEx(HKEY_CURRENT_USER, kKey, KEY_WRITE, &key) == ERROR_SUCCESS) {
                written = set(key, QStringLiteral("New"), REG_BINARY, QByteArray(bytes, 'n'));
                RegCloseKey(key);
            }
            ::_exit(::write(pipe[1], &written, sizeof written) == sizeof written ? 0 : 1);
        }
        ::close(pipe[1]);
        LONG written = -1;
        EXPECT_EQ(::read(pipe[0], &written, sizeof written), ssize_t(sizeof written)) << limit;
        ::close(pipe[0]);
        int status = -1;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_EQ(status, 0) << "limit " << limit << ": the child ended by signal "
                             << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(written, result) << "limit " << limit << ", " << bytes << " bytes";
        key = create(HKEY_CURRENT_USER);
        EXPECT_EQ(get(key, QStringLiteral("DeviceIP")), "1:3132372e302e302e39") << limit;
        EXPECT_EQ(get(key, QStringLiteral("New")) != "error 2", result == ERROR_SUCCESS) << limit;
        RegCloseKey(key);
        EXPECT_EQ(hive.dir().entryList(QDir::Files | QDir::Hidden), QStringList{hive.fileName()})
            << limit;
    }
}

// Two processes write 200 values each while two start up (creating the key 300 times): each
// read-modify-write holds the hive's lock file, so no value is lost.
TEST_F(RegistryTest, ProcessesWritingAtOnceLoseNoValue) {
    HKEY key = create(HKEY_CURRENT_USER);
    ASSERT_EQ(set(key, QStringLiteral("DeviceIP"), REG_SZ, "127.0.0.9"), ERROR_SUCCESS);
    RegCloseKey(key);
    std::vector<pid_t> children;
    for (const QString& prefix : {QStringLiteral("A"), QStringLiteral("B"), QString(), QString()}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid > 0) {
            children.push_back(pid);
            continue;
        }
        bool ok = true; // the child: no test macros, only its exit status
        for (int i = 0; ok && i < (prefix.isEmpty() ? 300 : 200); ++i) {
            ok = RegCreateKeyEx(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS &&
                 (prefix.isEmpty() || set(key, prefix + QString::number(i), REG_SZ,
                                          QByteArray::number(i)) == ERROR_SUCCESS);
            RegCloseKey(key);
        }
        ::_exit(ok ? 0 : 1);
    }
    for (const pid_t pid : children) {
        int status = -1;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_EQ(status, 0) << "a process failed a call";
    }
    key = create(HKEY_CURRENT_USER);
    EXPECT_EQ(get(key, QStringLiteral("DeviceIP")), "1:3132372e302e302e39");
    int lost = 0;
    for (int i = 0; i < 200; ++i) {
        const QByteArray expected = "1:" + QByteArray::number(i).toHex();
        lost += get(key, QStringLiteral("A%1").arg(i)) != expected;
        lost += get(key, QStringLiteral("B%1").arg(i)) != expected;
    }
    EXPECT_EQ(lost, 0);
    RegCloseKey(key);
}

} // namespace

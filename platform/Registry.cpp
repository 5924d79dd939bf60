#include "Registry.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#ifdef Q_OS_UNIX
#include <csignal>
#include <pthread.h>
#include <unistd.h>
#endif

namespace platform {

struct RegistryKey {
    HKEY root;
    QString path; // components joined by '\', no leading or trailing separator
    REGSAM access;
};

namespace {

RegistryKey g_currentUserRoot{nullptr, {}, KEY_ALL_ACCESS};
RegistryKey g_localMachineRoot{nullptr, {}, KEY_ALL_ACCESS};

} // namespace

const HKEY HKEY_CURRENT_USER = &g_currentUserRoot;
const HKEY HKEY_LOCAL_MACHINE = &g_localMachineRoot;

namespace {

struct RegValue {
    QString name;
    DWORD type = REG_NONE;
    QByteArray data;
};

struct RegKeyEntry {
    QString path;
    std::vector<RegValue> values;
};

struct Hive {
    std::vector<RegKeyEntry> keys;
};

// Every call loads, changes and saves a whole hive. One lock keeps two threads of this
// process from interleaving that; the hive's lock file (lockHive) does the same for two
// processes.
std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

// Handles given out and not yet closed, so that a stale or doubly closed handle is refused
// instead of being used.
std::set<HKEY>& openHandles() {
    static std::set<HKEY> handles;
    return handles;
}

bool isRoot(HKEY key) {
    return key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

bool isValidHandle(HKEY key) {
    return isRoot(key) || openHandles().count(key) != 0;
}

HKEY rootOf(HKEY key) {
    return isRoot(key) ? key : key->root;
}

QString machineHiveDefaultDir() {
#ifdef Q_OS_WIN
    return qEnvironmentVariable("ProgramData") + QStringLiteral("/DELVORRivivozUzuvod");
#else
    return QStringLiteral("/var/lib/rivivozuzuvod");
#endif
}

QString hiveDir(HKEY root) {
    if (root == HKEY_CURRENT_USER) {
        const QString moved = qEnvironmentVariable("RIVIVOZUZUVOD_HKCU_DIR");
        if (!moved.isEmpty())
            return moved;
        return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
               QStringLiteral("/DELVORRivivozUzuvod");
    }
    const QString moved = qEnvironmentVariable("RIVIVOZUZUVOD_HKLM_DIR");
    return moved.isEmpty() ? machineHiveDefaultDir() : moved;
}

QString hiveFileName(HKEY root) {
    return root == HKEY_CURRENT_USER ? QStringLiteral("HKEY_CURRENT_USER.json")
                                     : QStringLiteral("HKEY_LOCAL_MACHINE.json");
}

QString hivePath(HKEY root) {
    return hiveDir(root) + QLatin1Char('/') + hiveFileName(root);
}

// Root may write anything, so the permission bits count as well: a hive file or folder
// marked read-only for everybody is treated as read-only.
bool hasWritePermission(const QFileInfo& info) {
    const QFile::Permissions writeBits = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.isWritable() && (info.permissions() & writeBits);
}

bool isHiveWritable(HKEY root) {
    const QFileInfo folder(hiveDir(root));
    if (!folder.isDir() || !hasWritePermission(folder))
        return false;
    const QFileInfo file(hivePath(root));
    return !file.exists() || hasWritePermission(file);
}

bool wantsWrite(REGSAM access) {
    return (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0;
}

bool normalizeKeyPath(const QString& subKey, QString& path) {
    if (subKey.size() > kMaxKeyPathLength || subKey.startsWith(QLatin1Char('\\')))
        return false;
    const QStringList parts = subKey.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    path = parts.join(QLatin1Char('\\'));
    return true;
}

bool samePath(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

RegKeyEntry* findKey(Hive& hive, const QString& path) {
    for (RegKeyEntry& key : hive.keys) {
        if (samePath(key.path, path))
            return &key;
    }
    return nullptr;
}

RegValue* findValue(RegKeyEntry& key, const QString& name) {
    for (RegValue& value : key.values) {
        if (samePath(value.name, name))
            return &value;
    }
    return nullptr;
}

bool parseValue(const QJsonObject& object, RegValue& value) {
    const QJsonValue type = object.value(QLatin1String("type"));
    const QJsonValue data = object.value(QLatin1String("data"));
    if (!object.value(QLatin1String("name")).isString() || !type.isDouble() || !data.isString())
        return false;
    value.name = object.value(QLatin1String("name")).toString();
    value.type = static_cast<DWORD>(type.toInt());
    value.data = QByteArray::fromBase64(data.toString().toLatin1());
    return value.data.size() <= static_cast<qsizetype>(kMaxValueBytes);
}

bool parseKey(const QJsonObject& object, RegKeyEntry& key) {
    if (!object.value(QLatin1String("path")).isString() ||
        !object.value(QLatin1String("values")).isArray())
        return false;
    key.path = object.value(QLatin1String("path")).toString();
    for (const QJsonValue& item : object.value(QLatin1String("values")).toArray()) {
        RegValue value;
        if (!item.isObject() || !parseValue(item.toObject(), value))
            return false;
        key.values.push_back(std::move(value));
    }
    return true;
}

// How long a call waits for another program's read or write of the same hive; one takes
// milliseconds, so a lock held longer than this belongs to a program that hangs.
constexpr int kHiveLockWaitMs = 5000;
constexpr unsigned long kHiveLockPauseMs = 2;

// Takes the lock file beside the hive for one read, or one read-modify-write, so that another
// program never writes between this call's read and its write (its value would be lost) and
// never replaces the file while this call reads it. Without a folder, or in a folder nobody
// may write to, there is no lock file to take and no writer to fear: the call goes on without.
LONG lockHive(HKEY root, std::unique_ptr<QLockFile>& lock) {
    if (!QFileInfo(hiveDir(root)).isDir())
        return ERROR_SUCCESS;
    lock = std::make_unique<QLockFile>(hivePath(root) + QStringLiteral(".lock"));
    // QLockFile's own wait doubles its pause from 100 ms; another program's call is over in
    // a millisecond or two, so this one looks again every few milliseconds instead.
    const QDeadlineTimer deadline(kHiveLockWaitMs);
    while (!lock->tryLock(0)) {
        if (lock->error() != QLockFile::LockFailedError || deadline.hasExpired()) {
            const QLockFile::LockError error = lock->error();
            lock.reset();
            return error == QLockFile::PermissionError ? ERROR_SUCCESS : ERROR_SHARING_VIOLATION;
        }
        QThread::msleep(kHiveLockPauseMs);
    }
    return ERROR_SUCCESS;
}

// A missing hive file is an empty hive. Anything there that is not a regular file (a FIFO,
// a device node, a folder) is never opened: its open could block for good.
LONG loadHive(HKEY root, Hive& hive) {
    hive = {};
    const QFileInfo info(hivePath(root));
    if (!info.exists() && !info.isSymLink())
        return ERROR_SUCCESS;
    if (!info.isFile())
        return ERROR_BADDB;
    QFile file(info.filePath());
    if (file.size() > kMaxHiveFileBytes || !file.open(QIODevice::ReadOnly))
        return ERROR_BADDB;
    const QByteArray content = file.read(kMaxHiveFileBytes + 1);
    if (content.size() > kMaxHiveFileBytes)
        return ERROR_BADDB;
    const QJsonDocument document = QJsonDocument::fromJson(content);
    if (!document.isObject() || !document.object().value(QLatin1String("keys")).isArray())
        return ERROR_BADDB;
    for (const QJsonValue& item : document.object().value(QLatin1String("keys")).toArray()) {
        RegKeyEntry key;
        if (!item.isObject() || !parseKey(item.toObject(), key))
            return ERROR_BADDB;
        hive.keys.push_back(std::move(key));
    }
    return ERROR_SUCCESS;
}

QByteArray serializeHive(const Hive& hive) {
    QJsonArray keys;
    for (const RegKeyEntry& key : hive.keys) {
        QJsonArray values;
        for (const RegValue& value : key.values) {
            values.append(QJsonObject{
                {QLatin1String("name"), value.name},
                {QLatin1String("type"), static_cast<qint64>(value.type)},
                {QLatin1String("data"), QString::fromLatin1(value.data.toBase64())},
            });
        }
        keys.append(
            QJsonObject{{QLatin1String("path"), key.path}, {QLatin1String("values"), values}});
    }
    return QJsonDocument(QJsonObject{{QLatin1String("keys"), keys}})
        .toJson(QJsonDocument::Indented);
}

#ifdef Q_OS_UNIX
// A write beyond the process's file size limit raises SIGXFSZ, whose default action ends the
// process: the stored settings would be lost along with everything else. While a hive is
// written the signal is held back from the writing thread and taken away afterwards, so the
// write fails with EFBIG like any other full disk.
class FileSizeSignalHold {
public:
    FileSizeSignalHold() {
        sigemptyset(&m_signal);
        sigaddset(&m_signal, SIGXFSZ);
        pthread_sigmask(SIG_BLOCK, &m_signal, &m_previous);
    }
    ~FileSizeSignalHold() {
        if (sigismember(&m_previous, SIGXFSZ) == 1)
            return; // held back by the caller already: the caller decides
        const timespec noWait{};
        sigtimedwait(&m_signal, nullptr, &noWait);
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    FileSizeSignalHold(const FileSizeSignalHold&) = delete;
    FileSizeSignalHold& operator=(const FileSizeSignalHold&) = delete;

private:
    sigset_t m_signal{};
    sigset_t m_previous{};
};
#else
struct FileSizeSignalHold {};
#endif

// Data that the file system took into its cache may still fail to reach the disk (a full
// disk found late, an I/O error); the sync is where that shows.
bool syncToDisk(QSaveFile& file) {
#ifdef Q_OS_UNIX
    return ::fsync(file.handle()) == 0 || errno == EINVAL; // EINVAL: no sync on this file system
#else
    Q_UNUSED(file);
    return true;
#endif
}

// Written to a temporary file and renamed over the old one, so a reader sees either the
// old hive or the new one, never a part. Every step is checked before the rename: a short
// write, a failed flush of the buffered rest (a full disk shows here for a small hive) or a
// failed sync discards the temporary file and leaves the old hive as it was.
LONG saveHive(HKEY root, const Hive& hive) {
    if (!isHiveWritable(root))
        return ERROR_ACCESS_DENIED;
    const QByteArray content = serializeHive(hive);
    if (content.size() > kMaxHiveFileBytes)
        return ERROR_BADDB;
    [[maybe_unused]] const FileSizeSignalHold hold;
    QSaveFile file(hivePath(root));
    if (!file.open(QIODevice::WriteOnly))
        return ERROR_ACCESS_DENIED;
    if (file.write(content) != content.size() || !file.flush() || !syncToDisk(file)) {
        file.cancelWriting();
        file.commit(); // after cancelWriting, commit removes the temporary file
        return ERROR_REGISTRY_IO_FAILED;
    }
    return file.commit() ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
}

HKEY newHandle(HKEY root, const QString& path, REGSAM access) {
    HKEY key = new RegistryKey{root, path, access};
    openHandles().insert(key);
    return key;
}

QString joinPath(HKEY parent, const QString& relative) {
    if (isRoot(parent) || parent->path.isEmpty())
        return relative;
    if (relative.isEmpty())
        return parent->path;
    return parent->path + QLatin1Char('\\') + relative;
}

void addKeyWithParents(Hive& hive, const QString& path) {
    const QStringList parts = path.split(QLatin1Char('\\'));
    QString prefix;
    for (const QString& part : parts) {
        prefix = prefix.isEmpty() ? part : prefix + QLatin1Char('\\') + part;
        if (findKey(hive, prefix) == nullptr)
            hive.keys.push_back(RegKeyEntry{prefix, {}});
    }
}

bool isKnownType(DWORD type) {
    return type == REG_NONE || type == REG_SZ || type == REG_BINARY || type == REG_DWORD;
}

// A key named by a root handle and a path below it, with its hive loaded and locked.
struct KeyLookup {
    HKEY hiveRoot{};
    QString path;
    Hive hive;
    std::unique_ptr<QLockFile> lock;
};

// `creating`: the hive's folder is made first, so that the lock is held from the read on.
LONG lookUpKey(HKEY root, const QString& subKey, const HKEY* result, KeyLookup& key,
               bool creating = false) {
    QString relative;
    if (result == nullptr || !normalizeKeyPath(subKey, relative))
        return ERROR_INVALID_PARAMETER;
    if (!isValidHandle(root))
        return ERROR_INVALID_HANDLE;
    key.hiveRoot = rootOf(root);
    key.path = joinPath(root, relative);
    if (creating && !key.path.isEmpty())
        QDir().mkpath(hiveDir(key.hiveRoot));
    if (const LONG locked = lockHive(key.hiveRoot, key.lock); locked != ERROR_SUCCESS)
        return locked;
    return loadHive(key.hiveRoot, key.hive);
}

// The entry of an open key, for a handle that holds `right`; the hive it lies in is locked
// and loaded into `hive`. ERROR_KEY_DELETED when the key has gone since it was opened.
LONG loadEntry(HKEY key, REGSAM right, Hive& hive, RegKeyEntry*& entry,
               std::unique_ptr<QLockFile>& lock) {
    if ((key->access & right) == 0)
        return ERROR_ACCESS_DENIED;
    if (const LONG locked = lockHive(rootOf(key), lock); locked != ERROR_SUCCESS)
        return locked;
    if (const LONG loaded = loadHive(rootOf(key), hive); loaded != ERROR_SUCCESS)
        return loaded;
    entry = findKey(hive, key->path);
    return entry != nullptr ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

} // namespace

LONG RegCreateKeyEx(HKEY root, const QString& subKey, REGSAM access, HKEY* result,
                    DWORD* disposition) {
    std::lock_guard lock(registryMutex());
    KeyLookup key;
    if (const LONG found = lookUpKey(root, subKey, result, key, true); found != ERROR_SUCCESS)
        return found;
    const HKEY hiveRoot = key.hiveRoot;
    const QString& path = key.path;
    Hive& hive = key.hive;
    const bool exists = path.isEmpty() || findKey(hive, path) != nullptr;
    if (!exists) {
        addKeyWithParents(hive, path);
        if (const LONG saved = saveHive(hiveRoot, hive); saved != ERROR_SUCCESS)
            return saved;
    } else if (wantsWrite(access) && !isHiveWritable(hiveRoot)) {
        return ERROR_ACCESS_DENIED;
    }
    if (disposition != nullptr)
        *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *result = newHandle(hiveRoot, path, access);
    return ERROR_SUCCESS;
}

LONG RegOpenKeyEx(HKEY root, const QString& subKey, REGSAM access, HKEY* result) {
    std::lock_guard lock(registryMutex());
    KeyLookup key;
    if (const LONG found = lookUpKey(root, subKey, result, key); found != ERROR_SUCCESS)
        return found;
    const HKEY hiveRoot = key.hiveRoot;
    const QString& path = key.path;
    Hive& hive = key.hive;
    if (!path.isEmpty() && findKey(hive, path) == nullptr)
        return ERROR_FILE_NOT_FOUND;
    if (wantsWrite(access) && !isHiveWritable(hiveRoot))
        return ERROR_ACCESS_DENIED;
    *result = newHandle(hiveRoot, path, access);
    return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY key, const QString& valueName, DWORD* type, BYTE* data, DWORD* size) {
    std::lock_guard lock(registryMutex());
    if (!isValidHandle(key))
        return ERROR_INVALID_HANDLE;
    if (data != nullptr && size == nullptr)
        return ERROR_INVALID_PARAMETER;
    Hive hive;
    RegKeyEntry* entry = nullptr;
    std::unique_ptr<QLockFile> hiveLock;
    if (const LONG found = loadEntry(key, KEY_QUERY_VALUE, hive, entry, hiveLock);
        found != ERROR_SUCCESS)
        return found == ERROR_KEY_DELETED && isRoot(key) ? ERROR_FILE_NOT_FOUND : found;
    const RegValue* value = findValue(*entry, valueName);
    if (value == nullptr)
        return ERROR_FILE_NOT_FOUND;
    if (type != nullptr)
        *type = value->type;
    if (size == nullptr)
        return ERROR_SUCCESS;
    const auto length = static_cast<DWORD>(value->data.size());
    const DWORD capacity = *size;
    *size = length;
    if (data == nullptr)
        return ERROR_SUCCESS;
    if (capacity < length)
        return ERROR_MORE_DATA;
    if (length > 0)
        std::memcpy(data, value->data.constData(), length);
    return ERROR_SUCCESS;
}

LONG RegSetValueEx(HKEY key, const QString& valueName, DWORD type, const BYTE* data, DWORD size) {
    std::lock_guard lock(registryMutex());
    if (!isValidHandle(key))
        return ERROR_INVALID_HANDLE;
    if (!isKnownType(type) || size > kMaxValueBytes || (data == nullptr && size > 0) ||
        valueName.size() > kMaxValueNameLength || (type == REG_DWORD && size != sizeof(DWORD)))
        return ERROR_INVALID_PARAMETER;
    Hive hive;
    RegKeyEntry* entry = nullptr;
    std::unique_ptr<QLockFile> hiveLock;
    if (const LONG found = loadEntry(key, KEY_SET_VALUE, hive, entry, hiveLock);
        found != ERROR_SUCCESS)
        return found;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (RegValue* value = findValue(*entry, valueName)) {
        value->type = type;
        value->data = bytes;
    } else {
        entry->values.push_back(RegValue{valueName, type, bytes});
    }
    return saveHive(rootOf(key), hive);
}

LONG RegCloseKey(HKEY key) {
    std::lock_guard lock(registryMutex());
    if (isRoot(key))
        return ERROR_SUCCESS;
    if (openHandles().erase(key) == 0)
        return ERROR_INVALID_HANDLE;
    delete key;
    return ERROR_SUCCESS;
}

QString RegistryHivePath(HKEY root) {
    return hivePath(root == HKEY_LOCAL_MACHINE ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER);
}

} // namespace platform

#include "RegistrySettings.h"

#include "platform/Registry.h"
#include "res/Texts.h"

#include <algorithm>
#include <array>

using namespace platform;

namespace {

constexpr DWORD kValueBufferBytes = 260;

QString keyPath() {
    return QString(res::text::RegistryKeyPath);
}

enum class ReadResult { Read, NoValue, Failed };

// One root's value; NoValue when the key or the value is not there, so the caller may
// look elsewhere.
ReadResult readFromRoot(HKEY root, const QString& name, QString& text) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(root, keyPath(), KEY_READ, &key) != ERROR_SUCCESS)
        return ReadResult::NoValue;
    std::array<BYTE, kValueBufferBytes> buffer{};
    DWORD size = kValueBufferBytes;
    DWORD type = REG_NONE;
    const LONG result = RegQueryValueEx(key, name, &type, buffer.data(), &size);
    RegCloseKey(key);
    if (result == ERROR_FILE_NOT_FOUND)
        return ReadResult::NoValue;
    if (result != ERROR_SUCCESS)
        return ReadResult::Failed;
    if (type == REG_SZ) {
        const auto* bytes = reinterpret_cast<const char*>(buffer.data());
        text = QString::fromLatin1(bytes, qstrnlen(bytes, kValueBufferBytes));
    }
    return ReadResult::Read;
}

} // namespace

bool CreateSettingsKey() {
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, keyPath(), KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool ReadRegistryString(const QString& name, QString& text) {
    text.clear();
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        switch (readFromRoot(root, name, text)) {
        case ReadResult::Read:
            return true;
        case ReadResult::Failed:
            return false;
        case ReadResult::NoValue:
            break;
        }
    }
    return false;
}

namespace {
// Whether the key already holds exactly these bytes as text under `name`.
bool HoldsText(HKEY key, const QString& name, const QByteArray& bytes) {
    std::array<BYTE, kValueBufferBytes> buffer{};
    DWORD size = kValueBufferBytes;
    DWORD type = REG_NONE;
    return RegQueryValueEx(key, name, &type, buffer.data(), &size) == ERROR_SUCCESS &&
           type == REG_SZ && size == static_cast<DWORD>(bytes.size()) &&
           std::equal(bytes.begin(), bytes.end(), buffer.begin());
}
} // namespace

// Every Connect stores its address; rewriting and syncing the hive for the value it already
// holds would cost a disk flush per click for nothing.
bool WriteRegistryString(const QString& name, const QString& text) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, keyPath(), KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
        return false;
    const QByteArray bytes = text.toLatin1();
    LONG result = ERROR_SUCCESS;
    if (!HoldsText(key, name, bytes))
        result = RegSetValueEx(key, name, REG_SZ, reinterpret_cast<const BYTE*>(bytes.constData()),
                               static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

#include "RegistrySettings.h"

#include "platform/Registry.h"
#include "res/Texts.h"

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

bool WriteRegistryString(const QString& name, const QString& text) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, keyPath(), KEY_WRITE, &key) != ERROR_SUCCESS)
        return false;
    const QByteArray bytes = text.toLatin1();
    const LONG result =
        RegSetValueEx(key, name, REG_SZ, reinterpret_cast<const BYTE*>(bytes.constData()),
                      static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

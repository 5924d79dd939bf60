#pragma once

#include "platform/WinTypes.h"

#include <QString>

// The registry: one hive per root, each a small file of keys with typed values, written
// atomically. The calls behave as the Windows calls of the same names do for the ways this
// program uses them, return codes included.
//
// HKEY_CURRENT_USER lives in the user's config folder, HKEY_LOCAL_MACHINE in a machine-wide
// folder (/var/lib/rivivozuzuvod; %ProgramData% on Windows). RIVIVOZUZUVOD_HKCU_DIR and
// RIVIVOZUZUVOD_HKLM_DIR move them. A hive whose file or folder is not writable (or whose
// file carries no write permission bit at all) refuses write access. A write the file system
// does not complete (a full disk, a file size limit, an I/O error) returns
// ERROR_REGISTRY_IO_FAILED and leaves the hive as it was.
//
// The names follow the Windows calls; a source that uses them must not include <windows.h>.
namespace platform {

struct RegistryKey;
using HKEY = RegistryKey*;
using LONG = long;
using REGSAM = DWORD;

// Root keys. They need no closing.
extern const HKEY HKEY_CURRENT_USER;
extern const HKEY HKEY_LOCAL_MACHINE;

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_SHARING_VIOLATION = 32; // another program holds the hive too long
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_BADDB = 1009; // hive file unreadable, malformed or too large
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016; // the hive could not be written out
inline constexpr LONG ERROR_KEY_DELETED = 1018;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Limits: a hive file above this size is refused whole; a value above this size is refused.
inline constexpr qint64 kMaxHiveFileBytes = 1024 * 1024;
inline constexpr DWORD kMaxValueBytes = 64 * 1024;
inline constexpr int kMaxKeyPathLength = 512;
inline constexpr int kMaxValueNameLength = 255;

// Creates the key (and the keys above it) or opens it when it exists. Creating needs a
// writable hive; so does write access to an existing key. `disposition` may be null.
LONG RegCreateKeyEx(HKEY root, const QString& subKey, REGSAM access, HKEY* result,
                    DWORD* disposition = nullptr);

// Opens an existing key: ERROR_FILE_NOT_FOUND when it does not exist.
LONG RegOpenKeyEx(HKEY root, const QString& subKey, REGSAM access, HKEY* result);

// Reads a value. `type` and `data` may be null; `size` holds the buffer size on entry and
// the value's size on return. A buffer too small gives ERROR_MORE_DATA (nothing copied);
// a missing value ERROR_FILE_NOT_FOUND.
LONG RegQueryValueEx(HKEY key, const QString& valueName, DWORD* type, BYTE* data, DWORD* size);

// Writes a value of `size` bytes; the key must have been opened with KEY_SET_VALUE.
LONG RegSetValueEx(HKEY key, const QString& valueName, DWORD type, const BYTE* data, DWORD size);

// Closes a key opened or created above; closing a root key does nothing.
LONG RegCloseKey(HKEY key);

// Where a root's hive file lies (for tools and tests).
QString RegistryHivePath(HKEY root);

} // namespace platform

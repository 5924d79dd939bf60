#pragma once

#include <QString>

// The program's one stored setting, the last device address, in the registry key
// "SOFTWARE\DELVORRivivozUzuvod".
//
// The key is created under HKEY_CURRENT_USER at start-up, and the value is written there
// too, where an ordinary user may write. Reading looks under HKEY_CURRENT_USER first and
// falls back to HKEY_LOCAL_MACHINE when the user has no value, so a machine-wide address
// set up by an administrator still serves as the default.

// Start-up: creates the key under HKEY_CURRENT_USER, or opens it when it exists.
bool CreateSettingsKey();

// Reads a text value into `text` ("" first). False when the key or the value is missing
// or the value is longer than 260 bytes; a value of another type than text gives true
// and "".
bool ReadRegistryString(const QString& name, QString& text);

// Writes a text value (type REG_SZ, its bytes without a terminating zero) into the
// existing key; the key is never created here. False when the key is missing or cannot be
// written.
bool WriteRegistryString(const QString& name, const QString& text);

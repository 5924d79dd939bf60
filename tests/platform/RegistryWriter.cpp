// A second program for the registry tests, so that two processes meet on one hive:
//   registry_writer write NAME COUNT   sets NAME0, NAME1, ... to "0", "1", ..., one call each
//   registry_writer create COUNT       creates the settings key COUNT times, as start-up does
// The hives are where the environment puts them. Exit code 0 when every call succeeded.
#include "platform/Registry.h"

#include <QCoreApplication>
#include <QStringList>

using namespace platform;

namespace {

const QString kKey = QStringLiteral("SOFTWARE\\DELVORRivivozUzuvod");

bool WriteValue(const QString& name, int value) {
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    const QByteArray text = QByteArray::number(value);
    const LONG result =
        RegSetValueEx(key, name + QString::number(value), REG_SZ,
                      reinterpret_cast<const BYTE*>(text.data()), static_cast<DWORD>(text.size()));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool CreateKey() {
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool write = args.size() == 3 && args[0] == QLatin1String("write");
    const bool create = args.size() == 2 && args[0] == QLatin1String("create");
    if (!write && !create)
        return 2;
    const int count = qBound(0, args.last().toInt(), 10000);
    bool ok = true;
    for (int i = 0; i < count; ++i)
        ok = (write ? WriteValue(args[1], i) : CreateKey()) && ok;
    return ok ? 0 : 1;
}

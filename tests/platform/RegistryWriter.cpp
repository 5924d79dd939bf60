// A second program for the registry tests, so that two processes meet on one hive:
//   registry_writer write NAME COUNT   sets NAME0, NAME1, ... to "0", "1", ..., one call each
//   registry_writer create COUNT       creates the settings key COUNT times, as start-up does
// The hives are where the environment puts them. Exit code 0 when every call succeeded.
#include "platform/Registry.h"

#include <QCoreApplication>
#include <QStringList>

using namespace platform;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool write = args.size() == 3 && args[0] == QLatin1String("write");
    bool ok = write || (args.size() == 2 && args[0] == QLatin1String("create"));
    for (int i = 0; ok && i < qBound(0, args.last().toInt(), 10000); ++i) {
        HKEY key = nullptr;
        const QByteArray text = QByteArray::number(i);
        ok = RegCreateKeyEx(HKEY_CURRENT_USER, QStringLiteral("SOFTWARE\\DELVORRivivozUzuvod"),
                            KEY_ALL_ACCESS, &key) == ERROR_SUCCESS;
        ok = ok && (!write || RegSetValueEx(key, args[1] + QString::number(i), REG_SZ,
                                            reinterpret_cast<const BYTE*>(text.data()),
                                            static_cast<DWORD>(text.size())) == ERROR_SUCCESS);
        RegCloseKey(key);
    }
    return ok ? 0 : 1;
}

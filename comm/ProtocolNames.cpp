#include "comm/ProtocolNames.h"

#include "res/Texts.h"

QString ProtocolDisplayName(int code) {
    if (code >= 0 && code < static_cast<int>(g_ProtocolNames.size()))
        return QString(g_ProtocolNames[static_cast<std::size_t>(code)]);
    return QString::asprintf(res::text::UnknownProtocolFormat.data(), code);
}

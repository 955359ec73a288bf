#include "link/LanSearchResult.h"

#include <p2p/p2p.h>

namespace {

QString fieldText(const char *entry, int offset, int end)
{
    const int size = end - offset;
    return QString::fromLatin1(entry + offset, int(qstrnlen(entry + offset, size_t(size))));
}

} // namespace

LanSearchResult LanSearchResult::fromEntry(const char *entry)
{
    LanSearchResult r;
    r.uid = fieldText(entry, P2P_SEARCH_UID_OFFSET, P2P_SEARCH_IP_OFFSET);
    r.ip = fieldText(entry, P2P_SEARCH_IP_OFFSET, P2P_SEARCH_PORT_OFFSET);
    const unsigned port = unsigned(quint8(entry[P2P_SEARCH_PORT_OFFSET])) |
                          unsigned(quint8(entry[P2P_SEARCH_PORT_OFFSET + 1])) << 8;
    r.port = QString::number(port);
    r.name = fieldText(entry, P2P_SEARCH_NAME_OFFSET, P2P_SEARCH_ENTRY_SIZE);
    return r;
}

QList<LanSearchResult> LanSearchResult::fromEntries(const QByteArray &entries, int count)
{
    QList<LanSearchResult> out;
    for (int i = 0; i < count; ++i) {
        const qsizetype at = qsizetype(i) * P2P_SEARCH_ENTRY_SIZE;
        if (entries.size() < at + P2P_SEARCH_ENTRY_SIZE)
            break;
        out.append(fromEntry(entries.constData() + at));
    }
    return out;
}

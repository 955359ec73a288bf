#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One device found by LAN search. Plain value record.
struct LanSearchResult
{
    QString name;
    QString uid;
    QString ip;
    QString port; // decimal text

    // Reads one result entry of the SDK (P2P_SEARCH_ENTRY_SIZE bytes). Texts
    // end at their first zero byte or at the end of their field.
    static LanSearchResult fromEntry(const char *entry);
    // Reads count entries from a copy of the SDK's result array; entries cut
    // off by the end of the data are left out.
    static QList<LanSearchResult> fromEntries(const QByteArray &entries, int count);
};

#pragma once

#include "link/onvif/OnvifTypes.h"

#include <QFile>

// The recorded replies of tests/onvif/data, and error kinds as words.

inline QByteArray sample(const QString &name)
{
    QFile f(QStringLiteral(ORVANE_ONVIF_DATA "/") + name + QStringLiteral(".xml"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QString kindName(const OnvifError &e)
{
    static const char *kinds[] = {"fault", "malformed", "oversized", "unauthorized",
                                  "http",  "network",   "timeout",   "unsupported"};
    return QLatin1String(kinds[int(e.kind)]);
}

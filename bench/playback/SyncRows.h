#pragma once

#include <QDateTime>
#include <QString>

// Plays the first n channels of the devsim recorder uid (recordings from
// start) in n cells as one group for `seconds`, sampling every 40 ms the
// spread between the cells' shown recording times; prints p50/p95/worst.
bool measureSync(int n, const QDateTime &start, const QString &uid, int seconds);
// Asks the devsim camera uid for `count` thumbnails of random moments of
// the hour from start; prints the time to each picture.
bool measureThumbnails(const QDateTime &start, const QString &uid, int count);

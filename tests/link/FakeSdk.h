#pragma once

#include "link/SdkApi.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QStringList>
#include <QWaitCondition>

// An in-process stand-in for the P2P library: records every call as a line
// of text, answers from a script, and can hold calls until the test (or a
// stop, exit or close call) lets them go. One instance per test process.
namespace FakeSdk {

struct State
{
    QMutex lock;
    QWaitCondition changed;
    QStringList calls;
    bool initialized = false;
    int nextSid = 0;
    QSet<QString> silentUids; // connect blocks until stopped or closed
    QSet<QString> gatedUids;  // connect blocks until released
    QSet<QString> released;
    QSet<int> stoppedSids;
    QSet<int> exitedAvs;
    QString badPassword = QStringLiteral("bad");
    QHash<unsigned, int> sendResults; // by message type; default 0
    QSet<unsigned> blockingTypes;     // sends of these block until their AV index exits
    bool blockForever = false;        // blocking sends ignore exits until unblocked
    QHash<int, QList<QPair<unsigned, QByteArray>>> replies; // by AV index
    int searchStartResult = 0;
    QList<QByteArray> searchEntries;
    int searchCount = -1; // -1: the number of entries
};

State &state();
void reset();
SdkApi api();
// Lines recorded so far that start with prefix.
QStringList calls(const QString &prefix = QString());
void release(const QString &uid);
void queueReply(int av, unsigned type, const QByteArray &payload);
void unblockAll();

} // namespace FakeSdk

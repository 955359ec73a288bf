#pragma once

#include "link/LanSearchResult.h"
#include "link/LinkTaskCore.h"

#include <QList>
#include <QObject>
#include <QString>

class ProgressEvent_LanSearch;
class ProgressEvent_LanSearchStart;
class QTimer;

// LAN search: starts the library's search as a task (starting the SDK first
// when the library reports it is not running yet, once per search), collects
// the answers CollectMs later and keeps the results of the last successful
// search. A failed search keeps the previous results.
//
// Threads: GUI thread only.
class LanSearch : public QObject
{
    Q_OBJECT

public:
    static constexpr int CollectMs = 5000;
    static constexpr int MaxEntries = 256;

    explicit LanSearch(LinkTaskCorePtr core, QObject *parent = nullptr);

    void start();
    // Reads the answers, stops the search and posts ProgressEvent_LanSearch.
    void collect();
    // Shutdown: a search waiting for its answers is stopped.
    void stop();
    void onStarted(const ProgressEvent_LanSearchStart &e);
    void onCollected(const ProgressEvent_LanSearch &e);
    QList<LanSearchResult> results() const { return m_results; }

signals:
    void succeeded();
    void failed(int code, const QString &text);

private:
    void startTask();

    LinkTaskCorePtr m_core;
    QTimer *m_collectTimer;
    QList<LanSearchResult> m_results;
    bool m_retried = false;
};

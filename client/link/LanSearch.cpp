#include "link/LanSearch.h"

#include "link/ErrorText.h"
#include "link/IoTasks.h"
#include "link/ProgressEvents.h"
#include "link/SdkApi.h"

#include <QTimer>

LanSearch::LanSearch(LinkTaskCorePtr core, QObject *parent)
    : QObject(parent)
    , m_core(std::move(core))
    , m_collectTimer(new QTimer(this))
{
    m_collectTimer->setSingleShot(true);
    connect(m_collectTimer, &QTimer::timeout, this, &LanSearch::collect);
}

void LanSearch::start()
{
    m_retried = false;
    startTask();
}

void LanSearch::startTask()
{
    const LinkTaskCorePtr core = m_core;
    m_core->start(nullptr, [core]() { IoTasks::lanSearchStart(core); });
}

void LanSearch::collect()
{
    QByteArray buffer(MaxEntries * P2P_SEARCH_ENTRY_SIZE, '\0');
    const int count = sdkApi().searchResult(buffer.data(), MaxEntries, 1);
    sdkApi().searchStop();
    QByteArray entries;
    if (count > 0)
        entries = buffer.left(qMin(count, MaxEntries) * P2P_SEARCH_ENTRY_SIZE);
    m_core->post(new ProgressEvent_LanSearch(qMin(count, MaxEntries), entries));
}

void LanSearch::stop()
{
    if (!m_collectTimer->isActive())
        return;
    m_collectTimer->stop();
    sdkApi().searchStop();
}

void LanSearch::onStarted(const ProgressEvent_LanSearchStart &e)
{
    if (e.result == IOTC_ER_NOT_INITIALIZED && !m_retried) {
        m_retried = true;
        const int r = sdkApi().initialize(0);
        if (r < 0) {
            emit failed(r, errorText(r));
            return;
        }
        sdkApi().avInit(4096);
        startTask();
        return;
    }
    if (e.result >= 0) {
        m_collectTimer->start(CollectMs);
        return;
    }
    emit failed(e.result, errorText(e.result));
}

void LanSearch::onCollected(const ProgressEvent_LanSearch &e)
{
    if (e.count < 0) {
        emit failed(e.count, errorText(e.count));
        return;
    }
    m_results = LanSearchResult::fromEntries(e.entries, e.count);
    emit succeeded();
}

// OnvifClient's recording, search and replay calls (searches fetched page by
// page within their bounds) and its PullPoint event subscription calls.

#include "link/onvif/OnvifClient.h"

#include "link/onvif/OnvifClientSupport.h"
#include "link/onvif/OnvifNamespaces.h"
#include "link/onvif/OnvifParse.h"

#include <QElapsedTimer>

#include <algorithm>
#include <utility>

using OnvifClientSupport::onHost;

// ---- Recordings and replay ----------------------------------------------------------

template <class T> struct OnvifClient::Search
{
    bool hasContext = false;
    QPointer<QObject> context;
    QString token;
    std::function<OnvifSoap::Request(const QString &)> page;
    std::function<OnvifResult<OnvifSearchPage<T>>(const QByteArray &)> parse;
    Callback<QList<T>> done;
    QList<T> results;
    int pages = 0;
    QElapsedTimer clock;
};

template <class T> void OnvifClient::nextPage(const std::shared_ptr<Search<T>> &search)
{
    invoke<OnvifSearchPage<T>>(
        search->page(search->token), this,
        [this, search](const OnvifResult<OnvifSearchPage<T>> &r) {
            const bool gone = search->hasContext && !search->context;
            if (r) {
                ++search->pages;
                for (const T &v : r->results) {
                    if (search->results.size() < MaxSearchResults)
                        search->results.append(v);
                }
            }
            const bool more = r && !r->completed;
            const bool giveUp = gone || search->pages >= MaxSearchPages ||
                                search->results.size() >= MaxSearchResults ||
                                search->clock.elapsed() > MaxSearchMs;
            if (more && !giveUp)
                return nextPage(search);
            if (!r || more) // a complete search ends by itself
                endSearch(search->token, this, [](const OnvifResult<OnvifDone> &) {});
            if (gone)
                return;
            if (!r)
                return search->done(r.error());
            search->done(search->results);
        },
        search->parse);
}

void OnvifClient::getRecordings(QObject *context, Callback<QList<OnvifRecording>> done)
{
    invoke<QList<OnvifRecording>>(OnvifSoap::getRecordings(), context, std::move(done),
                                  &OnvifParse::recordings);
}

void OnvifClient::findRecordings(QObject *context, Callback<QList<OnvifRecording>> done)
{
    auto search = std::make_shared<Search<OnvifRecording>>();
    search->hasContext = context != nullptr;
    search->context = context;
    search->page = [](const QString &token) {
        return OnvifSoap::getRecordingSearchResults(token, SearchPageSize, SearchWaitSecs);
    };
    search->parse = &OnvifParse::recordingSearchResults;
    search->done = std::move(done);
    invoke<QString>(
        OnvifSoap::findRecordings(OnvifParse::MaxListEntries, 60), context,
        [this, search](const OnvifResult<QString> &token) {
            if (!token)
                return search->done(token.error());
            search->token = token.value();
            search->clock.start();
            nextPage(search);
        },
        &OnvifParse::searchToken);
}

void OnvifClient::getRecordingSummary(QObject *context, Callback<OnvifRecordingSummary> done)
{
    invoke<OnvifRecordingSummary>(OnvifSoap::getRecordingSummary(), context, std::move(done),
                                  &OnvifParse::recordingSummary);
}

void OnvifClient::findEvents(const QDateTime &from, const QDateTime &to,
                             const QStringList &recordingTokens, QObject *context,
                             Callback<QList<OnvifEvent>> done)
{
    auto search = std::make_shared<Search<OnvifEvent>>();
    search->hasContext = context != nullptr;
    search->context = context;
    search->page = [](const QString &token) {
        return OnvifSoap::getEventSearchResults(token, SearchPageSize, SearchWaitSecs);
    };
    search->parse = &OnvifParse::eventSearchResults;
    search->done = std::move(done);
    invoke<QString>(
        OnvifSoap::findEvents(from, to, recordingTokens, MaxSearchResults, 60), context,
        [this, search](const OnvifResult<QString> &token) {
            if (!token)
                return search->done(token.error());
            search->token = token.value();
            search->clock.start();
            nextPage(search);
        },
        &OnvifParse::searchToken);
}

void OnvifClient::endSearch(const QString &searchToken, QObject *context, Callback<OnvifDone> done)
{
    invoke<OnvifDone>(
        OnvifSoap::endSearch(searchToken), context, std::move(done), [](const QByteArray &reply) {
            return OnvifParse::empty(reply, OnvifNs::Search, QStringLiteral("EndSearch"));
        });
}

void OnvifClient::getReplayUri(const QString &recordingToken, QObject *context, Callback<QUrl> done)
{
    invoke<QUrl>(OnvifSoap::getReplayUri(recordingToken), context, std::move(done),
                 [host = m_deviceUrl.host()](const QByteArray &reply) {
                     return onHost(OnvifParse::replayUri(reply), host);
                 });
}

void OnvifClient::getReplayCapabilities(QObject *context, Callback<OnvifReplayCapabilities> done)
{
    invoke<OnvifReplayCapabilities>(OnvifSoap::getReplayServiceCapabilities(), context,
                                    std::move(done), &OnvifParse::replayCapabilities);
}

// ---- Events -------------------------------------------------------------------------

void OnvifClient::createPullPointSubscription(int terminationSecs, QObject *context,
                                              Callback<OnvifSubscription> done)
{
    invoke<OnvifSubscription>(OnvifSoap::createPullPointSubscription(terminationSecs), context,
                              std::move(done), [this](const QByteArray &reply) {
                                  OnvifResult<OnvifSubscription> r =
                                      OnvifParse::subscription(reply);
                                  if (!r)
                                      return r;
                                  OnvifSubscription s = r.value();
                                  s.address = onDeviceHost(s.address);
                                  return OnvifResult<OnvifSubscription>(s);
                              });
}

void OnvifClient::pullMessages(const QUrl &subscription, int timeoutSecs, int messageLimit,
                               QObject *context, Callback<OnvifPull> done)
{
    const int secs = std::clamp(timeoutSecs, 0, 600);
    invoke<OnvifPull>(OnvifSoap::pullMessages(subscription, secs, messageLimit), context,
                      std::move(done), &OnvifParse::pullMessages, true, subscription,
                      secs * 1000 + m_timeoutMs);
}

void OnvifClient::renew(const QUrl &subscription, int terminationSecs, QObject *context,
                        Callback<OnvifPull> done)
{
    invoke<OnvifPull>(OnvifSoap::renew(subscription, terminationSecs), context, std::move(done),
                      &OnvifParse::renew, true, subscription);
}

void OnvifClient::unsubscribe(const QUrl &subscription, QObject *context, Callback<OnvifDone> done)
{
    invoke<OnvifDone>(
        OnvifSoap::unsubscribe(subscription), context, std::move(done),
        [](const QByteArray &reply) {
            return OnvifParse::empty(reply, OnvifNs::Notification, QStringLiteral("Unsubscribe"));
        },
        true, subscription);
}

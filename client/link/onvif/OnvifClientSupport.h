#pragma once

#include "link/onvif/OnvifClient.h"

// What OnvifClient's source files share: the state of one call on its way,
// invoke() (a request whose reply a reader turns into the callback's value),
// and the URIs the device reports, moved to the device's host.

struct OnvifClient::Call
{
    OnvifSoap::Request request;
    QUrl url;          // where it goes when not to its service's address
    int timeoutMs = 0; // 0: timeoutMs()
    bool authenticate = true;
    bool hasContext = false;
    QPointer<QObject> context;
    bool digestRetried = false;
    bool timedOut = false;
    bool oversized = false;
    // The reply's SOAP body (any HTTP status) or the error that ended the call.
    std::function<void(const OnvifResult<QByteArray> &)> done;
};

template <class T>
void OnvifClient::invoke(const OnvifSoap::Request &request, QObject *context, Callback<T> done,
                         std::function<OnvifResult<T>(const QByteArray &)> parse, bool authenticate,
                         const QUrl &url, int timeoutMs)
{
    auto call = std::make_shared<Call>();
    call->request = request;
    call->url = url;
    call->timeoutMs = timeoutMs;
    call->authenticate = authenticate;
    call->hasContext = context != nullptr;
    call->context = context;
    call->done = [done = std::move(done),
                  parse = std::move(parse)](const OnvifResult<QByteArray> &raw) {
        if (raw)
            done(parse(raw.value()));
        else
            done(raw.error());
    };
    send(call);
}

namespace OnvifClientSupport {

// A media URI on the device's host (its scheme, port and path kept).
inline OnvifResult<QUrl> onHost(OnvifResult<QUrl> uri, const QString &host)
{
    if (!uri)
        return uri;
    QUrl url = uri.value();
    url.setHost(host);
    return url;
}

} // namespace OnvifClientSupport

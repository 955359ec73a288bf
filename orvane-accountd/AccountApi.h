#pragma once

#include "AccountHandlers.h"
#include "ApiTypes.h"
#include "DeviceHandlers.h"

#include <functional>
#include <vector>

namespace accountd {

class AccountStore;

// The service's HTTP interface: finds the route of a request, refuses oversized bodies,
// parses the form (or multipart) body, checks the token of every account and device request
// and hands the request to its handler; requests take their time from the store's clock.
// GET /healthz tells whether the database answers; other GETs are pages (each with a policy
// that allows only its own inline script and style) and avatars. Any input gives a reply;
// none throws. Main thread.
class AccountApi
{
public:
    AccountApi(AccountStore &store, const ApiSettings &settings);
    Q_DISABLE_COPY_MOVE(AccountApi)

    ApiReply handle(const ApiRequest &request);

    // Largest body accepted for a path, and the largest for any path (the transport's limit).
    qint64 bodyLimit(const QString &path) const;
    qint64 transportLimit() const;

    // Where the pages and help texts come from (a resource folder by default).
    void setWebRoot(const QString &root) { m_webRoot = root; }
    // The service's own origin ("https://127.0.0.1:8443"), known once it listens.
    void setLocalOrigin(const QString &origin) { m_settings.localOrigin = origin; }

private:
    enum class Auth { None, Token };
    enum class Body { Form, FormOrMultipart };
    struct Route
    {
        QString path;
        CodeKey key;
        Auth auth;
        Body body;
        std::function<ApiReply(RequestContext &)> handler;
    };

    const Route *findRoute(const QString &path) const;
    ApiReply dispatch(const Route &route, const ApiRequest &request);
    std::optional<ApiReply> authenticate(const Route &route, RequestContext &context);
    ApiReply page(const ApiRequest &request);
    // GET /healthz: 200 while the database answers, 503 otherwise; no token needed.
    ApiReply health(const ApiRequest &request);
    ApiReply avatar(const QString &path);

    AccountStore &m_store;
    ApiSettings m_settings;
    AccountHandlers m_accounts;
    DeviceHandlers m_devices;
    std::vector<Route> m_routes;
    QString m_webRoot = QStringLiteral(":/web");
};

} // namespace accountd

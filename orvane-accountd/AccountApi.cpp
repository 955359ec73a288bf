#include "AccountApi.h"

#include "AccountStore.h"
#include "Secrets.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>

namespace accountd {

ApiReply jsonReply(CodeKey key, ReplyCode code, const QString &reason, const QJsonObject &extra,
                   int status)
{
    QJsonObject object = extra;
    object.insert(QLatin1String(codeKeyName(key)), int(code));
    if (code != ReplyCode::Ok)
        object.insert(QStringLiteral("reason"), reason);
    ApiReply reply;
    reply.status = status;
    reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    reply.note = code == ReplyCode::Ok ? QStringLiteral("ok")
                                       : QStringLiteral("code %1: %2").arg(int(code)).arg(reason);
    return reply;
}

namespace {

const QString webHelpBase = QStringLiteral("/web/pc_orvane/html/");

bool isMultipart(const QByteArray &contentType)
{
    return contentType.trimmed().toLower().startsWith("multipart/");
}

// A page's policy: nothing is loaded from anywhere, scripts and styles run only when they are
// the page's own inline ones (named by their SHA-256), and its requests go to this origin.
QByteArray pagePolicy(const QByteArray &html)
{
    auto sources = [&html](const char *directive, const QString &tag) {
        const QRegularExpression block(QStringLiteral("<%1>(.*?)</%1>").arg(tag),
                                       QRegularExpression::DotMatchesEverythingOption);
        QByteArray hashes;
        auto it = block.globalMatch(QString::fromUtf8(html));
        while (it.hasNext()) {
            const QByteArray digest = QCryptographicHash::hash(it.next().captured(1).toUtf8(),
                                                               QCryptographicHash::Sha256);
            hashes += " 'sha256-" + digest.toBase64() + "'";
        }
        return hashes.isEmpty() ? QByteArray() : QByteArray(directive) + hashes + "; ";
    };
    return "default-src 'none'; " + sources("script-src", QStringLiteral("script")) +
           sources("style-src", QStringLiteral("style")) +
           "connect-src 'self'; form-action 'self'; base-uri 'none'; frame-ancestors 'none'";
}

} // namespace

AccountApi::AccountApi(AccountStore &store, const ApiSettings &settings)
    : m_store(store)
    , m_settings(settings)
    , m_accounts(store, m_settings)
    , m_devices(store)
{
    using C = RequestContext;
    auto account = [this](ApiReply (AccountHandlers::*f)(C &)) {
        return [this, f](C &c) { return (m_accounts.*f)(c); };
    };
    auto device = [this](ApiReply (DeviceHandlers::*f)(C &)) {
        return [this, f](C &c) { return (m_devices.*f)(c); };
    };
    const CodeKey E = CodeKey::ErrorCode, R = CodeKey::ResultCode;
    m_routes = {
        {QStringLiteral("/v2/account/login"), E, Auth::None, Body::Form,
         account(&AccountHandlers::login)},
        {QStringLiteral("/v2/account/refreshToken"), E, Auth::None, Body::Form,
         account(&AccountHandlers::refresh)},
        {QStringLiteral("/v2/account/register"), E, Auth::None, Body::Form,
         account(&AccountHandlers::signUp)},
        {QStringLiteral("/account/perfectUserInfo"), R, Auth::Token, Body::FormOrMultipart,
         account(&AccountHandlers::perfectUserInfo)},
        {QStringLiteral("/account/changePwd"), R, Auth::Token, Body::Form,
         account(&AccountHandlers::changePassword)},
        {QStringLiteral("/v2/account/resetPwd"), E, Auth::None, Body::Form,
         account(&AccountHandlers::resetPassword)},
        {QStringLiteral("/equipment/queryUserEquipment"), E, Auth::Token, Body::Form,
         device(&DeviceHandlers::list)},
        {QStringLiteral("/equipment/add"), R, Auth::Token, Body::Form,
         device(&DeviceHandlers::add)},
        {QStringLiteral("/equipment/delete"), R, Auth::Token, Body::Form,
         device(&DeviceHandlers::remove)},
        {QStringLiteral("/equipment/modifyUserEquipment"), R, Auth::Token, Body::Form,
         device(&DeviceHandlers::modify)},
    };
}

qint64 AccountApi::bodyLimit(const QString &path) const
{
    if (path == QLatin1String("/account/perfectUserInfo"))
        return transportLimit();
    return m_settings.maxFormBytes;
}

qint64 AccountApi::transportLimit() const
{
    // The image plus the token, the profile part and the multipart framing.
    return m_settings.maxImageBytes + 64 * 1024;
}

const AccountApi::Route *AccountApi::findRoute(const QString &path) const
{
    for (const Route &route : m_routes) {
        if (route.path == path)
            return &route;
    }
    return nullptr;
}

ApiReply AccountApi::health(const ApiRequest &request)
{
    ApiReply reply;
    reply.contentType = "text/plain; charset=utf-8";
    if (request.method != "GET" && request.method != "HEAD") {
        reply.status = 405;
        reply.body = "GET only\n";
        reply.note = QStringLiteral("wrong method");
        return reply;
    }
    // Nothing about the database is told: only whether it answers.
    const bool up = m_store.ping();
    reply.status = up ? 200 : 503;
    reply.body = up ? "ok\n" : "unavailable\n";
    reply.note = up ? QStringLiteral("healthy") : QStringLiteral("database not answering");
    return reply;
}

ApiReply AccountApi::handle(const ApiRequest &request)
{
    if (request.path == QLatin1String("/healthz"))
        return health(request);
    if (const Route *route = findRoute(request.path)) {
        if (request.method != "POST") {
            return jsonReply(route->key, ReplyCode::WrongMethod,
                             QStringLiteral("this address takes POST requests"), {}, 405);
        }
        if (request.body.size() > bodyLimit(request.path)) {
            return jsonReply(route->key, ReplyCode::TooLarge,
                             QStringLiteral("the request body is larger than %1 bytes")
                                 .arg(bodyLimit(request.path)),
                             {}, 413);
        }
        return dispatch(*route, request);
    }
    if (request.method == "GET" && request.path.startsWith(QLatin1String("/avatar/")))
        return avatar(request.path);
    if (request.method == "GET")
        return page(request);
    return jsonReply(CodeKey::ResultCode, ReplyCode::NoSuchPath, QStringLiteral("no such address"),
                     {}, 404);
}

ApiReply AccountApi::dispatch(const Route &route, const ApiRequest &request)
{
    RequestContext context{request, FormData(), std::nullopt, {}, 0, 0};
    context.nowMs = m_store.nowMs();
    context.nowSecs = context.nowMs / 1000;
    QString error;
    if (isMultipart(request.contentType)) {
        if (route.body != Body::FormOrMultipart)
            return jsonReply(route.key, ReplyCode::BadRequest,
                             QStringLiteral("this address takes a form body, not multipart"));
        context.multipart = MultipartForm::parse(request.contentType, request.body, &error);
        if (!context.multipart)
            return jsonReply(route.key, ReplyCode::BadRequest, error);
    } else {
        auto form = FormData::parse(request.body, &error);
        if (!form)
            return jsonReply(route.key, ReplyCode::BadRequest, error);
        context.form = *form;
    }
    if (auto refused = authenticate(route, context))
        return *refused;
    return route.handler(context);
}

std::optional<ApiReply> AccountApi::authenticate(const Route &route, RequestContext &context)
{
    if (route.auth == Auth::None)
        return std::nullopt;
    QString error;
    const auto query = FormData::parse(context.request.query, &error);
    if (!query)
        return jsonReply(route.key, ReplyCode::BadRequest, error);
    QString bodyToken;
    if (context.multipart) {
        if (const MultipartForm::Part *part = context.multipart->part(QStringLiteral("token")))
            bodyToken = QString::fromLatin1(part->data).trimmed();
    } else {
        bodyToken = context.form.value(QStringLiteral("token"));
    }
    const QString queryToken = query->value(QStringLiteral("token"));
    if (!bodyToken.isEmpty() && !queryToken.isEmpty() && bodyToken != queryToken)
        return jsonReply(route.key, ReplyCode::BadRequest,
                         QStringLiteral("the token in the address and in the body differ"));
    const QString token = bodyToken.isEmpty() ? queryToken : bodyToken;
    if (token.isEmpty())
        return jsonReply(route.key, ReplyCode::BadToken, QStringLiteral("token is missing"));
    const AccountStore::Status status =
        m_store.sessionForAccess(Secrets::sha256Hex(token), context.nowSecs, &context.session);
    if (status == AccountStore::Status::Failed) {
        qWarning("accountd: session lookup failed: %s", qPrintable(m_store.lastError()));
        return jsonReply(route.key, ReplyCode::ServerError, QStringLiteral("database failure"));
    }
    if (status != AccountStore::Status::Ok)
        return jsonReply(route.key, ReplyCode::BadToken,
                         QStringLiteral("the token is not valid or has expired; sign in again"));
    return std::nullopt;
}

ApiReply AccountApi::page(const ApiRequest &request)
{
    static const QList<QPair<QString, QString>> pages = {
        {QStringLiteral("/"), QStringLiteral("index.html")},
        {QStringLiteral("/register.html"), QStringLiteral("register.html")},
        {webHelpBase, QStringLiteral("index.html")},
        {webHelpBase + QStringLiteral("index.html"), QStringLiteral("index.html")},
        {webHelpBase + QStringLiteral("register.html"), QStringLiteral("register.html")},
    };
    for (const auto &entry : pages) {
        if (entry.first != request.path)
            continue;
        // The client's "Forgot password?" link: the sign-up address with name=showrid.
        QString name = entry.second;
        QString error;
        const auto query = FormData::parse(request.query, &error);
        const bool reset = name == QLatin1String("register.html") && query &&
                           query->value(QStringLiteral("name")) == QLatin1String("showrid");
        if (reset)
            name = QStringLiteral("reset.html");
        QFile file(m_webRoot + QLatin1Char('/') + name);
        if (!file.open(QIODevice::ReadOnly))
            break;
        ApiReply reply;
        reply.contentType = "text/html; charset=utf-8";
        reply.body = file.readAll();
        reply.contentSecurityPolicy = pagePolicy(reply.body);
        // The reset page's address may hold a code: no copy of it is kept.
        reply.cacheControl = reset ? "no-store" : "private, max-age=60";
        reply.note = QStringLiteral("page");
        return reply;
    }
    ApiReply reply;
    reply.status = 404;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = "<!DOCTYPE html><title>Not found</title><p>No such page.</p>\n";
    reply.note = QStringLiteral("no such page");
    return reply;
}

ApiReply AccountApi::avatar(const QString &path)
{
    static const QRegularExpression pattern(QStringLiteral("^/avatar/([0-9a-f]{32})\\.(jpg|png)$"));
    const QRegularExpressionMatch match = pattern.match(path);
    QByteArray mime, data;
    const AccountStore::Status status = match.hasMatch()
                                            ? m_store.avatar(match.captured(1), &mime, &data)
                                            : AccountStore::Status::NotFound;
    if (status == AccountStore::Status::Ok) {
        ApiReply reply;
        reply.contentType = mime;
        reply.body = data;
        reply.cacheControl = "private, max-age=60";
        reply.note = QStringLiteral("avatar");
        return reply;
    }
    if (status == AccountStore::Status::Failed)
        qWarning("accountd: avatar lookup failed: %s", qPrintable(m_store.lastError()));
    return jsonReply(CodeKey::ResultCode, ReplyCode::NoSuchPath, QStringLiteral("no such avatar"),
                     {}, status == AccountStore::Status::Failed ? 500 : 404);
}

} // namespace accountd

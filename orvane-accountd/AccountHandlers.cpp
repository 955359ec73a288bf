#include "AccountHandlers.h"

#include "AvatarImage.h"
#include "FieldRules.h"
#include "PasswordHash.h"
#include "ResetCode.h"
#include "Secrets.h"
#include "StoredText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace accountd {

namespace {

const CodeKey E = CodeKey::ErrorCode;
const CodeKey R = CodeKey::ResultCode;

ApiReply tooManyAttempts(CodeKey key, qint64 retryMs)
{
    return jsonReply(key, ReplyCode::TooManyAttempts,
                     QStringLiteral("too many failed attempts for this user name; try again in "
                                    "%1 s")
                         .arg((retryMs + 999) / 1000));
}

} // namespace

AccountHandlers::AccountHandlers(AccountStore &store, const ApiSettings &settings)
    : m_store(store)
    , m_settings(settings)
    , m_failedLogins(store.database(), QStringLiteral("login"), settings.loginAttempts,
                     settings.loginWindowMs)
    , m_signUps(store.database(), QStringLiteral("signup"), settings.signUpsPerHour, 3600 * 1000)
    , m_failedResets(store.database(), QStringLiteral("reset"), settings.loginAttempts,
                     settings.loginWindowMs)
{}

ApiReply AccountHandlers::limiterFailure(CodeKey key, const AttemptLimiter &limiter)
{
    qWarning("accountd: database failure: %s", qPrintable(limiter.lastError()));
    return jsonReply(key, ReplyCode::ServerError, QStringLiteral("database failure"));
}

ApiReply AccountHandlers::storeFailure(CodeKey key)
{
    qWarning("accountd: database failure: %s", qPrintable(m_store.lastError()));
    return jsonReply(key, ReplyCode::ServerError, QStringLiteral("database failure"));
}

QString AccountHandlers::origin(const ApiRequest &request) const
{
    if (!m_settings.publicUrl.isEmpty())
        return m_settings.publicUrl;
    static const QRegularExpression hostPattern(
        QStringLiteral("^([A-Za-z0-9.-]{1,253}|\\[[0-9A-Fa-f:.]{2,45}\\])(:[0-9]{1,5})?$"));
    if (hostPattern.match(request.host).hasMatch())
        return (request.secure ? QStringLiteral("https://") : QStringLiteral("http://")) +
               request.host;
    return m_settings.localOrigin;
}

QString AccountHandlers::avatarUrl(const AccountStore::User &user, const ApiRequest &request) const
{
    if (user.avatarId.isEmpty())
        return QString();
    const QString extension = user.avatarMime == QLatin1String("image/png") ? QStringLiteral("png")
                                                                            : QStringLiteral("jpg");
    return origin(request) + QStringLiteral("/avatar/") + user.avatarId + QLatin1Char('.') +
           extension;
}

ApiReply AccountHandlers::sessionReply(const AccountStore::User &user,
                                       const RequestContext &context, const QString &access,
                                       const QString &refreshToken)
{
    QJsonObject result{
        {QStringLiteral("userID"), QString::number(user.id)},
        {QStringLiteral("username"), user.username},
        {QStringLiteral("phone"), user.phone},
        {QStringLiteral("userEmail"), user.email},
        {QStringLiteral("NickName"), user.nickname},
        {QStringLiteral("userIconUrl"), avatarUrl(user, context.request)},
        {QStringLiteral("access_token"), access},
        {QStringLiteral("refresh_token"), refreshToken},
        {QStringLiteral("access_expire"), context.nowSecs + m_settings.accessTtlSecs},
        {QStringLiteral("refresh_expire"), context.nowSecs + m_settings.refreshTtlSecs},
    };
    ApiReply reply = jsonReply(E, ReplyCode::Ok, QString(), {{QStringLiteral("result"), result}});
    reply.note = QStringLiteral("ok, user %1").arg(user.id);
    return reply;
}

ApiReply AccountHandlers::login(RequestContext &context)
{
    const QString name = context.form.value(QStringLiteral("userName"));
    const QString sent = context.form.value(QStringLiteral("userPwd"));
    if (name.isEmpty() || sent.isEmpty())
        return jsonReply(E, ReplyCode::BadRequest,
                         QStringLiteral("userName and userPwd are required"));
    if (name.size() > FieldRules::maxNameLength || sent.size() > 1024)
        return jsonReply(E, ReplyCode::WrongCredentials,
                         QStringLiteral("wrong user name or password"));
    // The attempt is recorded before the password is checked, so that guesses sent at once
    // to several processes are counted all the same; a right password forgets them.
    const AttemptLimiter::Attempt attempt = m_failedLogins.begin(name, context.nowMs);
    if (attempt.outcome == AttemptLimiter::Outcome::Refused)
        return tooManyAttempts(E, attempt.retryAfterMs);
    if (attempt.outcome == AttemptLimiter::Outcome::Failed)
        return limiterFailure(E, m_failedLogins);

    const QString password = StoredText::passwordFromForm(sent);
    AccountStore::User user;
    const AccountStore::Status status = m_store.userByName(name, &user);
    if (status == AccountStore::Status::Failed)
        return storeFailure(E);
    const bool known = status == AccountStore::Status::Ok;
    if (!known)
        PasswordHash::spendVerificationTime(password);
    if (!known || !PasswordHash::verify(password, user.passwordHash))
        return jsonReply(E, ReplyCode::WrongCredentials,
                         QStringLiteral("wrong user name or password"));
    if (!m_failedLogins.reset(name))
        return limiterFailure(E, m_failedLogins);

    const QString access = Secrets::newToken();
    const QString refreshToken = Secrets::newToken();
    if (access.isEmpty() || refreshToken.isEmpty())
        return jsonReply(E, ReplyCode::ServerError, QStringLiteral("no random numbers"));
    if (m_store.createSession(
            user.id, Secrets::sha256Hex(access), context.nowSecs + m_settings.accessTtlSecs,
            Secrets::sha256Hex(refreshToken), context.nowSecs + m_settings.refreshTtlSecs,
            context.nowSecs) != AccountStore::Status::Ok)
        return storeFailure(E);
    return sessionReply(user, context, access, refreshToken);
}

ApiReply AccountHandlers::refresh(RequestContext &context)
{
    const QString token = context.form.value(QStringLiteral("refresh_token"));
    if (token.isEmpty())
        return jsonReply(E, ReplyCode::BadRequest, QStringLiteral("refresh_token is required"));
    const QString access = Secrets::newToken();
    const QString refreshToken = Secrets::newToken();
    if (access.isEmpty() || refreshToken.isEmpty())
        return jsonReply(E, ReplyCode::ServerError, QStringLiteral("no random numbers"));
    AccountStore::Session session;
    const AccountStore::Status status = m_store.rotateSession(
        Secrets::sha256Hex(token), context.nowSecs, Secrets::sha256Hex(access),
        context.nowSecs + m_settings.accessTtlSecs, Secrets::sha256Hex(refreshToken),
        context.nowSecs + m_settings.refreshTtlSecs, &session);
    if (status == AccountStore::Status::NotFound)
        return jsonReply(E, ReplyCode::BadToken,
                         QStringLiteral("the refresh token is not valid or has expired"));
    AccountStore::User user;
    if (status != AccountStore::Status::Ok ||
        m_store.userById(session.userId, &user) != AccountStore::Status::Ok)
        return storeFailure(E);
    return sessionReply(user, context, access, refreshToken);
}

ApiReply AccountHandlers::signUp(RequestContext &context)
{
    const QString peer = context.request.peer;
    auto tooManySignUps = [](qint64 wait) {
        return jsonReply(E, ReplyCode::TooManyAttempts,
                         QStringLiteral("too many sign-ups from this address; try again in %1 s")
                             .arg((wait + 999) / 1000));
    };
    const AttemptLimiter::Attempt early = m_signUps.check(peer, context.nowMs);
    if (early.outcome == AttemptLimiter::Outcome::Refused)
        return tooManySignUps(early.retryAfterMs);
    if (early.outcome == AttemptLimiter::Outcome::Failed)
        return limiterFailure(E, m_signUps);
    AccountStore::User user;
    user.username = context.form.value(QStringLiteral("userName"));
    const QString password =
        StoredText::passwordFromForm(context.form.value(QStringLiteral("userPwd")));
    user.nickname = context.form.value(QStringLiteral("NickName"));
    user.email = context.form.value(QStringLiteral("userEmail"));
    user.phone = context.form.value(QStringLiteral("phone"));
    for (const QString &reason : {FieldRules::userName(user.username),
                                  FieldRules::password(QStringLiteral("userPwd"), password),
                                  FieldRules::text(QStringLiteral("NickName"), user.nickname),
                                  FieldRules::text(QStringLiteral("userEmail"), user.email),
                                  FieldRules::text(QStringLiteral("phone"), user.phone)}) {
        if (!reason.isEmpty())
            return jsonReply(E, ReplyCode::BadRequest, reason);
    }
    // Every valid sign-up counts, the check and the count in one step.
    const AttemptLimiter::Attempt attempt = m_signUps.begin(peer, context.nowMs);
    if (attempt.outcome == AttemptLimiter::Outcome::Refused)
        return tooManySignUps(attempt.retryAfterMs);
    if (attempt.outcome == AttemptLimiter::Outcome::Failed)
        return limiterFailure(E, m_signUps);
    user.passwordHash = PasswordHash::create(password);
    if (user.passwordHash.isEmpty())
        return jsonReply(E, ReplyCode::ServerError, QStringLiteral("cannot hash the password"));
    const AccountStore::Status status = m_store.addUser(user);
    if (status == AccountStore::Status::Conflict)
        return jsonReply(E, ReplyCode::AlreadyExists, QStringLiteral("this user name is taken"));
    if (status != AccountStore::Status::Ok)
        return storeFailure(E);
    ApiReply reply = jsonReply(E, ReplyCode::Ok, QString(),
                               {{QStringLiteral("result"),
                                 QJsonObject{{QStringLiteral("userID"), QString::number(user.id)},
                                             {QStringLiteral("username"), user.username}}}});
    reply.note = QStringLiteral("signed up user %1").arg(user.id);
    return reply;
}

ApiReply AccountHandlers::perfectUserInfo(RequestContext &context)
{
    return context.multipart ? uploadAvatar(context) : updateProfile(context);
}

ApiReply AccountHandlers::updateProfile(RequestContext &context)
{
    if (!context.form.contains(QStringLiteral("content")))
        return jsonReply(R, ReplyCode::BadRequest, QStringLiteral("content is required"));
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(
        context.form.value(QStringLiteral("content")).toUtf8(), &parseError);
    if (!doc.isObject())
        return jsonReply(R, ReplyCode::BadRequest, QStringLiteral("content is not a JSON object"));
    AccountStore::User user;
    if (m_store.userById(context.session.userId, &user) != AccountStore::Status::Ok)
        return storeFailure(R);
    const QJsonObject content = doc.object();
    struct Field
    {
        const char *key;
        QString *target;
    };
    for (const Field &field : {Field{"NickName", &user.nickname}, Field{"userEmail", &user.email},
                               Field{"phone", &user.phone}}) {
        const QJsonValue value = content.value(QLatin1String(field.key));
        if (value.isUndefined())
            continue;
        if (!value.isString())
            return jsonReply(R, ReplyCode::BadRequest,
                             QStringLiteral("%1 must be a string").arg(QLatin1String(field.key)));
        const QString reason = FieldRules::text(QLatin1String(field.key), value.toString());
        if (!reason.isEmpty())
            return jsonReply(R, ReplyCode::BadRequest, reason);
        *field.target = value.toString();
    }
    if (m_store.updateProfile(user.id, user.nickname, user.email, user.phone) !=
        AccountStore::Status::Ok)
        return storeFailure(R);
    return jsonReply(R, ReplyCode::Ok);
}

ApiReply AccountHandlers::changePassword(RequestContext &context)
{
    const QString name = context.form.value(QStringLiteral("username"));
    const QString oldPassword =
        StoredText::passwordFromForm(context.form.value(QStringLiteral("oldPwd")));
    const QString newPassword =
        StoredText::passwordFromForm(context.form.value(QStringLiteral("newPwd")));
    AccountStore::User user;
    if (m_store.userById(context.session.userId, &user) != AccountStore::Status::Ok)
        return storeFailure(R);
    if (name != user.username)
        return jsonReply(R, ReplyCode::BadRequest,
                         QStringLiteral("username does not name the signed-in account"));
    const QString reason = FieldRules::password(QStringLiteral("newPwd"), newPassword);
    if (!reason.isEmpty())
        return jsonReply(R, ReplyCode::BadRequest, reason);
    const AttemptLimiter::Attempt attempt = m_failedLogins.begin(name, context.nowMs);
    if (attempt.outcome == AttemptLimiter::Outcome::Refused)
        return tooManyAttempts(R, attempt.retryAfterMs);
    if (attempt.outcome == AttemptLimiter::Outcome::Failed)
        return limiterFailure(R, m_failedLogins);
    if (!PasswordHash::verify(oldPassword, user.passwordHash))
        return jsonReply(R, ReplyCode::WrongCredentials,
                         QStringLiteral("the old password is wrong"));
    if (!m_failedLogins.forget(attempt.id))
        return limiterFailure(R, m_failedLogins);
    const QString hash = PasswordHash::create(newPassword);
    if (hash.isEmpty())
        return jsonReply(R, ReplyCode::ServerError, QStringLiteral("cannot hash the password"));
    if (m_store.setPasswordHash(user.id, hash) != AccountStore::Status::Ok ||
        m_store.endOtherSessions(user.id, context.session.id) != AccountStore::Status::Ok)
        return storeFailure(R);
    return jsonReply(R, ReplyCode::Ok);
}

ApiReply AccountHandlers::resetPassword(RequestContext &context)
{
    const QString name = context.form.value(QStringLiteral("name"));
    const QString code = context.form.value(QStringLiteral("code"));
    const QString newPassword =
        StoredText::passwordFromForm(context.form.value(QStringLiteral("newPwd")));
    if (name.isEmpty() || code.isEmpty() || !context.form.contains(QStringLiteral("newPwd")))
        return jsonReply(E, ReplyCode::BadRequest,
                         QStringLiteral("name, code and newPwd are required"));
    const QString reason = FieldRules::password(QStringLiteral("newPwd"), newPassword);
    if (!reason.isEmpty())
        return jsonReply(E, ReplyCode::BadRequest, reason);
    // One answer for an unknown name and for a wrong, spent or expired code.
    const ApiReply refused = jsonReply(
        E, ReplyCode::WrongCredentials,
        QStringLiteral("wrong user name or reset code, or the code has expired or was used"));
    if (name.size() > FieldRules::maxNameLength)
        return refused;
    const AttemptLimiter::Attempt attempt = m_failedResets.begin(name, context.nowMs);
    if (attempt.outcome == AttemptLimiter::Outcome::Refused)
        return tooManyAttempts(E, attempt.retryAfterMs);
    if (attempt.outcome == AttemptLimiter::Outcome::Failed)
        return limiterFailure(E, m_failedResets);

    // Hashed before anything is looked up, so that the time of a reply tells nothing.
    const QString hash = PasswordHash::create(newPassword);
    if (hash.isEmpty())
        return jsonReply(E, ReplyCode::ServerError, QStringLiteral("cannot hash the password"));
    const QString digest = ResetCode::digest(code);
    AccountStore::User user;
    const AccountStore::Status found = m_store.userByName(name, &user);
    if (found == AccountStore::Status::Failed)
        return storeFailure(E);
    if (found == AccountStore::Status::NotFound || digest.isEmpty())
        return refused;
    const AccountStore::Status redeemed = m_store.redeemPasswordReset(user.id, digest, hash);
    if (redeemed == AccountStore::Status::NotFound)
        return refused;
    if (redeemed != AccountStore::Status::Ok)
        return storeFailure(E);
    // The password is set; stale counts only delay the user's next sign-in.
    if (!m_failedResets.reset(name) || !m_failedLogins.reset(name))
        qWarning("accountd: attempt counts not cleared: %s",
                 qPrintable(m_failedLogins.lastError() + m_failedResets.lastError()));
    ApiReply reply = jsonReply(E, ReplyCode::Ok);
    reply.note = QStringLiteral("password reset for user %1").arg(user.id);
    return reply;
}

ApiReply AccountHandlers::uploadAvatar(RequestContext &context)
{
    const MultipartForm::Part *icon = context.multipart->part(QStringLiteral("userIcon"));
    if (!icon)
        return jsonReply(R, ReplyCode::BadRequest, QStringLiteral("the userIcon part is missing"));
    if (icon->data.size() > m_settings.maxImageBytes)
        return jsonReply(
            R, ReplyCode::TooLarge,
            QStringLiteral("the picture is larger than %1 bytes").arg(m_settings.maxImageBytes));
    if (const MultipartForm::Part *content = context.multipart->part(QStringLiteral("content"))) {
        if (!QJsonDocument::fromJson(content->data).isObject())
            return jsonReply(R, ReplyCode::BadRequest,
                             QStringLiteral("content is not a JSON object"));
    }
    QString error;
    const auto image = AvatarImage::normalise(icon->data, &error);
    if (!image)
        return jsonReply(R, ReplyCode::BadRequest, error);
    const QByteArray id = Secrets::randomBytes(16).toHex();
    if (id.isEmpty())
        return jsonReply(R, ReplyCode::ServerError, QStringLiteral("no random numbers"));
    AccountStore::User user;
    if (m_store.setAvatar(context.session.userId, QString::fromLatin1(id), image->mimeType,
                          image->data) != AccountStore::Status::Ok ||
        m_store.userById(context.session.userId, &user) != AccountStore::Status::Ok)
        return storeFailure(R);
    const QJsonObject fields{{QStringLiteral("userIconUrl"), avatarUrl(user, context.request)}};
    const QJsonObject result{
        {QStringLiteral("datas"), QJsonArray{QJsonObject{{QStringLiteral("fields"), fields}}}}};
    return jsonReply(R, ReplyCode::Ok, QString(), {{QStringLiteral("result"), result}});
}

} // namespace accountd

#pragma once

#include "AccountStore.h"
#include "ApiTypes.h"
#include "AttemptLimiter.h"
#include "RequestContext.h"

namespace accountd {

// Sign-in, token refresh, sign-up, password reset with a one-time code and the account's own
// data (nickname, password, avatar). Failed sign-ins and wrong old passwords count against the
// user name, as do failed resets (in a count of their own); sign-ups count against the client
// address; the counts live in the database, shared by every process of the service. Main
// thread.
class AccountHandlers
{
public:
    AccountHandlers(AccountStore &store, const ApiSettings &settings);

    ApiReply login(RequestContext &context);
    ApiReply refresh(RequestContext &context);
    ApiReply signUp(RequestContext &context);
    // Form body: the profile fields of "content"; multipart body: a new avatar.
    ApiReply perfectUserInfo(RequestContext &context);
    ApiReply changePassword(RequestContext &context);
    // A new password with a reset code from `orvane-accountd reset-password`.
    ApiReply resetPassword(RequestContext &context);

private:
    ApiReply sessionReply(const AccountStore::User &user, const RequestContext &context,
                          const QString &access, const QString &refreshToken);
    ApiReply updateProfile(RequestContext &context);
    ApiReply uploadAvatar(RequestContext &context);
    ApiReply storeFailure(CodeKey key);
    ApiReply limiterFailure(CodeKey key, const AttemptLimiter &limiter);
    QString origin(const ApiRequest &request) const;
    QString avatarUrl(const AccountStore::User &user, const ApiRequest &request) const;

    AccountStore &m_store;
    const ApiSettings &m_settings;
    AttemptLimiter m_failedLogins;
    AttemptLimiter m_signUps;
    AttemptLimiter m_failedResets;
};

} // namespace accountd

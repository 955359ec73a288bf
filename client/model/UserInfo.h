#pragma once

#include <QString>

// Account record of the logged-in user, filled from the account service's
// login reply. Field names are the reply's JSON keys.
struct UserInfo
{
    QString userID;
    QString access_token;
    QString refresh_token;
    QString username;
    QString password; // the one typed at login
    QString userIconUrl;
    QString NickName;
    QString userEmail;
    QString phone;
    int refresh_expire = 0;
    int access_expire = 0;
};

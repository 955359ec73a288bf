#pragma once

#include <QString>

// One remembered login of the default settings file (array "login").
struct LoginRecord
{
    QString username;
    QString password;
    bool isremember = false;
    int language = 0;

    bool operator==(const LoginRecord &o) const
    {
        return username == o.username && password == o.password && isremember == o.isremember &&
               language == o.language;
    }
};

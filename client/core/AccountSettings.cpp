#include "core/AccountSettings.h"

#include "config/Config.h"

namespace AccountSettings {

QString baseUrl()
{
    QString url = Config::instance()->get(ConfigKey::AccountBaseUrl).trimmed();
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

void setBaseUrl(const QString &url)
{
    Config::instance()->set(ConfigKey::AccountBaseUrl, url);
}

QString webHelpBase()
{
    const QString base = baseUrl();
    return base.isEmpty() ? QString() : base + QStringLiteral("/web/pc_orvane/html/");
}

} // namespace AccountSettings

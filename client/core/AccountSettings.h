#pragma once

#include <QString>

// Where the account service lives. The base URL is the setting
// ConfigKey::AccountBaseUrl of the default settings file (empty by default: no
// service, only the local login works). GUI thread only.
namespace AccountSettings {

QString baseUrl();
void setBaseUrl(const QString &url);
// The base URL followed by "/web/pc_orvane/html/", or empty without a service.
QString webHelpBase();

} // namespace AccountSettings

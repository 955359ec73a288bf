#pragma once

#include <QString>

// Where the account service lives. The base URL is a setting of the default
// settings file (key "account/baseUrl", empty by default: no service, only
// the local login works). GUI thread only.
namespace AccountSettings {

inline constexpr char baseUrlKey[] = "account/baseUrl";

QString baseUrl();
void setBaseUrl(const QString &url);
// The base URL followed by "/web/pc_orvane/html/", or empty without a service.
QString webHelpBase();

} // namespace AccountSettings

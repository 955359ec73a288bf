#pragma once

#include <QStringList>

// Operating-system facts behind one seam per platform.
namespace PlatformInfo {

// True when the operating system is 64-bit.
bool is64BitSystem();
// Descriptions of the graphics adapters found (Windows: the drivers'
// "Device Description" registry values; Linux: the DRM devices).
QStringList graphicsAdapters();

} // namespace PlatformInfo

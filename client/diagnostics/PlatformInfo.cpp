#include "diagnostics/PlatformInfo.h"

#include <QSysInfo>

#ifdef Q_OS_WIN
#include <QSettings>
#include <windows.h>
#else
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#endif

namespace PlatformInfo {

#ifdef Q_OS_WIN

bool is64BitSystem()
{
#if defined(_WIN64)
    return true;
#else
    // A 32-bit process runs under WOW64 on 64-bit Windows. The function is
    // looked up at run time: older systems lack it.
    using IsWow64ProcessFn = BOOL(WINAPI *)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (!kernel)
        return false;
    auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void *>(GetProcAddress(kernel, "IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
#endif
}

QStringList graphicsAdapters()
{
    static const char *const keys[] = {
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\nvlddmkm\\Device0",
        "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\igfx\\Device0",
        "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\amdkmdap\\Device0",
    };
    QStringList result;
    for (const char *key : keys) {
        QSettings reg(QString::fromLatin1(key), QSettings::NativeFormat);
        const QString text = reg.value(QStringLiteral("Device Description")).toString();
        if (!text.isEmpty())
            result.append(text);
    }
    return result;
}

#else

bool is64BitSystem()
{
    return QSysInfo::currentCpuArchitecture().contains(QLatin1String("64")) ||
           QSysInfo::buildCpuArchitecture().contains(QLatin1String("64"));
}

namespace {

QString readFirstLine(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readLine()).trimmed();
}

} // namespace

QStringList graphicsAdapters()
{
    // One entry per DRM card: its kernel driver and PCI id, e.g. "i915 (8086:3E92)".
    static const QRegularExpression card(QStringLiteral("^card\\d+$"));
    QStringList result;
    const QDir drm(QStringLiteral("/sys/class/drm"));
    const QStringList entries = drm.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries) {
        if (!card.match(entry).hasMatch())
            continue;
        QFile uevent(drm.filePath(entry + QStringLiteral("/device/uevent")));
        if (!uevent.open(QIODevice::ReadOnly))
            continue;
        QString driver;
        QString pciId;
        const QList<QByteArray> lines = uevent.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("DRIVER="))
                driver = QString::fromUtf8(line.mid(7)).trimmed();
            else if (line.startsWith("PCI_ID="))
                pciId = QString::fromUtf8(line.mid(7)).trimmed();
        }
        if (driver.isEmpty())
            driver = readFirstLine(drm.filePath(entry + QStringLiteral("/device/vendor")));
        if (driver.isEmpty())
            continue;
        result.append(pciId.isEmpty() ? driver
                                      : driver + QStringLiteral(" (") + pciId + QLatin1Char(')'));
    }
    return result;
}

#endif

} // namespace PlatformInfo

#include "model/Device.h"

#include "model/Channel.h"

#include <QCoreApplication>

Device::~Device()
{
    clearChannels();
}

void Device::setChannelCount(int n)
{
    m_channelCount = n == 0 ? 1 : n;
    while (m_channels.size() < m_channelCount)
        m_channels.append(new Channel(this, int(m_channels.size())));
}

QString Device::viewAccount() const
{
    return m_viewAccount.isEmpty() ? QString::fromLatin1(DefaultViewAccount) : m_viewAccount;
}

Channel *Device::channel(int i) const
{
    return i >= 0 && i < m_channels.size() ? m_channels.at(i) : nullptr;
}

void Device::clearChannels()
{
    qDeleteAll(m_channels);
    m_channels.clear();
}

QString Device::caption() const
{
    return m_nickName.isEmpty() ? m_uid : m_nickName;
}

QString Device::typeName(int type)
{
    switch (type) {
    case 1:
        return QStringLiteral("DVR");
    case 2:
        return QStringLiteral("NVR");
    case 3:
        return QStringLiteral("NVR(POE)");
    case 4:
        return QStringLiteral("NVR(WIRELESS)");
    case 5:
        return QStringLiteral("IPC(POE)");
    case 6:
        return QStringLiteral("IPC(BOL)");
    case 7:
        return QStringLiteral("IPC");
    case 8:
        return QStringLiteral("IPC(KAPIANJI)");
    case 9:
        return QStringLiteral("IPC(FISHEYE)");
    case 10:
        return QStringLiteral("IPC(PTZ)");
    case 11:
        return QStringLiteral("T301");
    case 12:
        return QStringLiteral("T302");
    case 13:
        return QStringLiteral("T303");
    case 14:
        return QStringLiteral("T304");
    case 10001:
        return QStringLiteral("DVR(PTZ)");
    default:
        return QCoreApplication::translate("Device", "[未知类型:") + QString::number(type) +
               QLatin1Char(']');
    }
}

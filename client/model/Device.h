#pragma once

#include "model/DeviceKind.h"
#include "model/RtspSource.h"

#include <QList>
#include <QMetaType>
#include <QString>

class Channel;

// One registered camera or recorder: a plain record that owns its channels.
// A device is reached by its kind's link (DeviceLinks); an RTSP device keeps
// its stream URLs in rtsp() and uses the view account and password as its
// RTSP user name and password. Its UID is a local key (RtspUrl::deviceUid).
// GUI thread only.
class Device
{
public:
    static constexpr const char *DefaultViewAccount = "Admin";

    // How the device's link stands. Idle: never connected, or closed on
    // purpose; Connecting: a first session attempt runs; Online: a session is
    // open; Offline: the session was lost and the link is trying again.
    enum class LinkState { Idle, Connecting, Online, Offline };

    Device() = default;
    ~Device();

    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    DeviceKind kind() const { return m_kind; }
    void setKind(DeviceKind kind) { m_kind = kind; }
    bool isP2p() const { return m_kind == DeviceKind::P2p; }
    const RtspSource &rtsp() const { return m_rtsp; }
    void setRtsp(const RtspSource &source) { m_rtsp = source; }

    QString pk() const { return m_pk; }
    void setPk(const QString &pk) { m_pk = pk; }
    QString model() const { return m_model; }
    void setModel(const QString &model) { m_model = model; }
    QString userId() const { return m_userId; }
    void setUserId(const QString &userId) { m_userId = userId; }

    int channelCount() const { return m_channelCount; }
    // Stores n (0 is stored as 1) and appends channels until the list holds
    // that many. The list never shrinks.
    void setChannelCount(int n);

    QString area() const { return m_area; }
    void setArea(const QString &area) { m_area = area; }
    QString uid() const { return m_uid; }
    void setUid(const QString &uid) { m_uid = uid; }
    QString nickName() const { return m_nickName; }
    void setNickName(const QString &nickName) { m_nickName = nickName; }
    QString viewPassword() const { return m_viewPassword; }
    void setViewPassword(const QString &password) { m_viewPassword = password; }
    // "Admin" when no account is stored (the device's default administrator).
    QString viewAccount() const;
    void setViewAccount(const QString &account) { m_viewAccount = account; }
    // The account as stored, empty when none is (an RTSP camera without
    // authentication).
    QString storedViewAccount() const { return m_viewAccount; }
    int type() const { return m_type; }
    void setType(int type) { m_type = type; }
    int sessionId() const { return m_sessionId; }
    void setSessionId(int sid) { m_sessionId = sid; }
    LinkState linkState() const { return m_linkState; }
    void setLinkState(LinkState state) { m_linkState = state; }

    const QList<Channel *> &channels() const { return m_channels; }
    // The i-th channel; null when i is out of range.
    Channel *channel(int i) const;
    // Destroys every channel and empties the list.
    void clearChannels();

    // The nick name, or the UID when the nick name is empty.
    QString caption() const;
    // Display name of this device's type code.
    QString typeName() const { return typeName(m_type); }
    static QString typeName(int type);

private:
    DeviceKind m_kind = DeviceKind::P2p;
    RtspSource m_rtsp;
    QString m_pk;
    QString m_model;
    QString m_userId;
    int m_channelCount = 0;
    QString m_area;
    QString m_uid;
    QString m_nickName;
    QString m_viewPassword;
    QString m_viewAccount;
    int m_type = 0;
    int m_sessionId = -1;
    LinkState m_linkState = LinkState::Idle;
    QList<Channel *> m_channels;
};

Q_DECLARE_METATYPE(Device *)

#include "admin/RtspFields.h"

#include "config/Config.h"
#include "model/Device.h"
#include "model/RtspUrl.h"
#include "widgets/Named.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpression>

namespace {

bool parse(const QString &urls, const QString &channels, RtspUrl::Streams *out, QString *why)
{
    bool isNumber = false;
    const int count = channels.toInt(&isNumber);
    return RtspUrl::parseStreams(urls, isNumber ? count : 0, out, why);
}

QString listText(const QList<RtspStream> &streams)
{
    return RtspUrl::storedText(streams).replace(u'\n', u' ');
}

} // namespace

RtspFields::RtspFields(QWidget *parent)
    : m_urls(namedLineEdit("textEdit_rtspUrl", parent))
    , m_onvifHost(namedLineEdit("textEdit_onvifHost", parent))
    , m_transport(new QComboBox(parent))
{
    m_urls->setPlaceholderText(QStringLiteral("rtsp://host:554/path | rtsp://host/{ch}/{stream}"));
    m_onvifHost->setPlaceholderText(QStringLiteral("host:port"));
    m_transport->setObjectName(QStringLiteral("comboBox_rtspTransport"));
    m_transport->addItems({QStringLiteral("TCP"), QStringLiteral("UDP")});
}

QList<QPair<QString, QWidget *>> RtspFields::rows() const
{
    return {{tr("RTSP地址:"), m_urls}, {tr("ONVIF地址:"), m_onvifHost}, {tr("传输:"), m_transport}};
}

QString RtspFields::urls() const
{
    return m_urls->text().trimmed();
}

QString RtspFields::onvifHost() const
{
    return m_onvifHost->text().trimmed();
}

bool RtspFields::udp() const
{
    return m_transport->currentIndex() == 1;
}

void RtspFields::load(const Device *d)
{
    const bool rtsp = d && d->kind() == DeviceKind::Rtsp;
    m_urls->setText(rtsp ? listText(d->rtsp().streams) : QString());
    m_onvifHost->setText(rtsp ? d->rtsp().onvifHost : QString());
    m_transport->setCurrentIndex(rtsp && d->rtsp().transport == RtspSource::Transport::Udp ? 1 : 0);
}

void RtspFields::showStreams(const QList<RtspStream> &streams)
{
    m_urls->setText(listText(streams));
}

void RtspFields::setOnvifHost(const QString &host)
{
    m_urls->clear();
    m_onvifHost->setText(host);
}

void RtspFields::clear()
{
    load(nullptr);
}

QString RtspFields::problem(const QString &urls, const QString &channels, const QString &onvifHost)
{
    static const QRegularExpression hostPattern(QStringLiteral("^[A-Za-z0-9.\\-]+(:\\d{1,5})?$"));
    if (!onvifHost.isEmpty() && (onvifHost.size() > StoredLimits::MaxHostLength ||
                                 !hostPattern.match(onvifHost).hasMatch()))
        return tr("ONVIF地址应为 host 或 host:port");
    if (urls.isEmpty() && !onvifHost.isEmpty()) {
        // The streams come from the device's media profiles.
        bool isNumber = false;
        const int count = channels.toInt(&isNumber);
        return isNumber && count >= 1 && count <= StoredLimits::MaxChannels
                   ? QString()
                   : tr("通道数必须是1到64之间的整数");
    }
    RtspUrl::Streams streams;
    QString why;
    if (!parse(urls, channels, &streams, &why))
        return tr("RTSP地址无效: %1").arg(why);
    return QString();
}

bool RtspFields::fill(const QString &urls, const QString &channels, const QString &onvifHost,
                      bool udp, DeviceRecord *record)
{
    if (urls.isEmpty() && !onvifHost.isEmpty() && problem(urls, channels, onvifHost).isEmpty()) {
        record->kind = DeviceKind::Rtsp;
        record->uid = RtspUrl::onvifDeviceUid(onvifHost);
        record->channel = channels.toInt();
        record->rtsp.streams.clear();
        record->rtsp.onvifHost = onvifHost;
        record->rtsp.transport = udp ? RtspSource::Transport::Udp : RtspSource::Transport::Tcp;
        return true;
    }
    RtspUrl::Streams streams;
    if (!parse(urls, channels, &streams, nullptr))
        return false;
    record->kind = DeviceKind::Rtsp;
    record->uid = RtspUrl::deviceUid(streams.streams.first().main);
    record->channel = int(streams.streams.size());
    if (streams.hasCredentials) {
        record->username = streams.user;
        record->password = streams.password;
    }
    record->rtsp.streams = streams.streams;
    record->rtsp.onvifHost = onvifHost;
    record->rtsp.transport = udp ? RtspSource::Transport::Udp : RtspSource::Transport::Tcp;
    return true;
}

#include "admin/RtspFields.h"

#include "model/Device.h"
#include "model/RtspUrl.h"
#include "widgets/Named.h"

#include <QComboBox>
#include <QLineEdit>

namespace {

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

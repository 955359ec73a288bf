#pragma once

#include "model/DeviceRecord.h"

#include <QCoreApplication>
#include <QList>
#include <QPair>
#include <QString>

class Device;
class QComboBox;
class QLineEdit;
class QWidget;

// The RTSP part of the device manager's add and edit page: the stream list
// (RtspUrl::parseStreams: one URL per channel, "MAIN|SUB" pairs, or a
// pattern with {ch}, {ch0} and {stream} for the channel count given), the
// ONVIF host kept for the ONVIF client, and the transport. GUI thread only.
class RtspFields
{
    Q_DECLARE_TR_FUNCTIONS(AddDev)

public:
    // Creates the fields as children of parent.
    explicit RtspFields(QWidget *parent);

    // Caption and field of each row, in form order.
    QList<QPair<QString, QWidget *>> rows() const;

    QString urls() const;
    QString onvifHost() const;
    bool udp() const;
    // Shows d's source (a P2P device's: empty fields).
    void load(const Device *d);
    // Shows the streams as the list text (after credentials were split off).
    void showStreams(const QList<RtspStream> &streams);
    void clear();
    // Shows an ONVIF host and no stream URL (the device gives them).
    void setOnvifHost(const QString &host);

private:
    QLineEdit *m_urls;
    QLineEdit *m_onvifHost;
    QComboBox *m_transport;
};

#pragma once

#include <QObject>

class OnvifDeviceControl;

// The client's composition root: creates the services below the widgets in
// order and wires them (the device links, the stream driver, decoders,
// sound, recording), and stops them in reverse order when the client quits:
// the device links end their streams and sessions (each device hears its
// goodbye), the stream driver stops every stream, the media and link
// workers are joined, and the recordings still open are finished.
//
// Threads: GUI thread.
class AppServices : public QObject
{
    Q_OBJECT

public:
    // How long stopping waits for the link's running tasks.
    static constexpr int ShutdownWaitMs = 2000;
    // How long stopping waits for a media or link worker to finish its task.
    static constexpr int MediaWaitMs = 500;

    // Created on first use; the application makes it before its first window.
    static AppServices *instance();

    explicit AppServices(QObject *parent = nullptr);
    ~AppServices() override;

    OnvifDeviceControl *onvifControl() const { return m_onvifControl; }

    // Stops everything in order; later calls do nothing. Returns whether
    // every task and worker ended in time.
    bool stop();
    bool isStopped() const { return m_stopped; }

private:
    OnvifDeviceControl *m_onvifControl = nullptr; // child
    bool m_stopped = false;
};

#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class Dev;
class Device;
class QTimer;

// When each lost device tries its session again. The waits between the
// attempts after a loss are 1, 2, 4, 8 and 16 units and then 30 units each
// (a unit is 1000 ms unless changed); an attempt started early cuts the
// current wait short and the next wait is the following one. due() asks for an
// attempt; the owner starts it (beginAttempt) or gives the device up
// (forget), and after a failed one asks for the next wait (scheduleNext).
//
// Devices are held by pointer and UID; the pointer is compared, never
// dereferenced, until the registry confirms that the device is alive, so
// due() names registered devices only.
//
// Threads: GUI thread only.
class ReconnectSchedule : public QObject
{
    Q_OBJECT

public:
    explicit ReconnectSchedule(const Dev *dev, QObject *parent = nullptr);

    // The n-th wait after a loss (n from 0), in units.
    static int waitUnits(int attempt);
    void setUnitMs(int ms) { m_unitMs = ms; }
    int unitMs() const { return m_unitMs; }

    // The device was lost, or its attempt failed: the next attempt is due
    // after the next wait.
    void scheduleNext(Device *d);
    // An attempt of d starts now, cutting a wait short. False when one
    // already runs.
    bool beginAttempt(Device *d);
    // No more attempts of d (back online, closed, nothing to show).
    void forget(const Device *d);
    // No more attempts of any device (shutdown).
    void clear();
    // Forgets the devices that left the registry.
    void dropUnregistered();

    // The wait before d's next attempt in ms: > 0 while waiting, 0 while an
    // attempt runs, -1 when none is planned.
    int pendingMs(const Device *d) const;

signals:
    void due(Device *d);

private:
    struct Plan
    {
        QString uid;
        int waits = 0; // waits started since the loss
        bool attempting = false;
        QTimer *timer = nullptr;
    };

    Plan &planOf(Device *d);
    void expired(const Device *key);
    Device *resolve(const Device *key) const;

    const Dev *m_dev;
    QHash<const Device *, Plan> m_plans;
    int m_unitMs = 1000;
};

#pragma once

#include <QObject>

// The step (speed, 1 to 8) chosen in the PTZ panel, read by the preset and
// cruise panels. One process-wide instance; the first object constructed
// becomes it. GUI thread only.
class PTZ : public QObject
{
    Q_OBJECT

public:
    explicit PTZ(QObject *parent = nullptr);
    static PTZ *instance();

    int step() const { return m_step; }
    void setStep(int step) { m_step = qBound(1, step, 8); }

private:
    int m_step = 5;
};

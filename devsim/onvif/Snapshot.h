#pragma once

#include "DeviceConfig.h"

#include <QByteArray>

namespace devsim {

class PtzCamera;

// A JPEG of what a channel shows now, drawn as the encoder's next picture would be (the test
// pattern, or the PTZ camera's view), at the stream's size. Any thread.
class Snapshot
{
public:
    static QByteArray jpeg(const DeviceConfig &config, const PtzCamera *camera, int channel,
                           bool hd);
};

} // namespace devsim

#pragma once

// How a device is reached. P2p: by UID through the P2P library (the device
// SDK's protocol); Rtsp: a standard camera or recorder whose channels are
// RTSP streams (RtspSource), later also driven through ONVIF.
enum class DeviceKind { P2p, Rtsp };

#pragma once

#include "link/LanSearchResult.h"
#include "model/DeviceKind.h"

#include <QList>

class Device;
class DeviceEvents;
class DeviceLink;

// Which link serves which device kind. The P2P link is always there; the
// media layer installs the RTSP link at start-up. A device of a kind with
// no link installed goes to the P2P link, which refuses it (every
// operation fails with AV_ER_CLIENT_NOT_SUPPORT).
//
// Threads: GUI thread only.
namespace DeviceLinks {

// Where every link reports (sessions, streams, commands, LAN search).
DeviceEvents *events();

// The link of d's kind (the P2P link for null).
DeviceLink *of(const Device *d);
DeviceLink *ofKind(DeviceKind kind);
// Installs link (not owned; it must outlive its use) for kind; null removes
// it. The P2P link cannot be replaced.
void install(DeviceKind kind, DeviceLink *link);
// Whether d's link offers feature f (a DeviceLink::Feature); widgets offer
// only what the selected device can do.
bool has(const Device *d, int feature);
// LAN search for devices (P2P); reports through events():
// startLANSearchSuccessMsg, then lanResults() holds what answered.
void startLanSearch();
QList<LanSearchResult> lanResults();

// Shuts every installed link down (see DeviceLink::shutdown), each waiting
// at most waitMs; true when all ended.
bool shutdownAll(int waitMs);

} // namespace DeviceLinks

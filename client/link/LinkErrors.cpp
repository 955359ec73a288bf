#include "link/LinkErrors.h"

#include <p2p/p2p.h>

bool isLinkLostCode(int code)
{
    switch (code) {
    case IOTC_ER_INVALID_SID:
    case IOTC_ER_SESSION_CLOSE_BY_REMOTE:
    case IOTC_ER_REMOTE_TIMEOUT_DISCONNECT:
    case AV_ER_INVALID_SID:
    case AV_ER_SESSION_CLOSE_BY_REMOTE:
    case AV_ER_REMOTE_TIMEOUT_DISCONNECT:
    case AV_ER_SERVER_EXIT:
    case AV_ER_NOT_INITIALIZED:
    case AV_ER_IOTC_SESSION_CLOSED:
        return true;
    default:
        return false;
    }
}

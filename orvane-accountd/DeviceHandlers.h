#pragma once

#include "AccountStore.h"
#include "ApiTypes.h"
#include "RequestContext.h"

namespace accountd {

// The signed-in user's device list: list, add, delete, modify. Every request acts only on
// the devices of the token's user; an id of another user's device is answered like an id
// that does not exist. Main thread.
class DeviceHandlers
{
public:
    explicit DeviceHandlers(AccountStore &store);

    ApiReply list(RequestContext &context);
    ApiReply add(RequestContext &context);
    ApiReply remove(RequestContext &context);
    ApiReply modify(RequestContext &context);

private:
    ApiReply storeFailure(CodeKey key);
    // Validates every field of the device; an empty string when it may be
    // stored. Kind "p2p" is stored as no kind.
    static QString check(AccountStore::Device &device);

    AccountStore &m_store;
};

} // namespace accountd

#pragma once

// Challenge and response for AV channel logins. The password never travels:
// the AV client proves it knows it with an HMAC over both sides' nonces.

#include <p2p/p2p.h>

#include "Wire.h"

#include <string>

namespace p2p::auth {

wire::Nonce randomNonce();

// HMAC-SHA256(key = password, "OP2P-AV-LOGIN2" | binding | serverNonce |
// clientNonce | channel | direction | account). The binding is the session's
// TLS keying material, so a login relayed into another connection fails.
wire::Mac loginMac(const std::string &password, const wire::Binding &binding,
                   const wire::Nonce &serverNonce, const wire::Nonce &clientNonce,
                   std::uint8_t channel, bool clientIsDevice, const std::string &account);

// Constant-time comparison.
bool macEqual(const wire::Mac &a, const wire::Mac &b);

// A peer's login to a channel we serve (avServStart3): runs the caller's
// callback on its account and is true when the callback accepts it and the
// login proves the password the callback names (if it names one).
bool servedLoginAccepted(avAuthFn authenticate, const wire::AvLogin &login,
                         const wire::Binding &binding, const wire::Nonce &myNonce,
                         std::uint8_t channel);

} // namespace p2p::auth

#pragma once

// Challenge and response for AV channel logins. The password never travels:
// the AV client proves it knows it with an HMAC over both sides' nonces.

#include "Wire.h"

#include <string>

namespace p2p::auth {

wire::Nonce randomNonce();

// HMAC-SHA256(key = password, "OP2P-AV-LOGIN" | serverNonce | clientNonce |
// channel | direction | account).
wire::Mac loginMac(const std::string &password, const wire::Nonce &serverNonce,
                   const wire::Nonce &clientNonce, std::uint8_t channel, bool clientIsDevice,
                   const std::string &account);

// Constant-time comparison.
bool macEqual(const wire::Mac &a, const wire::Mac &b);

} // namespace p2p::auth

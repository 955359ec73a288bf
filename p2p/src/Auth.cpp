#include "Auth.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <chrono>
#include <cstring>
#include <random>

namespace p2p::auth {

wire::Nonce randomNonce()
{
    wire::Nonce n{};
    if (RAND_bytes(n.data(), static_cast<int>(n.size())) != 1) {
        // The system's random source failed; fall back to a seeded engine so
        // a login still works (the nonce only needs to be fresh).
        static thread_local std::mt19937_64 gen(
            std::random_device{}() ^
            static_cast<std::uint64_t>(
                std::chrono::steady_clock::now().time_since_epoch().count()));
        for (auto &b : n)
            b = static_cast<std::uint8_t>(gen());
    }
    return n;
}

wire::Mac loginMac(const std::string &password, const wire::Binding &binding,
                   const wire::Nonce &serverNonce, const wire::Nonce &clientNonce,
                   std::uint8_t channel, bool clientIsDevice, const std::string &account)
{
    static const char kLabel[] = "OP2P-AV-LOGIN2";
    std::vector<std::uint8_t> msg;
    msg.insert(msg.end(), kLabel, kLabel + sizeof(kLabel) - 1);
    msg.insert(msg.end(), binding.begin(), binding.end());
    msg.insert(msg.end(), serverNonce.begin(), serverNonce.end());
    msg.insert(msg.end(), clientNonce.begin(), clientNonce.end());
    msg.push_back(channel);
    msg.push_back(clientIsDevice ? 1 : 0);
    msg.insert(msg.end(), account.begin(), account.end());

    wire::Mac mac{};
    unsigned int len = 0;
    static const std::uint8_t kEmptyKey = 0;
    const void *key = password.empty() ? static_cast<const void *>(&kEmptyKey)
                                       : static_cast<const void *>(password.data());
    if (!HMAC(EVP_sha256(), key, static_cast<int>(password.size()), msg.data(), msg.size(),
              mac.data(), &len) ||
        len != mac.size()) {
        // Never let a failed computation produce a predictable value that
        // both ends would agree on.
        const auto a = randomNonce(), b = randomNonce();
        std::memcpy(mac.data(), a.data(), 16);
        std::memcpy(mac.data() + 16, b.data(), 16);
    }
    return mac;
}

bool macEqual(const wire::Mac &a, const wire::Mac &b)
{
    return CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

bool servedLoginAccepted(avAuthFn authenticate, const wire::AvLogin &login,
                         const wire::Binding &binding, const wire::Nonce &myNonce,
                         std::uint8_t channel)
{
    char expected[P2P_AUTH_PASSWORD_SIZE] = {0};
    const int accepted = authenticate ? authenticate(login.account.c_str(), expected) : 1;
    expected[P2P_AUTH_PASSWORD_SIZE - 1] = 0;
    if (accepted <= 0)
        return false;
    if (expected[0] == 0)
        return true;
    return macEqual(loginMac(expected, binding, myNonce, login.nonce, channel, true, login.account),
                    login.mac);
}

} // namespace p2p::auth

// libFuzzer target: the readers of what a camera answers over its standard
// protocol (SOAP replies, WS-Discovery ProbeMatches) and of its HTTP Digest
// challenges.
#include "link/onvif/HttpDigest.h"
#include "link/onvif/OnvifNamespaces.h"
#include "link/onvif/OnvifParse.h"

#include <cstdint>
#include <cstdlib>

namespace {

template <class T> void check(const OnvifResult<T> &r)
{
    // A reader fails only with its own kinds of error.
    if (!r && r.error().kind != OnvifError::Kind::Fault &&
        r.error().kind != OnvifError::Kind::Malformed &&
        r.error().kind != OnvifError::Kind::Oversized)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray reply =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    check(OnvifParse::capabilities(reply));
    check(OnvifParse::services(reply));
    check(OnvifParse::deviceInformation(reply));
    check(OnvifParse::systemDateAndTime(reply));
    if (const auto profiles = OnvifParse::profiles(reply)) {
        for (const OnvifProfile &p : profiles.value()) {
            if (p.token.isEmpty() || p.token.size() > OnvifParse::MaxTokenLength || p.width < 0)
                std::abort();
        }
    }
    check(OnvifParse::streamUri(reply));
    check(OnvifParse::snapshotUri(reply));
    check(OnvifParse::presets(reply));
    check(OnvifParse::presetToken(reply));
    check(OnvifParse::empty(reply, OnvifNs::Ptz, QStringLiteral("Stop")));
    OnvifParse::fault(reply);
    if (const auto matches = OnvifParse::probeMatches(reply)) {
        for (const OnvifProbeMatch &m : matches->matches)
            m.name();
    }
    if (const auto challenge = HttpDigest::parse({reply})) {
        if (HttpDigest::authorization(*challenge, QStringLiteral("u"), QStringLiteral("p"), "POST",
                                      "/onvif", 1, "c")
                .contains('\n'))
            std::abort(); // nothing of the challenge may break our header
    }
    return 0;
}

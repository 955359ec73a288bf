// libFuzzer target: the readers of what a camera answers over its standard
// protocol (SOAP replies: device, media, PTZ, recording search, replay and
// events; WS-Discovery ProbeMatches), the recorded timeline made of them, and
// the readers of its HTTP Digest challenges.
#include "link/onvif/HttpDigest.h"
#include "link/onvif/OnvifNamespaces.h"
#include "link/onvif/OnvifParse.h"
#include "link/onvif/OnvifTimeline.h"

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
    check(OnvifParse::recordings(reply));
    check(OnvifParse::searchToken(reply));
    check(OnvifParse::recordingSummary(reply));
    check(OnvifParse::replayUri(reply));
    check(OnvifParse::replayCapabilities(reply));
    check(OnvifParse::subscription(reply));
    check(OnvifParse::renew(reply));
    if (const auto page = OnvifParse::recordingSearchResults(reply)) {
        for (const OnvifRecording &r : page->results) {
            if (r.token.isEmpty() || (r.earliest.isValid() && r.latest < r.earliest))
                std::abort();
        }
    }
    const QDateTime from = QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
    const QDateTime to = QDateTime::fromSecsSinceEpoch(4102444800LL, Qt::UTC); // 2100
    auto timeline = [&from, &to](const QList<OnvifEvent> &events) {
        if (events.size() > OnvifParse::MaxEvents)
            std::abort();
        // Spans are ordered, non-empty and inside the window.
        QDateTime last = from;
        for (const auto &s : OnvifTimeline::spans(events, {}, from, to)) {
            if (s.start < last || s.end <= s.start || s.end > to)
                std::abort();
            last = s.end;
        }
        OnvifTimeline::marks(events, {QStringLiteral("src_1")}, from, to);
    };
    if (const auto page = OnvifParse::eventSearchResults(reply))
        timeline(page->results);
    if (const auto pull = OnvifParse::pullMessages(reply))
        timeline(pull->events);
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

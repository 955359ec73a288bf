#pragma once

#include "link/onvif/OnvifParse.h"
#include "link/onvif/OnvifXml.h"

// What OnvifParse's readers share (defined in OnvifParse.cpp; the readers are
// there and in OnvifParseRecordings.cpp): the SOAP envelope, its answer or
// fault, and bounded readers of tokens, texts, addresses and numbers.
//
// Threads: any (pure functions).
namespace OnvifParseSupport {

using Element = OnvifXmlElement;

OnvifError malformed(const QString &why);
// The reply as a SOAP 1.2 envelope, within MaxReplyBytes and MaxDepth.
OnvifResult<Element> document(const QByteArray &reply);
QString cut(const QString &text, int max = OnvifParse::MaxTextLength);
// A token: empty when missing or over-long.
QString token(const QString &text);
// The first element of the envelope's body: the fault, or the expected answer.
OnvifResult<const Element *> answer(const Element &envelope, const QString &ns,
                                    const QString &name);
// An http(s) address with a host (rtsp: an rtsp(s) one); invalid when the
// text is anything else.
QUrl httpUrl(const QString &text, bool rtsp = false);
int boundedInt(const QString &text, int min, int max, int fallback);
bool xsBool(const QString &text);

// The answer named response in ns, handed to r; the fault or why not otherwise.
template <class T, class Read>
OnvifResult<T> read(const QByteArray &reply, const QString &ns, const QString &response, Read r)
{
    const OnvifResult<Element> doc = document(reply);
    if (!doc)
        return doc.error();
    const OnvifResult<const Element *> a = answer(doc.value(), ns, response);
    if (!a)
        return a.error();
    return r(*a.value());
}

} // namespace OnvifParseSupport

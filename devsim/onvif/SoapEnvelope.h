#pragma once

#include "XmlNode.h"

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QXmlStreamWriter;

namespace devsim {

// A SOAP 1.2 fault: code, ONVIF subcodes (local names in the ONVIF error namespace, outermost
// first, e.g. {"InvalidArgVal", "NoProfile"}) and a reason in English.
struct SoapFault
{
    enum class Code { Sender, Receiver, VersionMismatch };
    Code code = Code::Sender;
    QStringList subcodes;
    QString reason;

    static SoapFault sender(QStringList subcodes, const QString &reason)
    {
        return SoapFault{Code::Sender, std::move(subcodes), reason};
    }
    // HTTP status of a response carrying it: 400 for sender faults, else 500.
    int httpStatus() const { return code == Code::Sender ? 400 : 500; }
};

// Reads SOAP 1.2 request envelopes and writes response envelopes. Plain data; any thread.
class SoapEnvelope
{
public:
    // The request's header (null without one) and the single element of its body; nullopt
    // with *fault (WellFormed, VersionMismatch, ...) when the bytes are no such envelope.
    static std::optional<SoapEnvelope> parse(const QByteArray &bytes, SoapFault *fault);

    const XmlNode *header() const { return m_header; }
    const XmlNode &body() const { return *m_body; }

    using Namespaces = std::vector<std::pair<QString, QString>>; // prefix, URI
    using Part = std::function<void(QXmlStreamWriter &)>;
    // An envelope declaring the SOAP prefix "s" and `namespaces` at its root, with the header
    // (omitted when `header` is empty) and the body that the writers add.
    static QByteArray write(const Namespaces &namespaces, const Part &header, const Part &body);
    // An envelope carrying the fault.
    static QByteArray fault(const SoapFault &fault);

private:
    std::shared_ptr<XmlNode> m_root;
    const XmlNode *m_header = nullptr;
    const XmlNode *m_body = nullptr;
};

} // namespace devsim

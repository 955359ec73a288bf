#pragma once

#include "SoapEnvelope.h"

#include <QDeadlineTimer>
#include <QString>

#include <map>
#include <optional>
#include <vector>

class QXmlStreamWriter;

namespace devsim {

class MotionSchedule;
class RecordStore;
struct OnvifContext;
class XmlNode;

// ONVIF's search service (ver10) over the recording store, every channel's recording holding
// the same spans: FindRecordings and GetRecordingSearchResults (RecordingInformation per
// channel), GetRecordingSummary, GetMediaAttributes, FindEvents and GetEventSearchResults
// (RecordingHistory/Track/State with IsDataPresent true at a recording's start and false at
// its end, VideoSource/MotionAlarm with State from the recorded motion; in time order, reversed
// when EndPoint is before StartPoint, optionally after each channel's state at StartPoint),
// GetSearchState, EndSearch and GetServiceCapabilities.
//
// Every search is found whole when it starts (at most MaxFound results, fewer with
// MaxMatches) and handed out MaxResults at a time (at most MaxBatch). A search not asked
// about for its KeepAliveTime (at most MaxKeepAliveMs) ends; at most MaxSearches at once, a
// finished one making room for a new one.
//
// The ONVIF server's thread.
class SearchService
{
public:
    static constexpr int MaxSearches = 8;
    static constexpr int MaxFound = 10000;
    static constexpr int MaxBatch = 1000;
    static constexpr int DefaultBatch = 100;
    static constexpr qint64 DefaultKeepAliveMs = 10000;
    static constexpr qint64 MaxKeepAliveMs = 300000;

    // The store and motion outlive the service.
    SearchService(const RecordStore &store, const MotionSchedule &motion);

    std::optional<SoapFault> handle(const XmlNode &request, OnvifContext &context,
                                    QXmlStreamWriter &w);
    static void writeCapabilities(QXmlStreamWriter &w, const OnvifContext &context);

private:
    struct Found
    {
        qint64 ms = 0; // UTC
        int channel = 0;
        bool motion = false; // MotionAlarm, else RecordingHistory
        bool value = false;
        bool startState = false;
    };
    struct Search
    {
        bool events = false;
        std::vector<int> channels; // recording searches
        std::vector<Found> found;  // event searches
        std::size_t delivered = 0;
        qint64 keepAliveMs = DefaultKeepAliveMs;
        QDeadlineTimer expiry;
        qint64 endPointMs = 0;

        std::size_t size() const { return events ? found.size() : channels.size(); }
    };

    std::optional<SoapFault> findRecordings(const XmlNode &request, OnvifContext &context,
                                            QXmlStreamWriter &w);
    std::optional<SoapFault> findEvents(const XmlNode &request, OnvifContext &context,
                                        QXmlStreamWriter &w);
    std::optional<SoapFault> results(const XmlNode &request, OnvifContext &context, bool events,
                                     QXmlStreamWriter &w);
    std::optional<SoapFault> start(const XmlNode &request, Search search, QXmlStreamWriter &w,
                                   const QString &response);
    // The search the request's SearchToken names, its keep-alive renewed; null with *fault.
    Search *find(const XmlNode &request, std::optional<SoapFault> *fault);
    void writeRecording(QXmlStreamWriter &w, int channel) const;
    std::vector<Found> timeline(qint64 from, qint64 to, bool motion, bool recording) const;

    const RecordStore &m_store;
    const MotionSchedule &m_motion;
    std::map<QString, Search> m_searches;
    quint64 m_next = 1;
};

} // namespace devsim

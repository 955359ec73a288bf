#include "StreamTaps.h"

namespace devsim {

int StreamTaps::add(int channel, bool hd, Sink sink)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const int id = m_nextId++;
    m_taps[id] = Tap{channel, hd, true, std::make_shared<Sink>(std::move(sink))};
    return id;
}

void StreamTaps::remove(int id)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_taps.erase(id);
}

void StreamTaps::requestKey(int channel, bool hd)
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto &[id, tap] : m_taps) {
        if (tap.channel == channel && tap.hd == hd)
            tap.needKey = true;
    }
}

std::vector<StreamTaps::Want> StreamTaps::wanted()
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Want> out;
    for (const auto &[id, tap] : m_taps) {
        auto it = out.begin();
        while (it != out.end() && (it->channel != tap.channel || it->hd != tap.hd))
            ++it;
        if (it == out.end())
            out.push_back(Want{tap.channel, tap.hd, tap.needKey});
        else
            it->needKey = it->needKey || tap.needKey;
    }
    return out;
}

void StreamTaps::deliver(int channel, bool hd, const QByteArray &accessUnit, bool key)
{
    std::vector<std::shared_ptr<Sink>> sinks;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (auto &[id, tap] : m_taps) {
            if (tap.channel != channel || tap.hd != hd || (tap.needKey && !key))
                continue;
            tap.needKey = false;
            sinks.push_back(tap.sink);
        }
    }
    for (const std::shared_ptr<Sink> &sink : sinks)
        (*sink)(accessUnit, key);
}

} // namespace devsim

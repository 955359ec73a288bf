#include "media/AudioMixer.h"

#include <algorithm>
#include <vector>

void AudioMixer::push(const void *source, bool live, const int16_t *samples, int count)
{
    if (count <= 0)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    Queue &q = m_queues[{source, live}];
    q.samples.insert(q.samples.end(), samples, samples + count);
    if (int(q.samples.size()) > MaxPendingSamples) {
        m_dropped += q.samples.size() - StartSamples;
        q.samples.erase(q.samples.begin(), q.samples.end() - StartSamples);
    }
    if (int(q.samples.size()) >= StartSamples)
        q.playing = true;
}

void AudioMixer::remove(const void *source, bool live)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_queues.erase({source, live});
}

void AudioMixer::remove(const void *source)
{
    remove(source, true);
    remove(source, false);
}

bool AudioMixer::mix(int count, int volume, int16_t *out)
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<int32_t> sum;
    for (auto &[key, q] : m_queues) {
        if (!q.playing)
            continue;
        if (sum.empty())
            sum.assign(size_t(std::max(count, 0)), 0);
        const int n = std::min(count, int(q.samples.size()));
        for (int i = 0; i < n; ++i)
            sum[size_t(i)] += int32_t(q.samples[size_t(i)]) * volume / UnityVolume;
        q.samples.erase(q.samples.begin(), q.samples.begin() + n);
        if (n < count) { // ran dry: wait for a new start level
            q.playing = false;
            ++m_underruns;
        }
    }
    if (sum.empty())
        return false;
    for (int i = 0; i < count; ++i)
        out[i] = int16_t(std::clamp<int32_t>(sum[size_t(i)], INT16_MIN, INT16_MAX));
    return true;
}

int AudioMixer::pending(const void *source, bool live) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    auto it = m_queues.find({source, live});
    return it == m_queues.end() ? 0 : int(it->second.samples.size());
}

bool AudioMixer::hasPending() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return std::any_of(m_queues.begin(), m_queues.end(),
                       [](const auto &kv) { return !kv.second.samples.empty(); });
}

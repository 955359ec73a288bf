#include "MessageReader.h"

#include <algorithm>
#include <cstring>

namespace p2p::wire {

bool MessageReader::feed(const std::uint8_t *data, std::size_t size,
                         const std::function<bool(Message &&)> &sink)
{
    while (!failed()) {
        if (!haveHeader_) {
            const std::size_t n = std::min(size, kHeaderSize - headFill_);
            std::memcpy(head_.data() + headFill_, data, n);
            headFill_ += n;
            data += n;
            size -= n;
            if (headFill_ < kHeaderSize)
                return true;
            current_ = Message{};
            error_ = decodeHeader(head_.data(), current_.header);
            if (failed())
                return false;
            haveHeader_ = true;
            headFill_ = 0;
            payloadFill_ = 0;
            // The length was checked against the type's limit above.
            current_.payload.resize(current_.header.length);
        }
        const std::size_t n = std::min(size, current_.payload.size() - payloadFill_);
        if (n > 0)
            std::memcpy(current_.payload.data() + payloadFill_, data, n);
        payloadFill_ += n;
        data += n;
        size -= n;
        if (payloadFill_ < current_.payload.size())
            return true;
        haveHeader_ = false;
        ++completed_;
        if (!sink(std::move(current_)))
            return false;
        if (size == 0)
            return true;
    }
    return false;
}

} // namespace p2p::wire

#pragma once

#include "Wire.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace p2p::wire {

// Incremental reader of the TCP byte stream. Bytes go in as they arrive;
// every complete message is handed to the sink. A malformed header puts the
// reader into a failed state for good (the connection must be closed).
class MessageReader
{
public:
    // Returns false once the stream is malformed or the sink returned false.
    bool feed(const std::uint8_t *data, std::size_t size,
              const std::function<bool(Message &&)> &sink);
    bool failed() const { return error_ != ParseError::None; }
    // Some bytes of a message arrived, not all of them.
    bool midMessage() const { return headFill_ > 0 || haveHeader_; }
    // The payload length of the message under way; 0 until its header is whole.
    std::size_t announced() const { return haveHeader_ ? current_.payload.size() : 0; }
    // Messages completed so far.
    std::uint64_t completed() const { return completed_; }
    ParseError error() const { return error_; }

private:
    std::array<std::uint8_t, kHeaderSize> head_{};
    std::size_t headFill_ = 0;
    bool haveHeader_ = false;
    Message current_;
    std::size_t payloadFill_ = 0;
    ParseError error_ = ParseError::None;
    std::uint64_t completed_ = 0;
};

} // namespace p2p::wire

#pragma once

#include <string>

// An FFmpeg result as a value: negative codes are errors (AVERROR(...)),
// zero and above success. text() is av_make_error_string's text.
class AvError
{
public:
    constexpr AvError(int code = 0) : m_code(code) {}

    constexpr int code() const { return m_code; }
    constexpr bool failed() const { return m_code < 0; }
    constexpr explicit operator bool() const { return m_code < 0; }

    std::string text() const;

private:
    int m_code;
};

// "what: text" for a failed call, for logs and error strings.
std::string avErrorText(const char *what, AvError error);

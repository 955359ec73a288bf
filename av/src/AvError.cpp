#include "av/AvError.h"

extern "C" {
#include <libavutil/error.h>
}

std::string AvError::text() const
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_make_error_string(buf, sizeof buf, m_code);
    return buf;
}

std::string avErrorText(const char *what, AvError error)
{
    return std::string(what) + ": " + error.text();
}

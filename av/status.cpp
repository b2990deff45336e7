#include "av/status.h"

extern "C" {
#include <libavutil/error.h>
}

namespace av {

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0 && !text[0])
        return "error " + std::to_string(code);
    return text;
}

Status Status::failure(std::string why)
{
    Status status;
    status.m_failed = true;
    status.m_error = std::move(why);
    status.m_code = AVERROR_UNKNOWN;
    return status;
}

Status Status::failure(int code)
{
    Status status = failure(errorText(code));
    if (code < 0)
        status.m_code = code;
    return status;
}

Status Status::failure(std::string_view what, int code)
{
    Status status = failure(std::string(what) + ": " + errorText(code));
    if (code < 0)
        status.m_code = code;
    return status;
}

Status Status::failureWithCode(std::string why, int code)
{
    Status status = failure(std::move(why));
    if (code < 0)
        status.m_code = code;
    return status;
}

} // namespace av

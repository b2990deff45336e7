#pragma once

#include <string>
#include <string_view>

// Success, or what went wrong in words that end with FFmpeg's own reason. Plain C++:
// the encoder has no Qt, and the media component turns the text into a QString.
namespace av {

// FFmpeg's text for an error code.
std::string errorText(int code);

class [[nodiscard]] Status
{
public:
    Status() = default; // success

    static Status failure(std::string why);
    // FFmpeg's reason for code alone.
    static Status failure(int code);
    // "what: FFmpeg's reason for code".
    static Status failure(std::string_view what, int code);
    // `why` as it stands, with the AVERROR behind it.
    static Status failureWithCode(std::string why, int code);

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return m_error; }
    // The AVERROR behind the failure; AVERROR_UNKNOWN when it had none.
    int code() const { return m_code; }

private:
    std::string m_error;
    int m_code = 0;
    bool m_failed = false;
};

} // namespace av

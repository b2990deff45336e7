#pragma once

// A media component that does nothing: test fakes derive from it and override only what
// their test looks at.

#include "mediacomponent.h"

class NullMediaComponent : public MediaComponent
{
public:
    MediaCollection WmvProfiles() const override { return {}; }
    void SetWmvProfileIndex(short) override {}
    void SetVideoCompressorIndex(short) override {}
    MediaCollection VideoCompressors() const override { return {}; }
    void SetUseVideoCompressor(bool) override {}
    void SetAudioCompressorIndex(short) override {}
    MediaCollection AudioCompressors() const override { return {}; }
    void SetUseAudioCompressor(bool) override {}
    void SetOutputHeight(short) override {}
    void SetOutputWidth(short) override {}
    void SetColorDepth(short) override {}
    void SetOutputFormat(int) override {}
    void SetFrameRate(double) override {}
    bool ConvertToFile(const QString&) override { return false; }
    double GetDuration(const QString&) override { return 0.0; }
    bool Play() override { return true; }
    bool AddAudioSegment(const QString&, double, double) override { return true; }
    bool AddVideoSegment(const QString&, double, double, short) override { return true; }
    void Reset() override {}
    void StopConversion() override {}
    void StopPlay() override {}
    QString LastError() const override { return {}; }
};

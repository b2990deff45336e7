// How big a Task's file is expected to be, from the rates its route writes at.
#include "common/qtprinters.h"
#include "engine/sizeestimate.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(SizeEstimate, FromTheSettingsTheProfileOrTheWmvProfileTimesTheTrimmedSpan)
{
    QTemporaryDir app;
    QFile ini(app.filePath("Zune_Profile.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Info]\nDefaultProfile=0\n"
              "[profile0]\nCommand0=./trelvo-encoder -i \"$INPUT_FILE\" -b $VIDEOBITRATE "
              "-ab $AUDIOBITRATE \"$OUTPUT_FILE\"\n"
              "[profile1]\nCommand0=./trelvo-encoder -i \"$INPUT_FILE\" -b 1500k -ab 96 -ab 160 "
              "\"$OUTPUT_FILE\"\n"
              "[profile2]\nCommand0=./trelvo-encoder -i \"$INPUT_FILE\" \"$OUTPUT_FILE\"\n");
    ini.close();
    const SizeEstimate sizes(app.path(), [](int profile) {
        return profile == 4 ? std::optional<BitRates>({384, 64}) : std::nullopt;
    });

    // The Custom Profile takes the Task's own settings: 1200 and 64 kbit/s.
    Task custom = makeTask("/v/a.avi", 300, 0, 0);
    custom.mp4Profile = 0;
    custom.videoBitrate = 3;
    custom.audioBitrate = 4;
    custom.startTime = 20;
    custom.endTime = 100;
    EXPECT_EQ(sizes.bytes(custom), (1200 + 64) * 1000 * 80 / 8);

    // A fixed Profile's own rates, the later option winning; the settings do not count.
    Task profile = custom;
    profile.mp4Profile = 1;
    EXPECT_EQ(sizes.bytes(profile), (1500 + 160) * 1000 * 80 / 8);
    // A Profile that leaves the rates out gets the encoder's defaults.
    profile.mp4Profile = 2;
    EXPECT_EQ(sizes.bytes(profile), (768 + 128) * 1000 * 80 / 8);

    Task wmv = makeTask("/v/b.mov", 30, 1, 4);
    EXPECT_EQ(sizes.bytes(wmv), (384 + 64) * 1000 * 30 / 8);
    wmv.wmvProfile = 9; // unknown: no estimate rather than a wrong one
    EXPECT_EQ(sizes.bytes(wmv), 0);

    EXPECT_EQ(byteSizeText((1200 + 64) * 1000 * 80 / 8), "12.1 MB");
}

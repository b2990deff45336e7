#include "common/qtprinters.h"
#include "engine/settingitems.h"

#include <gtest/gtest.h>

#include <ostream>

void PrintTo(const SettingItems& i, std::ostream* os)
{
    *os << "{type " << i.videoType << ", size " << i.videoSize << ", rate " << i.frameRate
        << ", video " << i.videoBitrate << ", aspect " << i.aspect << ", channels " << i.channels
        << ", audio " << i.audioBitrate << ", sample rate " << i.sampleRate << ", volume "
        << i.volume << "}";
}

TEST(SettingItems, OfAFixedProfilesCommand)
{
    const QString head = "./trelvo-encoder -i \"$INPUT_FILE\" $START$LENGTH ";
    const QString tail = " -acodec aac -title \"$TITLE\" -f mp4 \"$OUTPUT_FILE\"";
    struct Case
    {
        const char* name;
        QString options;
        SettingItems expected; // in the order of the fields
    };
    const Case cases[] = {
        {"every value an item",
         "-vcodec h264 -coder 0 -vlevel 13 -bufsize 256 -g 250 -s 320x240 -r 29.97 -b 768 "
         "-aspect 4:3 -ac 2 -ab 128 -ar 48000 -vol 256",
         {1, 0, 0, 2, 0, 1, 8, 2, 1}},
        {"the other items",
         "-vcodec xvid -s 640x480 -r 29.97 -b 2000 -aspect 16:9 -ac 1 -ab 32 -ar 8000 -vol 1024",
         {0, 1, 0, 5, 1, 0, 0, 7, 7}},
        {"values no item stands for",
         "-vcodec h264 -s 480x272 -r 25 -b 1000 -aspect 5:4 -ac 2 -ab 100 -ar 11025 -vol 300",
         {1, -1, -1, -1, -1, 1, -1, -1, -1}},
        {"left out: the encoder's defaults, or the source's own values",
         "",
         {1, -1, -1, 2, -1, -1, 8, -1, 1}},
        {"other spellings the encoder takes",
         "-vcodec mpeg4 -s vga -r 30000/1001 -b 1500k -aspect 16/9 -ab 160K -ac 1",
         {0, 1, 0, 4, 1, 0, 9, -1, 1}},
        {"libx264 and a decimal aspect",
         "-vcodec libx264 -s qvga -aspect 1.3333",
         {1, 0, -1, 2, 0, -1, 8, -1, 1}},
        {"values the encoder refuses match nothing",
         "-vcodec wmv2 -s big -r fast -b 768kbps -aspect 4: -ac 2k -ab x -ar 44100Hz -vol loud",
         {-1, -1, -1, -1, -1, -1, -1, -1, -1}},
        {"a later option wins",
         "-b 256 -s 320x240 -b 512 -s 640x480",
         {1, 1, -1, 1, -1, -1, 8, -1, 1}},
        {"an option inside a quoted value is no option",
         "-timestamp \"-b 2000 -s 640x480\" -b 256",
         {1, -1, -1, 0, -1, -1, 8, -1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(settingItemsOfCommand(head + c.options + tail), c.expected);
    }
    // A template without a program and options has the defaults too.
    EXPECT_EQ(settingItemsOfCommand(""), (SettingItems{1, -1, -1, 2, -1, -1, 8, -1, 1}));
}

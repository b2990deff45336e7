#pragma once

#include "engine/task.h"

#include <QString>

// The items the nine settings combo boxes show, in the Task's field names; -1 shows an
// empty field, for a value that none of a box's items stands for.
struct SettingItems
{
    int videoType = -1;
    int videoSize = -1;
    int frameRate = -1;
    int videoBitrate = -1;
    int aspect = -1;
    int channels = -1;
    int audioBitrate = -1;
    int sampleRate = -1;
    int volume = -1;

    bool operator==(const SettingItems&) const = default;
};

// What a Profile's command template asks the encoder for, as items. Options are read as
// the encoder reads them (a later one wins, "k" after a bit rate is allowed); an option
// the template leaves out counts with the encoder's own default, and where that default
// is the source's own value (size, rate, aspect, channels, sample rate) the field is -1.
SettingItems settingItemsOfCommand(const QString& commandTemplate);

// The Task's own settings, for the Profile that takes them from the controls.
SettingItems settingItemsOfTask(const Task& task);

// What a greyed box shows where no item stands for the value that a Profile writes: the
// value in words ("480 x 272", "WMV 8"), in the fields' order above. Empty where an item
// stands for the value, and where the template leaves the value to the source.
struct SettingTexts
{
    QString videoType, videoSize, frameRate, videoBitrate, aspect, channels, audioBitrate,
        sampleRate, volume;

    bool operator==(const SettingTexts&) const = default;
};

SettingTexts settingTextsOfCommand(const QString& commandTemplate);

// The video and sound bit rates, in kilobits a second, that a command line asks of the
// encoder: a later option wins, and what it leaves out counts with the encoder's own
// default; 0 for a value the encoder would refuse.
struct BitRates
{
    int videoKbps = 0;
    int audioKbps = 0;
};
BitRates bitRatesOfCommand(const QString& commandLine);

#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Reader of the profile file, an initialisation file of [sections] and key=value lines.
// Section and key names compare without case and the first match wins; spaces around
// names and values are trimmed, one pair of enclosing quotes is removed from a value,
// lines starting with ";" are comments, and a value is cut at 1023 characters. The file
// is read once, when the path is set; lookups answer from memory.
class CProfileFile
{
public:
    static constexpr int kMaxValueLength = 1023;
    static constexpr int kMaxSectionNameLength = 259;
    // A profile file is a few kilobytes; a larger one is not read.
    static constexpr qint64 kFileLimit = 4 * 1024 * 1024;

    virtual ~CProfileFile() = default;

    struct Key
    {
        QString name;
        QString value;
    };
    struct Section
    {
        QString name;
        QList<Key> keys;
    };

    // Reads the file. True when the path names a regular file of at most kFileLimit bytes;
    // anything else reads as an empty file, said once as a warning unless it is missing.
    bool SetPath(const QString& path);
    // Reads the text of a profile file held in memory.
    void SetContents(const QByteArray& text);
    // True when the section exists and holds at least one key.
    bool HasSection(const QString& section) const;
    // The key's value; empty when the section or the key is missing.
    QString ReadString(const QString& section, const QString& key) const;
    // Replaces `names` with the section names in file order and returns their count. A
    // file without sections, or a missing file, gives one empty name.
    int ReadSectionNames(QStringList& names) const;

private:
    const Section* findSection(const QString& name) const;

    QString m_path;
    QList<Section> m_sections;
    QHash<QString, int> m_index; // case-folded section name -> first section of that name
};

// What filling the MP4 profile combo box from the profile file gives.
struct Mp4ProfileChoice
{
    bool filled = false;  // false: the combo box keeps what it had
    QStringList items;    // one title per Profile, in file order
    int selectIndex = -1; // item to select; -1 for none
};

// The profile file in the app folder (or, when the app folder is missing, in the
// program folder that holds it), as an absolute path.
QString profileFilePath(const QString& appFolder);

// The command template of Profile `profile`: "Command0" of section "profile<n>" of the
// profile file in the app folder; empty when there is none.
QString profileCommand(const QString& appFolder, int profile);

// Reads the profile file of the app folder.
Mp4ProfileChoice LoadMp4Profiles(const QString& appFolder);
// The same from a profile file already read.
Mp4ProfileChoice mp4ProfileChoice(const CProfileFile& reader);

// atoi's reading: optional blanks and sign, then digits; 0 when no number starts it.
int leadingInteger(const QString& text);

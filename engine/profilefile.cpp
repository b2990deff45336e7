#include "engine/profilefile.h"

#include "engine/programfolder.h"
#include "engine/regularfile.h"
#include "engine/textcut.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>

namespace {

QString unquote(QString value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            value = value.mid(1, value.size() - 2);
    }
    return value;
}

QList<CProfileFile::Section> parseIni(const QByteArray& text)
{
    QList<CProfileFile::Section> sections;
    const QStringList lines = QString::fromUtf8(text).split(u'\n');
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            qsizetype close = line.indexOf(u']');
            if (close < 0)
                close = line.size();
            const QString name =
                cutText(line.mid(1, close - 1).trimmed(), CProfileFile::kMaxSectionNameLength);
            sections.append({name, {}});
            continue;
        }
        if (sections.isEmpty())
            continue; // keys before the first section belong to nothing
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString value =
            cutText(unquote(line.mid(eq + 1).trimmed()), CProfileFile::kMaxValueLength);
        sections.last().keys.append({line.left(eq).trimmed(), value});
    }
    return sections;
}

} // namespace

bool CProfileFile::SetPath(const QString& path)
{
    m_path = path;
    QString error;
    bool missing = false;
    const std::optional<QByteArray> text = readRegularFile(path, kFileLimit, &error, &missing);
    // Read as an empty file: every Profile takes its defaults.
    SetContents(text.value_or(QByteArray()));
    if (!text && !missing)
        qWarning("The profile file %s is not read: %s", qUtf8Printable(path),
                 qUtf8Printable(error));
    return text.has_value();
}

void CProfileFile::SetContents(const QByteArray& text)
{
    m_sections = parseIni(text);
    m_index.clear();
    for (int i = 0; i < m_sections.size(); ++i) {
        const QString key = m_sections.at(i).name.toCaseFolded();
        if (!m_index.contains(key)) // the first one wins
            m_index.insert(key, i);
    }
}

const CProfileFile::Section* CProfileFile::findSection(const QString& name) const
{
    const auto found = m_index.constFind(name.trimmed().toCaseFolded());
    return found == m_index.constEnd() ? nullptr : &m_sections.at(*found);
}

bool CProfileFile::HasSection(const QString& section) const
{
    const Section* s = findSection(section);
    return s && !s->keys.isEmpty();
}

QString CProfileFile::ReadString(const QString& section, const QString& key) const
{
    const Section* s = findSection(section);
    if (!s)
        return {};
    for (const Key& k : s->keys) {
        if (k.name.compare(key.trimmed(), Qt::CaseInsensitive) == 0)
            return k.value;
    }
    return {};
}

int CProfileFile::ReadSectionNames(QStringList& names) const
{
    names.clear();
    for (const Section& s : m_sections)
        names.append(s.name);
    if (names.isEmpty())
        names.append(QString());
    return int(names.size());
}

int leadingInteger(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const char* p = bytes.constData();
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p++ - '0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return int(negative ? -value : value);
}

QString profileFilePath(const QString& appFolder)
{
    const QString name = QStringLiteral("Zune_Profile.ini");
    if (appFolder.isEmpty())
        return QDir(programFolder()).absoluteFilePath(name);
    // Without the app folder, the folder that holds it: the program folder, wherever the
    // program was started from.
    const QFileInfo app(QDir::cleanPath(appFolder));
    if (!app.isDir())
        return QDir(app.absolutePath()).absoluteFilePath(name);
    return QDir(appFolder).absoluteFilePath(name);
}

QString profileCommand(const QString& appFolder, int profile)
{
    CProfileFile reader;
    reader.SetPath(profileFilePath(appFolder));
    return reader.ReadString(QStringLiteral("profile%1").arg(profile), QStringLiteral("Command0"));
}

Mp4ProfileChoice LoadMp4Profiles(const QString& appFolder)
{
    CProfileFile reader;
    reader.SetPath(profileFilePath(appFolder));
    return mp4ProfileChoice(reader);
}

Mp4ProfileChoice mp4ProfileChoice(const CProfileFile& reader)
{
    Mp4ProfileChoice choice;
    if (!reader.HasSection(QStringLiteral("Info")))
        return choice;
    const int defaultItem =
        leadingInteger(reader.ReadString(QStringLiteral("Info"), QStringLiteral("DefaultProfile")));
    choice.filled = true;
    QStringList names;
    const int count = reader.ReadSectionNames(names);
    for (int i = 1; i < count; ++i)
        choice.items.append(reader.ReadString(names.at(i), QStringLiteral("Title")));
    choice.selectIndex = defaultItem >= 0 && defaultItem < choice.items.size() ? defaultItem : -1;
    return choice;
}

#include "pane/ADesktopEntries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <algorithm>

namespace {

QStringList SplitFolders(const QByteArray& value, const QString& fallback)
{
    QStringList folders = QString::fromLocal8Bit(value).split(u':', Qt::SkipEmptyParts);
    return folders.isEmpty() ? fallback.split(u':') : folders;
}

} // namespace

std::optional<ADesktopEntry> ReadDesktopEntryText(const QString& path, const QString& text)
{
    QMap<QString, QString> keys;
    bool inEntryGroup = false;
    for (const QString& rawLine : text.split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inEntryGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        // Localised keys ("Name[de]") are left aside: the plain name is what
        // every entry must have.
        if (inEntryGroup && equals > 0) {
            const QString key = line.left(equals).trimmed();
            if (!keys.contains(key))
                keys.insert(key, line.mid(equals + 1).trimmed());
        }
    }
    if (keys.value(u"Type"_qs) != u"Application" || keys.value(u"Name"_qs).isEmpty()
        || keys.value(u"NoDisplay"_qs) == u"true" || keys.value(u"Hidden"_qs) == u"true")
        return std::nullopt;
    return ADesktopEntry{path, keys.value(u"Name"_qs), keys.value(u"Icon"_qs)};
}

std::optional<ADesktopEntry> ReadDesktopEntry(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return ReadDesktopEntryText(path, QString::fromUtf8(file.readAll()));
}

QStringList ApplicationFolders()
{
    QString dataHome = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + u"/.local/share"_qs;
    QStringList folders{dataHome + u"/applications"_qs};
    for (const QString& folder : SplitFolders(qgetenv("XDG_DATA_DIRS"), u"/usr/local/share:/usr/share"_qs))
        folders.append(folder + u"/applications"_qs);
    return folders;
}

std::vector<ADesktopEntry> FindInstalledApplications()
{
    QMap<QString, ADesktopEntry> byId;
    QMap<QString, bool> seenIds;
    for (const QString& folder : ApplicationFolders()) {
        const QDir root(folder);
        QDirIterator files(folder, {u"*.desktop"_qs}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            // The desktop file id: the path below the folder, "/" made "-".
            const QString id = root.relativeFilePath(path).replace(u'/', u'-');
            if (seenIds.contains(id))
                continue;
            // An earlier folder's entry that is hidden hides the later ones too.
            seenIds.insert(id, true);
            if (std::optional<ADesktopEntry> entry = ReadDesktopEntry(path))
                byId.insert(id, *entry);
        }
    }
    std::vector<ADesktopEntry> entries(byId.begin(), byId.end());
    std::stable_sort(entries.begin(), entries.end(), [](const ADesktopEntry& a, const ADesktopEntry& b) {
        return a.fName.compare(b.fName, Qt::CaseInsensitive) < 0;
    });
    return entries;
}

QIcon ApplicationIcon(const QString& path)
{
    if (!path.endsWith(u".desktop"_qs))
        return {};
    const std::optional<ADesktopEntry> entry = ReadDesktopEntry(path);
    if (!entry || entry->fIcon.isEmpty())
        return {};
    if (QFileInfo(entry->fIcon).isAbsolute())
        return QFileInfo::exists(entry->fIcon) ? QIcon(entry->fIcon) : QIcon();
    return QIcon::fromTheme(entry->fIcon);
}

#pragma once
// The installed applications as the desktop knows them: the desktop entries
// (".desktop" files) in the "applications" folders of the XDG data folders,
// $XDG_DATA_HOME (default ~/.local/share) first, then each of $XDG_DATA_DIRS
// (default /usr/local/share:/usr/share). An entry is offered when it is of
// type Application and neither hidden nor marked not to be shown; of two
// entries with the same desktop file id, the one in the earlier folder wins,
// as desktop menus do.

#include <QIcon>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct ADesktopEntry {
    QString fPath;  // the entry's full path: what the editor stores
    QString fName;
    QString fIcon;  // a theme icon name or an absolute file path; may be empty
};

// The entry's group "Desktop Entry" read from its text; none when it is not
// an application to offer.
std::optional<ADesktopEntry> ReadDesktopEntryText(const QString& path, const QString& text);
std::optional<ADesktopEntry> ReadDesktopEntry(const QString& path);

// The "applications" folders, in the order they are searched.
QStringList ApplicationFolders();
// Every application offered, sorted by name (ignoring letter case).
std::vector<ADesktopEntry> FindInstalledApplications();

// The picture of an application: for a desktop entry its icon from the
// user's icon theme (or the file it names); a null icon otherwise.
QIcon ApplicationIcon(const QString& path);

#include "pane/APaneInformation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

APaneInformation ReadPaneInformationText(const QString& text)
{
    APaneInformation information;
    for (const QString& line : text.split(u'\n')) {
        const qsizetype equals = line.indexOf(u'=');
        if (line.isEmpty() || line.startsWith(u'#') || equals <= 0)
            continue;
        information.insert(line.left(equals), line.mid(equals + 1));
    }
    return information;
}

std::optional<APaneInformation> ReadPaneInformation(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return ReadPaneInformationText(QString::fromUtf8(file.readAll()));
}

QString DefaultPaneInformationPath()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + u"/../share/nuvexa/"_qs
                           + QString::fromLatin1(kInformationFileName));
}

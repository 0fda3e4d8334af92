#pragma once
// The settings application's own information, which the build writes into
// "settings.info" in share/nuvexa (beside the bin folder, in the build tree
// as in an installation): its version ("CFBundleVersion"), the product's
// version ("NuvexaVersion") and the update service's address
// ("NuvexaAutoUpdateUrl"). The file holds one "key=value" line per key, in
// UTF-8; blank lines and lines starting with "#" are skipped, and neither key
// nor value is trimmed, so that a value is exactly what the build wrote.

#include <QMap>
#include <QString>

#include <optional>

using APaneInformation = QMap<QString, QString>;

inline constexpr const char* kInformationFileName = "settings.info";

APaneInformation ReadPaneInformationText(const QString& text);
// None when the file cannot be read.
std::optional<APaneInformation> ReadPaneInformation(const QString& path);
// share/nuvexa/settings.info relative to the running program.
QString DefaultPaneInformationPath();

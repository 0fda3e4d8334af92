#pragma once
// The update service's answer: an XML document whose root element (any name)
// holds a "latest_build" child with the newest build number as its text and a
// "download_url" child with the disk image's address. Names are compared
// without regard to letter case, other children are skipped, and of a name
// given twice the last one counts. The reading does no I/O; it expands no
// entities beyond XML's own five and reads no DTD, so an answer cannot make
// the reader fetch or grow anything.

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

struct AAutoUpdateAnswer {
    std::optional<int32_t> fLatestBuild;  // none: the answer names no build
    std::optional<QString> fDownloadUrl;
};

// None when the bytes are not a well-formed document with a root element.
std::optional<AAutoUpdateAnswer> ReadAutoUpdateAnswer(QByteArrayView bytes);

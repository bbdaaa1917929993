#pragma once

// Paths crossing between Qt's strings and the file system. A Linux file
// name is bytes in no particular encoding; Qt shows names decoded as UTF-8,
// with U+FFFD for bytes that are not, so a shown name cannot always be
// turned back into the name on disk. Never included by ui/.

#include <QString>
#include <QUrl>

#include <optional>
#include <string>

namespace platform::qt {

// The file-system path of a local file URL, its percent-encoding decoded to
// bytes (never through UTF-8), so a name in any encoding arrives exactly.
// Nothing for a URL of another host or scheme.
std::optional<std::string> LocalPathOfUrl(const QUrl& url);

// The file-system path of an absolute path as Qt shows it. Where a part was
// not UTF-8 on disk it is matched against the folder's entries; it is
// nothing when no entry, or more than one, is shown that way, since taking
// the wrong one would work on another file.
std::optional<std::string> LocalPathOfName(const QString& shown);

}  // namespace platform::qt

#include "platform/backends/qt/paths.h"

#include <dirent.h>

#include <QByteArray>
#include <QFile>
#include <QStringList>

namespace platform::qt {

namespace {

// The one entry of `folder` whose name Qt shows as `shown`, or nothing
// when none or several do (two names in another encoding look alike).
std::optional<std::string> UniqueEntryShownAs(const std::string& folder, const QString& shown) {
    DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
    if (dir == nullptr) return std::nullopt;
    std::optional<std::string> found;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (QFile::decodeName(entry->d_name) == shown) {
            found = entry->d_name;
            ++matches;
        }
    }
    ::closedir(dir);
    return matches == 1 ? found : std::nullopt;
}

}  // namespace

std::optional<std::string> LocalPathOfUrl(const QUrl& url) {
    if (!url.isLocalFile() || !(url.host().isEmpty() || url.host() == QStringLiteral("localhost"))) {
        return std::nullopt;
    }
    const QByteArray encoded = url.path(QUrl::FullyEncoded).toLatin1();
    const QByteArray path = QByteArray::fromPercentEncoding(encoded);
    if (path.isEmpty() || path.contains('\0')) return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> LocalPathOfName(const QString& shown) {
    if (!shown.contains(QChar::ReplacementCharacter)) return QFile::encodeName(shown).toStdString();
    if (!shown.startsWith(QLatin1Char('/'))) return std::nullopt;
    std::string path;
    for (const QString& part : shown.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        std::optional<std::string> bytes = QFile::encodeName(part).toStdString();
        if (part.contains(QChar::ReplacementCharacter)) bytes = UniqueEntryShownAs(path, part);
        if (!bytes) return std::nullopt;
        path += "/" + *bytes;
    }
    return path;
}

}  // namespace platform::qt

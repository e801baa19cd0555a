// The names of an exported copy's files, made from their addresses, and the relative links
// between them.
#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <utility>

namespace crawlmere::archive::detail {

/// A relative path as a link writes it: characters a path cannot hold as they are ("#", "?",
/// "%", spaces, non-ASCII) percent-encoded.
QString linkText(const QString& relative);

/// The local path of a URL with its port, as `stripDomainFrom` gives it (":8080/a/b.html"), with
/// the port's part made into a folder named by host and port ("h.test_8080/a/b.html"): a name
/// without ":" that every common file system takes, and that keeps sites on two ports of one
/// host apart. Other paths are returned as they are.
QString withPortFolder(const QString& local, const QString& url);

/// The link from a file in the folder `from` (components below the copy's root) to the file
/// `to` (its components, the name last): it climbs out of the folders the two do not share and
/// names only the rest ("../about/index.html", "page.html").
QString relativeLink(QStringList from, QStringList to);

/// `stem` and `suffix` as one name, the stem cut (by whole characters) so that the name fits a
/// file system's names.
QString fittedName(QString stem, const QString& suffix);

/// A name split before its extension ("index", ".html"); a long tail after the last "." is no
/// extension.
std::pair<QString, QString> stemAndExtension(const QString& name);

/// A relative path with each name too long for a file system (a long query) cut to fit, its
/// extension kept.
QString withFittedNames(const QString& relative);

/// The names given to files whose own name the copy holds already. Used for one copy, whose
/// files and folders only grow between calls.
class FreeNames {
public:
    /// A file name the copy does not hold yet in the folder of `components`: the name with "-2",
    /// "-3", … before its extension ("index-2.html"), shortened to fit a file system's names; the
    /// first such name that `files` and `folders` do not hold. Suffixes found taken for a name are
    /// not tried again for it, so many files wanting one name are named in linear time.
    QString freeName(const QStringList& components, const QHash<QString, QString>& files, const QSet<QString>& folders);

private:
    QHash<QString, int> firstUntried; // folder and wanted name → the first suffix not known taken
};

} // namespace crawlmere::archive::detail

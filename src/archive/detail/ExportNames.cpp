// The names of an exported copy's files and the relative links between them.
#include "archive/detail/ExportNames.h"

#include "archive/detail/ExportFolder.h"
#include "archive/detail/UrlText.h"
#include "engine/PunycodeAdditions.h"
#include "platform/Strings.h"

#include <algorithm>

namespace crawlmere::archive::detail {

QString linkText(const QString& relative)
{
    return PunycodeAdditions::qfStringByAddingPercentEncodingWithAllowedCharacters(
        relative, PunycodeAdditions::qfURLPathAllowedCharacterSet());
}

QString withPortFolder(const QString& local, const QString& url)
{
    const auto parsed = detail::urlFromText(url);
    if (!parsed || !parsed->port())
        return local;
    const QString port = QString::number(*parsed->port());
    // An IPv6 host leaves its closing bracket in front of the port.
    const qsizetype colon = local.startsWith(u']') ? 1 : 0;
    if (local.mid(colon, port.size() + 1) != u':' + port)
        return local;
    QString host = parsed->host();
    host.replace(u':', u'-');
    return host + u'_' + local.mid(colon + 1);
}

QString relativeLink(QStringList from, QStringList to)
{
    // The folders both paths share are not named: the link holds inside them, so it still
    // leads to its file when one of them (the site's own "host_port") is renamed.
    while (!from.isEmpty() && to.size() > 1 && from.first() == to.first()) {
        from.removeFirst();
        to.removeFirst();
    }
    const QString climb = QStringLiteral("../").repeated(from.size());
    // A first segment holding ":" would read as a scheme ("a:b.html").
    const QString prefix
        = !climb.isEmpty() || to.isEmpty() || !to.first().contains(u':') ? climb : QStringLiteral("./");
    return prefix + linkText(to.join(u'/'));
}

QString fittedName(QString stem, const QString& suffix)
{
    return platform::strings::leftFittingUtf8Bytes(stem, ExportFolder::kMaxComponentBytes - suffix.toUtf8().size())
        + suffix;
}

std::pair<QString, QString> stemAndExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || name.size() - dot > 16)
        return { name, QString() };
    return { name.left(dot), name.mid(dot) };
}

QString withFittedNames(const QString& relative)
{
    QStringList components = relative.split(u'/');
    for (QString& component : components) {
        if (component.toUtf8().size() > ExportFolder::kMaxComponentBytes) {
            const auto [stem, extension] = stemAndExtension(component);
            component = fittedName(stem, extension);
        }
    }
    return components.join(u'/');
}

QString FreeNames::freeName(
    const QStringList& components, const QHash<QString, QString>& files, const QSet<QString>& folders)
{
    const QString folder = components.mid(0, components.size() - 1).join(u'/');
    const QString wanted = folder.isEmpty() ? components.last() : folder + u'/' + components.last();
    const auto [stem, extension] = stemAndExtension(components.last());
    int& n = firstUntried[wanted];
    for (n = std::max(n, 2);; ++n) {
        const QString candidate = fittedName(stem, QStringLiteral("-%1").arg(n) + extension);
        const QString path = folder.isEmpty() ? candidate : folder + u'/' + candidate;
        if (!files.contains(path) && !folders.contains(path))
            return candidate;
    }
}

} // namespace crawlmere::archive::detail

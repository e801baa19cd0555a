// Zip archives through libzip, opened from an in-memory source.
#include "platform/ZipArchive.h"

#include <zip.h>

#include <algorithm>
#include <vector>

namespace crawlmere::platform {

namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};

struct FileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

QString zipErrorText(zip_error_t* error) { return QString::fromUtf8(zip_error_strerror(error)); }

} // namespace

struct ZipArchive::Handle {
    QByteArray bytes; // the buffer source reads these; they must outlive the archive
    std::unique_ptr<zip_t, ArchiveCloser> archive;
};

ZipArchive::ZipArchive(std::unique_ptr<Handle> handle)
    : m_handle(std::move(handle))
{
}

ZipArchive::ZipArchive(ZipArchive&&) noexcept = default;
ZipArchive& ZipArchive::operator=(ZipArchive&&) noexcept = default;

ZipArchive::~ZipArchive()
{
    if (m_handle)
        m_handle->archive.reset(); // before the bytes it reads
}

std::optional<ZipArchive> ZipArchive::fromData(const QByteArray& data, QString* failure)
{
    auto fail = [failure](const QString& reason) {
        if (failure)
            *failure = reason;
        return std::nullopt;
    };
    if (data.isEmpty())
        return fail(QStringLiteral("no data"));

    auto handle = std::make_unique<Handle>();
    handle->bytes = data;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(
        handle->bytes.constData(), static_cast<zip_uint64_t>(handle->bytes.size()), /*freep=*/0, &error);
    if (!source) {
        const QString text = zipErrorText(&error);
        zip_error_fini(&error);
        return fail(text);
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive) {
        // The source stays ours when opening fails.
        zip_source_free(source);
        const QString text
            = zip_error_code_zip(&error) == ZIP_ER_NOZIP ? QStringLiteral("not a zip archive") : zipErrorText(&error);
        zip_error_fini(&error);
        return fail(text);
    }
    zip_error_fini(&error);
    handle->archive.reset(archive);
    return ZipArchive(std::move(handle));
}

ZipArchive::EntryResult ZipArchive::readEntry(const QString& name, qint64 maxBytes) const
{
    EntryResult result;
    auto fail = [&result](EntryError error, const QString& message) {
        result.error = error;
        result.message = message;
        return result;
    };
    if (!m_handle || !m_handle->archive)
        return fail(EntryError::Unreadable, QStringLiteral("archive is not open"));
    zip_t* archive = m_handle->archive.get();
    const QByteArray entryName = name.toUtf8();

    const zip_int64_t index = zip_name_locate(archive, entryName.constData(), ZIP_FL_NOCASE);
    if (index < 0)
        return fail(EntryError::Missing, QStringLiteral("no entry named %1").arg(name));

    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0)
        return fail(EntryError::Unreadable, QStringLiteral("cannot read the header of %1").arg(name));
    const zip_uint64_t cap = static_cast<zip_uint64_t>(std::max<qint64>(maxBytes, 0));
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > cap) {
        return fail(EntryError::TooLarge,
            QStringLiteral("entry %1 holds %2 bytes, more than the %3 bytes allowed")
                .arg(name, QString::number(static_cast<qulonglong>(stat.size)),
                    QString::number(static_cast<qulonglong>(cap))));
    }

    std::unique_ptr<zip_file_t, FileCloser> file(zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0));
    if (!file) {
        return fail(EntryError::Unreadable,
            QStringLiteral("cannot open entry %1: %2").arg(name, zipErrorText(zip_get_error(archive))));
    }

    // The header may lie about the size: read in chunks and give up as soon as the data
    // passes the cap, so memory never holds more than the cap plus one chunk.
    constexpr zip_uint64_t kChunk = 64 * 1024;
    QByteArray bytes;
    if (stat.valid & ZIP_STAT_SIZE)
        bytes.reserve(static_cast<qsizetype>(std::min(stat.size, cap)));
    std::vector<char> chunk(kChunk);
    for (;;) {
        const zip_int64_t got = zip_fread(file.get(), chunk.data(), kChunk);
        if (got < 0) {
            return fail(EntryError::Unreadable,
                QStringLiteral("cannot read entry %1: %2").arg(name, zipErrorText(zip_file_get_error(file.get()))));
        }
        if (got == 0)
            break;
        if (static_cast<zip_uint64_t>(bytes.size()) + static_cast<zip_uint64_t>(got) > cap) {
            return fail(EntryError::TooLarge,
                QStringLiteral("entry %1 holds more than the %2 bytes allowed")
                    .arg(name, QString::number(static_cast<qulonglong>(cap))));
        }
        bytes.append(chunk.data(), static_cast<qsizetype>(got));
    }
    result.bytes = std::move(bytes);
    return result;
}

} // namespace crawlmere::platform

// A zip archive read from bytes in memory, with entries read into memory under a size cap.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

struct zip;

namespace crawlmere::platform {

/// Opened from a copy-on-write share of the caller's bytes; nothing touches the disk. Belongs to
/// one thread at a time.
class ZipArchive {
public:
    /// Why an entry could not be read.
    enum class EntryError {
        Missing, ///< no entry of that name
        TooLarge, ///< the entry claims, or turns out, to hold more than the cap
        Unreadable, ///< encrypted, an unknown compression method, or corrupt data
    };

    /// An entry's bytes, or the reason they could not be read with a message for the log.
    struct EntryResult {
        std::optional<QByteArray> bytes;
        EntryError error = EntryError::Missing; ///< meaningful only without bytes
        QString message; ///< empty with bytes
    };

    /// Opens `data` as a zip archive; nullopt when it is not one (or is damaged beyond reading),
    /// with the reason in `failure` when given.
    static std::optional<ZipArchive> fromData(const QByteArray& data, QString* failure = nullptr);

    ZipArchive(ZipArchive&&) noexcept;
    ZipArchive& operator=(ZipArchive&&) noexcept;
    ~ZipArchive();

    /// The whole content of the entry named `name`, looked up without regard to letter case.
    /// At most `maxBytes` bytes are ever held: an entry whose header states a larger size is
    /// refused before reading, and reading stops with `TooLarge` as soon as the data runs past
    /// the cap, whatever the header said.
    EntryResult readEntry(const QString& name, qint64 maxBytes) const;

private:
    struct Handle;
    explicit ZipArchive(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> m_handle;
};

} // namespace crawlmere::platform

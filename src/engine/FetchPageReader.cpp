// The process-wide page reader of the fetch.
#include "engine/FetchPageReader.h"

#include <mutex>

namespace {

std::mutex& readerLock()
{
    static std::mutex lock;
    return lock;
}

std::shared_ptr<const FetchPageReader>& installedReader()
{
    static std::shared_ptr<const FetchPageReader> reader;
    return reader;
}

} // namespace

FetchPageReader::~FetchPageReader() = default;

void FetchPageReader::install(std::shared_ptr<const FetchPageReader> reader)
{
    std::lock_guard lock(readerLock());
    installedReader() = std::move(reader);
}

std::shared_ptr<const FetchPageReader> FetchPageReader::installed()
{
    std::lock_guard lock(readerLock());
    return installedReader();
}

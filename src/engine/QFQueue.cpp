// The scan's check queue: a first-in-first-out array of URL records read through an offset.
#include "engine/QFQueue.h"

#include "engine/CrwlUrl.h"

QFQueue::QFQueue(qsizetype capacity)
{
    if (capacity > 0)
        collection.reserve(capacity);
}

void QFQueue::addObject(Item record)
{
    if (record)
        collection.append(std::move(record));
}

QFQueue::Item QFQueue::popObject()
{
    if (offset >= collection.size())
        return nullptr;
    return collection.at(offset++);
}

qsizetype QFQueue::count() const
{
    const qsizetype waiting = collection.size() - offset;
    return waiting > 0 ? waiting : 0;
}

void QFQueue::removeAllObjects()
{
    collection.clear();
    offset = 0;
}

bool QFQueue::isWaiting(const CrwlUrl& record) const
{
    for (qsizetype index = offset; index < collection.size(); ++index) {
        if (collection[index].get() == &record)
            return true;
    }
    return false;
}

QList<QFQueue::Item> QFQueue::waitingObjects() const
{
    if (offset >= collection.size())
        return {};
    return collection.mid(offset);
}

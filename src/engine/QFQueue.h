// The scan's check queue: a first-in-first-out array of URL records read through an offset, so
// popping never shifts or frees anything during a scan.
#pragma once

#include <QList>
#include <QtGlobal>

#include <memory>

class CrwlUrl;

/// Records are handed out in the order they were added. A popped record stays in the array
/// (and alive) until `removeAllObjects`, so popping is an index increment. Main thread only.
class QFQueue {
public:
    using Item = std::shared_ptr<CrwlUrl>;

    /// initWithCapacity: an empty queue with room for `capacity` records.
    explicit QFQueue(qsizetype capacity = 0);

    /// Appends at the tail. A null record is refused.
    void addObject(Item record);
    /// The record at the offset (the offset then advances); null when nothing is waiting, and
    /// the offset stays.
    Item popObject();
    /// Records waiting: the array's count minus the offset, never below 0.
    qsizetype count() const;
    /// Empties the array and sets the offset to 0.
    void removeAllObjects();

    /// Every record ever added since the last `removeAllObjects`, popped ones included.
    qsizetype totalCount() const { return collection.size(); }
    /// The records still waiting, in the order they will be popped.
    QList<Item> waitingObjects() const;
    /// Whether `record` is among the records still waiting (a linear search).
    bool isWaiting(const CrwlUrl& record) const;

private:
    QList<Item> collection;
    qsizetype offset = 0;
};

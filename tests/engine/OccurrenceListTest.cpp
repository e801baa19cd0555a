// The occurrence lists and arena: a list of plain pointers keeps what it holds
// alive as a list of shared pointers would, whether the occurrences come from
// the hub's arena or were made alone.
#include "engine/detail/OccurrenceList.h"
#include "engine/detail/OccurrenceArena.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"

#include <gtest/gtest.h>

#include <vector>

using crawlmere::engine::detail::OccurrenceArena;
using crawlmere::engine::detail::OccurrenceList;

namespace {

using Ptr = std::shared_ptr<CrwlLinkInstance>;

Ptr named(Ptr occurrence, const char *text) {
  occurrence->setLinkText(QString::fromLatin1(text));
  return occurrence;
}

} // namespace

TEST(OccurrenceList, ReadsBackWhatWasAddedInOrderAndKeepsItAlive) {
  // Arena occurrences, occurrences made alone, and the two mixed, with a null
  // entry.
  struct Case {
    const char *name;
    int fromArena, alone;
  };
  for (const Case &c :
       {Case{"arena", 3, 0}, Case{"alone", 0, 3}, Case{"mixed", 2, 2}}) {
    SCOPED_TRACE(c.name);
    std::vector<std::weak_ptr<CrwlLinkInstance>> watched;
    std::vector<CrwlLinkInstance *> added;
    OccurrenceList list;
    {
      OccurrenceArena arena;
      std::vector<Ptr> made;
      for (int i = 0; i < c.fromArena; ++i)
        made.push_back(named(arena.make(), "arena"));
      for (int i = 0; i < c.alone; ++i)
        made.push_back(named(CrwlLinkInstance::make(), "alone"));
      made.insert(made.begin() + 1, nullptr);
      for (const Ptr &occurrence : made) {
        list.push_back(occurrence);
        added.push_back(occurrence.get());
        watched.push_back(occurrence);
      }
    } // the arena and every other holder let go: the list alone keeps them

    ASSERT_EQ(list.size(), added.size());
    std::size_t i = 0;
    for (const Ptr &occurrence : list) {
      EXPECT_EQ(occurrence.get(), added[i]);
      if (occurrence) {
        EXPECT_FALSE(occurrence->getLinkText().isEmpty());
      }
      ++i;
    }
    EXPECT_EQ(list[1], nullptr);
    EXPECT_EQ(list.front().get(), added.front());
    EXPECT_EQ(list.toVector().size(), added.size());
    for (std::size_t j = 0; j < watched.size(); ++j)
      EXPECT_EQ(watched[j].expired(), added[j] == nullptr) << j;

    // What is read out keeps the occurrence alive after the list lets go.
    const Ptr kept = list.back();
    list.erase(added.back());
    EXPECT_EQ(list.size(), added.size() - 1);
    EXPECT_EQ(kept->getLinkText(),
              QString::fromLatin1(c.alone ? "alone" : "arena"));
    const std::vector<Ptr> taken = list.take();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(taken.size(), added.size() - 1);
  }
}

TEST(OccurrenceList, OccurrencesMadeAloneGoWithTheirLastHolder) {
  std::weak_ptr<CrwlLinkInstance> first, second;
  {
    OccurrenceList list;
    {
      const Ptr a = CrwlLinkInstance::make();
      const Ptr b = CrwlLinkInstance::make();
      first = a;
      second = b;
      list.push_back(a);
      list.push_back(b);
    }
    EXPECT_FALSE(first.expired());
    EXPECT_FALSE(second.expired());
    // One taken out goes at once unless it is the one the list shares its
    // counts with.
    list.erase(second.lock().get());
    EXPECT_TRUE(second.expired());
    EXPECT_FALSE(first.expired());
  }
  EXPECT_TRUE(first.expired());
}

TEST(OccurrenceArena, ListsWhatItMadeInOrderButWhatWasTakenOut) {
  OccurrenceArena arena;
  EXPECT_TRUE(arena.empty());
  std::vector<Ptr> made;
  const int count = OccurrenceArena::kChunkSlots + 5;
  for (int i = 0; i < count; ++i) {
    made.push_back(arena.make());
    made.back()->setLineNumber(i);
  }
  ASSERT_EQ(arena.size(), std::size_t(count));
  EXPECT_EQ(arena[count - 1]->getLineNumber(), count - 1);
  EXPECT_EQ(arena.front().get(), made.front().get());

  // Taken out of the list, but alive while held; made afterwards, at the end.
  const std::weak_ptr<CrwlLinkInstance> taken = made[3];
  arena.takeOutIf([](const CrwlLinkInstance *occurrence) {
    return occurrence->getLineNumber() % 2 == 1;
  });
  Ptr last = arena.make();
  last->setLineNumber(count);
  EXPECT_EQ(arena.size(), std::size_t(count / 2 + 2));
  EXPECT_EQ((arena.begin() + 2) - arena.begin(), 2);
  EXPECT_EQ((*(arena.begin() + 2))->getLineNumber(), 4);
  EXPECT_EQ(arena[arena.size() - 1].get(), last.get());
  EXPECT_EQ(made[3]->getLineNumber(), 3);

  // Cleared, the list is empty and the occurrences go with their last holder.
  OccurrenceList kept;
  kept.push_back(made[3]);
  made.clear();
  arena.clear();
  EXPECT_TRUE(arena.empty());
  EXPECT_FALSE(taken.expired());
  EXPECT_EQ(last->getLineNumber(), count);
  kept.clear();
  EXPECT_FALSE(taken.expired()); // `last` still holds them
  last.reset();
  EXPECT_TRUE(taken.expired());
}

TEST(OccurrenceList, HoldsArenaOccurrencesFromAnyChunkInAnyOrder) {
  // Lists mostly take the newest occurrence; an inbound list replayed later
  // takes old ones from every chunk, and each must read back as itself.
  OccurrenceArena arena;
  std::vector<Ptr> made;
  for (int i = 0; i < 3 * OccurrenceArena::kChunkSlots + 7; ++i)
    made.push_back(arena.make());
  OccurrenceList list;
  std::vector<Ptr> added;
  for (std::size_t i = 0; i < made.size(); i += 97)
    added.push_back(made[made.size() - 1 - i]);
  added.push_back(made.front());
  added.push_back(made[OccurrenceArena::kChunkSlots]);
  for (const Ptr &occurrence : added)
    list.push_back(occurrence);
  EXPECT_TRUE(list == added);
}

TEST(OccurrenceList, ARunOfPlacesReadsAsItsEntriesWhateverFollowsIt) {
  // A page's links are made one after another; a list of them is held as one
  // run until an entry that does not follow on, a null, an occurrence made
  // alone or a removal breaks it. Each case must read back as a plain list.
  OccurrenceArena arena;
  std::vector<Ptr> made;
  for (int i = 0; i < OccurrenceArena::kChunkSlots + 8; ++i)
    made.push_back(arena.make());
  const Ptr alone = CrwlLinkInstance::make();
  constexpr int kNull = -1, kAlone = -2, kEraseSecond = -3;
  const int edge = OccurrenceArena::kChunkSlots - 2;
  struct Case {
    const char *name;
    std::vector<int> steps; // places in the arena, or one of the above
  };
  const Case cases[] = {
      {"run", {3, 4, 5, 6}},
      {"across chunks", {edge, edge + 1, edge + 2, edge + 3}},
      {"jump", {0, 1, 2, 7, 8}},
      {"back", {5, 6, 7, 4}},
      {"repeat", {1, 2, 2, 3}},
      {"null", {1, 2, kNull, 3}},
      {"alone", {1, 2, kAlone, 3}},
      {"erased, then on", {1, 2, 3, kEraseSecond, 4}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    OccurrenceList list;
    std::vector<Ptr> expected;
    for (const int step : c.steps) {
      if (step == kEraseSecond) {
        list.erase(expected[1].get());
        expected.erase(expected.begin() + 1);
        continue;
      }
      const Ptr next = step == kNull    ? nullptr
                       : step == kAlone ? alone
                                        : made[std::size_t(step)];
      list.push_back(next);
      expected.push_back(next);
    }
    EXPECT_TRUE(list == expected);
    EXPECT_EQ(list.back(), expected.back());
    const OccurrenceList copy = list;
    EXPECT_TRUE(copy == expected);
    OccurrenceList moved = std::move(list);
    EXPECT_TRUE(moved == expected);
    EXPECT_TRUE(list.empty()); // NOLINT(bugprone-use-after-move)
    list.push_back(made[0]);
    EXPECT_TRUE(list == std::vector<Ptr>{made[0]});
  }
}

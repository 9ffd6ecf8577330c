// Words by counter id: every id answers the word last set for it (0 when
// never set), whether it sits in the vector or in the hash table, also
// after the vector has grown over ids kept in the hash table, and after
// clear.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "bo/cp/CpIdWords.h"

TEST(CpIdWords, AnswersAsAMapOfTheWordsSet)
{
    for (std::size_t spread : {2u, 64u}) {
        std::mt19937 random(7);
        CpIdWords words(spread);
        std::map<uint32_t, uint32_t> model;
        auto check = [&] {
            for (const auto& [id, word] : model) ASSERT_EQ(words.get(id), word) << id;
            EXPECT_EQ(words.get(0xFFFFFFFEu), 0u);
        };
        // Rising dense ids with far ones between them (kept aside first,
        // then covered as the vector grows), some set again.
        uint32_t next = 0;
        for (int i = 0; i < 4000; ++i) {
            const uint32_t r = random() % 10;
            const uint32_t id = r == 0 ? next + 3000 + random() % 5000 : r == 1 && next > 0 ? random() % next : next++;
            const uint32_t word = random() % 3 == 0 ? 0 : random();
            words.set(id, word);
            model[id] = word;
        }
        check();
        words.clear();
        for (const auto& [id, word] : model) EXPECT_EQ(words.get(id), 0u) << id;
        words.set(5, 9);
        EXPECT_EQ(words.get(5), 9u);
    }
}

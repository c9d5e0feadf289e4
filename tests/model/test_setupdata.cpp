#include "SessionFixtures.h"
#include "Setupdata.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

namespace {

using Fixtures::Message;

TTargetSetup MakeSetup(int tag, bool withDescriptions = true)
{
    TTargetSetup s;
    if (withDescriptions)
        s.descriptions = QStringList { QString::number(tag), "line 2" };
    s.target.silhouetteMatrix.b[4000] = uint8_t(tag);
    s.blocks.b[0] = uint8_t(tag);
    return s;
}

std::vector<int> Tags(const TSetupHandler& list)
{
    std::vector<int> tags;
    for (int i = 0; i < list.Count(); ++i) {
        const TTargetSetup* s = list.Get(i);
        EXPECT_EQ(s->target.silhouetteMatrix.b[4000], s->blocks.b[0]);
        if (s->descriptions) {
            EXPECT_EQ(s->descriptions->at(0), QString::number(s->blocks.b[0]));
        }
        tags.push_back(s->blocks.b[0]);
    }
    return tags;
}

TEST(SetupHandlerTest, Capacity)
{
    TSetupHandler list;
    EXPECT_EQ(list.Capacity(), 20);
    for (int i = 0; i < 21; ++i)
        list.Add(MakeSetup(i));
    EXPECT_EQ(std::tuple(list.Capacity(), Tags(list).size(), Tags(list)[20]), std::tuple(40, 21u, 20));

    list.SetCapacity(2); // drops the rest
    EXPECT_EQ(Tags(list), (std::vector<int> { 0, 1 }));
    list.SetCapacity(-5);
    EXPECT_EQ(list.Capacity(), 0);
    list.Add(MakeSetup(9)); // a list of capacity 0 must still grow
    list.Add(*list.Get(0)); // the source lives in the array being regrown
    EXPECT_EQ(Tags(list), (std::vector<int> { 9, 9 }));
}

TEST(SetupHandlerTest, DeleteSwapAndBadIndexes)
{
    TSetupHandler list;
    for (int i = 1; i <= 4; ++i)
        list.Add(MakeSetup(i));
    list.Delete(3);
    list.Delete(0);
    EXPECT_EQ(Tags(list), (std::vector<int> { 2, 3 }));
    list.Swap(0, 1);
    list.Swap(1, 1);
    EXPECT_EQ(Tags(list), (std::vector<int> { 3, 2 }));

    EXPECT_EQ((QStringList { Message([&] { list.Get(2); }), Message([&] { std::as_const(list).Get(-1); }),
                             Message([&] { list.Delete(-1); }), Message([&] { list.Swap(0, 2); }) }),
              (QStringList { "Bad target setup index", "Bad target setup index", "Bad index", "Bad index" }));
    EXPECT_EQ(Message([&] { list.Swap(5, 5); }), "Bad index"); // inside the capacity, past the count
    EXPECT_EQ(Tags(list), (std::vector<int> { 3, 2 }));
}

TEST(SetupHandlerTest, CopiesAreDeepAndKeepNullLists)
{
    TTargetSetup withLines = MakeSetup(1);
    withLines.extraLines = QStringList { "x" };
    TSetupHandler list;
    list.Add(withLines);
    list.Add(MakeSetup(2, false));
    list.Delete(0); // copied over an entry that had lines
    EXPECT_FALSE(list.Get(0)->descriptions.has_value());
    EXPECT_FALSE(list.Get(0)->extraLines.has_value());

    list.Add(withLines);
    withLines.descriptions->append("later");
    withLines.extraLines->clear();
    EXPECT_EQ(std::tuple(list.Get(1)->descriptions->size(), list.Get(1)->extraLines->size()), std::tuple(2, 1));
}

TEST(SetupDataTest, ZoneMapsAreAllocatedWhenWritten)
{
    // A slot costs its 4 KB map only once written; an untouched one reads
    // as zero. Copies are deep and take over which slots are allocated.
    DeviceSetup t;
    EXPECT_EQ(std::as_const(t).silhouetteMatrices[3], SilhouetteMatrix {});
    EXPECT_FALSE(t.silhouetteMatrices.Allocated(3));
    t.silhouetteMatrices[3].SetCell(1, 2, 3);
    EXPECT_TRUE(t.silhouetteMatrices.Allocated(3));

    DeviceSetup other;
    other.silhouetteMatrices[7].SetCell(0, 0, 1);
    other = t;
    EXPECT_FALSE(other.silhouetteMatrices.Allocated(7));
    other.silhouetteMatrices[3].SetCell(1, 2, 1);
    EXPECT_EQ(std::tuple(t.silhouetteMatrices[3].Cell(1, 2), DeviceSetup(t).silhouetteMatrices[3].Cell(1, 2)), std::tuple(3, 3));

    t.Clear();
    EXPECT_FALSE(t.silhouetteMatrices.Allocated(3));
    EXPECT_EQ(std::as_const(t).silhouetteMatrices[3], SilhouetteMatrix {});
    EXPECT_THROW(std::as_const(t).silhouetteMatrices[16], std::out_of_range);
}

} // namespace

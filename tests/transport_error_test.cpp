#include "admin/transport_error.h"

#include "eventlog/eventlog.h"

#include "fake_eventlog.h"
#include "fake_platform.h"
#include "fake_vyx.h"
#include "tests/support/process_state.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace
{
// How the library answers one item read.
struct ItemAnswer
{
    bool writes;
    int value;
    int result;
};

ItemAnswer Stores(int value)
{
    return ItemAnswer{true, value, 0};
}

// A read that fails and leaves the caller's value as it was.
const ItemAnswer NOTHING_STORED = {false, 0, VYX_INVALID_HANDLE};

struct Case
{
    const char *name;
    int code;
    VYXHANDLE handle;
    std::vector<ItemAnswer> answers;
    std::string message;
    std::vector<int> itemsRead;
};

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

class ReportTransportErrorTest : public ::testing::TestWithParam<Case>
{
  protected:
    void SetUp() override
    {
        FakePlatformReset();
        SetNtFamily();
    }
};

TEST_P(ReportTransportErrorTest, LogsOneEventReadingOnlyTheItemsItNeeds)
{
    const Case &c = GetParam();
    for (const ItemAnswer &a : c.answers)
    {
        if (a.writes)
        {
            FakeVyxPushItem(a.value, a.result);
        }
        else
        {
            FakeVyxPushItemUnwritten(a.result);
        }
    }
    // Anything read beyond the script would store a value that shows up.
    FakeVyxAnswer stray = {0, true, 555, ""};
    FakeVyxSetDefaultAnswer(FAKE_VYX_GET_ITEM, stray);

    ReportTransportError(c.code, c.handle);

    std::vector<FakeEvent> events = FakeEvents();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(EVENTLOG_ERROR_TYPE, events[0].type);
    EXPECT_THAT(FakeEventMessages(), ElementsAre(c.message));

    std::vector<int> itemsRead;
    for (const FakeVyxCall &call : FakeVyxCalls())
    {
        ASSERT_EQ(FAKE_VYX_GET_ITEM, call.op);
        EXPECT_EQ(c.handle, call.handle);
        EXPECT_NE(nullptr, call.valueOut);
        itemsRead.push_back(call.item);
    }
    EXPECT_THAT(itemsRead, ElementsAreArray(c.itemsRead));
}

const std::vector<int> NONE = {};
const std::vector<int> KIND = {CI_LAST_ERROR_KIND};
const std::vector<int> KIND_AND_NUMBER = {CI_LAST_ERROR_KIND, CI_LAST_SYSTEM_ERROR};

INSTANTIATE_TEST_SUITE_P(
    Codes, ReportTransportErrorTest,
    ::testing::Values(
        Case{"InvalidParam", VYX_INVALID_PARAM, 7, {}, "VYX_INVALID_PARAM", NONE},
        Case{"InvalidHandle", VYX_INVALID_HANDLE, 7, {}, "VYX_INVALID_HANDLE", NONE},
        Case{"Zero", 0, 7, {}, "Unknown VYX ERROR", NONE},
        Case{"MinusTwo", -2, 7, {}, "Unknown VYX ERROR", NONE},
        Case{"MinusFive", -5, 7, {}, "Unknown VYX ERROR", NONE},
        Case{"One", 1, 7, {}, "Unknown VYX ERROR", NONE},
        Case{"Largest", INT_MAX, 7, {}, "Unknown VYX ERROR", NONE},
        Case{"Smallest", INT_MIN, 7, {}, "Unknown VYX ERROR", NONE},
        Case{"Kind3", VYX_ERROR, 7, {Stores(3)}, "VYX_ERROR = 3", KIND},
        Case{"KindMinus7", VYX_ERROR, 7, {Stores(-7)}, "VYX_ERROR = -7", KIND},
        Case{"KindSmallest", VYX_ERROR, 7, {Stores(INT_MIN)}, "VYX_ERROR = -2147483648", KIND},
        Case{"System2",
             VYX_ERROR,
             7,
             {Stores(16), Stores(2)},
             "VYX_SYSTEM_ERROR = 2",
             KIND_AND_NUMBER},
        Case{"System0",
             VYX_ERROR,
             7,
             {Stores(16), Stores(0)},
             "VYX_SYSTEM_ERROR = 0",
             KIND_AND_NUMBER},
        Case{"SystemNineDigits",
             VYX_ERROR,
             7,
             {Stores(16), Stores(-99999999)},
             "VYX_SYSTEM_ERROR = -99999999",
             KIND_AND_NUMBER},
        Case{"SystemBillion",
             VYX_ERROR,
             7,
             {Stores(16), Stores(1000000000)},
             "VYX_SYSTEM_ERROR = 1000000000",
             KIND_AND_NUMBER},
        Case{"SystemSmallest",
             VYX_ERROR,
             7,
             {Stores(16), Stores(INT_MIN)},
             "VYX_SYSTEM_ERROR = -2147483648",
             KIND_AND_NUMBER},
        Case{"SystemLargest",
             VYX_ERROR,
             7,
             {Stores(16), Stores(INT_MAX)},
             "VYX_SYSTEM_ERROR = 2147483647",
             KIND_AND_NUMBER},
        // After a failed create the empty handle reaches the reads unchanged,
        // and a read that stores nothing leaves what the value held before.
        Case{"KindUnwritten", VYX_ERROR, 0, {NOTHING_STORED}, "VYX_ERROR = -1", KIND},
        Case{"NumberUnwritten",
             VYX_ERROR,
             0,
             {Stores(16), NOTHING_STORED},
             "VYX_SYSTEM_ERROR = 16",
             KIND_AND_NUMBER}),
    [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });
} // namespace

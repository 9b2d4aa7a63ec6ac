#include "eventlog/messages.h"

#include <gtest/gtest.h>

#include <cstring>

// The two status-report texts differ only in their tail; callers and
// administrators tell the reporter apart by it.
TEST(Catalogue, StatusReportTextsKeepTheirDistinctTails)
{
    EXPECT_STREQ("SetServiceStatus() ", MSG_REPORT_STATUS_FAILED);
    EXPECT_EQ(' ', MSG_REPORT_STATUS_FAILED[std::strlen(MSG_REPORT_STATUS_FAILED) - 1]);
    EXPECT_STRNE(MSG_REPORT_STATUS_FAILED, MSG_HANDLER_STATUS_FAILED);
}

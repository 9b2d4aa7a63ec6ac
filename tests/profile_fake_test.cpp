// The profile fake stands in for the real profile reader in every stop test;
// a wrong answer here would make those tests prove the wrong thing.
#include "fake_platform.h"
#include "fake_profile.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>

#include <string>

namespace
{
class ProfileFake : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        FakePlatformReset();
        ASSERT_TRUE(dir_.Create("tavrin-ini"));
        path_ = dir_.Path() + "/config.ini";
    }
    void Write(const std::string &bytes)
    {
        ASSERT_TRUE(WriteFileBytes(path_, bytes));
    }
    std::string Get(const char *section, const char *key, const char *def, DWORD size,
                    DWORD *result)
    {
        char buffer[64];
        memset(buffer, 'X', sizeof buffer);
        *result = GetPrivateProfileStringA(section, key, def, buffer, size, path_.c_str());
        return std::string(buffer, strnlen(buffer, sizeof buffer));
    }

    TempDir dir_;
    std::string path_;
};

struct LookupCase
{
    const char *name;
    const char *file; // null: no file at all
    DWORD size;
    const char *expected;
};

TEST_F(ProfileFake, FindsValuesByTheDocumentedRules)
{
    const LookupCase cases[] = {
        {"no file", nullptr, 8, "dflt"},
        {"no section", "[OTHER]\nPort=1\n", 8, "dflt"},
        {"no key", "[Admin]\nOther=1\n", 8, "dflt"},
        {"plain", "[Admin]\nPort=1234\n", 8, "1234"},
        {"names ignore case", "[aDMIN]\nport=1234\n", 8, "1234"},
        {"blanks around name, key and value", "  [ Admin ]  \r\n \tPort \t=  12 34 \t\r\n", 8,
         "12 34"},
        {"empty value is not the default", "[Admin]\nPort=\n", 8, ""},
        {"key without '=' gives the default", "[Admin]\nPort\n", 8, "dflt"},
        {"key without '=' hides a later one", "[Admin]\nPort\nPort=1\n", 8, "dflt"},
        {"double quotes removed", "[Admin]\nPort=\" 42 \"\n", 8, " 42 "},
        {"single quotes removed", "[Admin]\nPort='42'\n", 8, "42"},
        {"unmatched quote kept", "[Admin]\nPort=\"42\n", 8, "\"42"},
        {"cut to size - 1", "[Admin]\nPort=123456789\n", 8, "1234567"},
        {"size 1 leaves only the terminator", "[Admin]\nPort=1\n", 1, ""},
        {"key in a later section ignored", "[Admin]\nA=1\n[Next]\nPort=2\n", 8, "dflt"},
        {"first of two sections", "[Admin]\nPort=1\n[Admin]\nPort=2\n", 8, "1"},
        {"first of two keys", "[Admin]\nPort=1\nPort=2\n", 8, "1"},
        {"no final line break", "[Admin]\nPort=77", 8, "77"},
    };
    for (const LookupCase &c : cases)
    {
        SCOPED_TRACE(c.name);
        unlink(path_.c_str());
        if (c.file != nullptr)
        {
            Write(c.file);
        }
        DWORD result = 0;
        EXPECT_EQ(c.expected, Get("Admin", "Port", "dflt", c.size, &result));
        EXPECT_EQ(strlen(c.expected), result);
    }
}

TEST_F(ProfileFake, DefaultLosesTrailingBlanksAndNullMeansEmpty)
{
    DWORD result = 0;
    EXPECT_EQ("8189", Get("Admin", "Port", "8189  ", 8, &result));
    EXPECT_EQ(4u, result);
    EXPECT_EQ("", Get("Admin", "Port", nullptr, 8, &result));
    EXPECT_EQ(0u, result);
    EXPECT_EQ("1234567", Get("Admin", "Port", "123456789", 8, &result));
    EXPECT_EQ(7u, result);
}

TEST_F(ProfileFake, RecordsEachCall)
{
    Write("[Admin]\nPort=99\n");
    DWORD result = 0;
    Get("Admin", "Port", "8189", 8, &result);
    std::vector<FakeProfileCall> calls = FakeProfileCalls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("Admin", calls[0].section);
    EXPECT_EQ("Port", calls[0].key);
    EXPECT_EQ("8189", calls[0].defaultValue);
    EXPECT_EQ(8u, calls[0].size);
    EXPECT_EQ(path_, calls[0].fileName);
    EXPECT_EQ("99", calls[0].returned);
    EXPECT_EQ(2u, calls[0].result);
}
} // namespace

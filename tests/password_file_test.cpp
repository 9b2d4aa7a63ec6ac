#include "admin/password_file.h"

#include "fake_platform.h"
#include "fake_system.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace
{
class PasswordFile : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        FakePlatformReset();
        ASSERT_TRUE(dir_.Create("tavrin-pw"));
        path_ = dir_.Path() + "/pw.fil";
    }
    void Write(const std::string &bytes)
    {
        ASSERT_TRUE(WriteFileBytes(path_, bytes));
    }

    TempDir dir_;
    std::string path_;
};

struct TextCase
{
    const char *name;
    std::string file;
    std::string password;
};

std::string Repeat(const std::string &piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
    {
        text += piece;
    }
    return text;
}

// Each case goes through a real file, so both the translation and the way the
// file is read are on trial.
TEST_F(PasswordFile, ReadsTextByTextModeRules)
{
    const TextCase cases[] = {
        {"empty file", "", ""},
        {"CR LF line", "secret\r\n", "secret\n"},
        {"lines joined by LF", "one\r\ntwo\r\nthree", "one\ntwo\nthree"},
        {"bare LF kept", "a\nb\n", "a\nb\n"},
        {"lone CR kept", "a\rb", "a\rb"},
        {"CR at end of file kept", "ab\r", "ab\r"},
        {"CR before CR LF", "a\r\r\nb", "a\r\nb"},
        {"Ctrl-Z ends the text",
         "ab\x1A"
         "cd\r\n",
         "ab"},
        {"Ctrl-Z first",
         "\x1A"
         "abc",
         ""},
        {"NUL ends the text", std::string("ab\0cd", 5), "ab"},
        {"quotes and blanks kept", " \"pw\" ", " \"pw\" "},
        {"high bytes kept", "\xE9\xFF", "\xE9\xFF"},
        {"256 characters", Repeat("p", 256), Repeat("p", 256)},
        {"300 characters cut to 256", Repeat("p", 300), Repeat("p", 256)},
        // Counted after translation: 256 line breaks take 512 bytes of file.
        {"256 CR LF pairs", Repeat("\r\n", 300), Repeat("\n", 256)},
        {"last character from a CR LF", Repeat("p", 255) + "\r\nq", Repeat("p", 255) + "\n"},
        {"CR as the 256th character", Repeat("p", 255) + "\rq", Repeat("p", 255) + "\r"},
    };
    for (const TextCase &c : cases)
    {
        SCOPED_TRACE(c.name);
        Write(c.file);
        char password[PASSWORD_BUFFER_SIZE];
        memset(password, 'X', sizeof password);
        ASSERT_TRUE(ReadPasswordFile(path_.c_str(), password));
        EXPECT_EQ(c.password, std::string(password));
    }
}

TEST_F(PasswordFile, MissingFileLeavesBufferUntouched)
{
    char password[PASSWORD_BUFFER_SIZE];
    memset(password, 'X', sizeof password);
    EXPECT_FALSE(ReadPasswordFile(path_.c_str(), password));
    EXPECT_EQ(std::string(sizeof password, 'X'), std::string(password, sizeof password));
}

// The raw bytes hold the password too and must not outlive the read.
TEST_F(PasswordFile, WipesItsOwnCopyOfTheFile)
{
    Write("secret\r\n");
    char password[PASSWORD_BUFFER_SIZE];
    ASSERT_TRUE(ReadPasswordFile(path_.c_str(), password));
    std::vector<FakeWipe> wipes = FakeWipes();
    ASSERT_EQ(1u, wipes.size());
    EXPECT_GE(wipes[0].length, 2 * PASSWORD_MAX_CHARS);
}

TEST(TranslateTextBytes, StoresNoMoreThanAskedAndNoTerminator)
{
    char text[4] = {'X', 'X', 'X', 'X'};
    EXPECT_EQ(3u, TranslateTextBytes("a\r\nbcd", 6, text, 3));
    EXPECT_EQ(std::string("a\nbX"), std::string(text, 4));
    EXPECT_EQ(0u, TranslateTextBytes("abc", 3, text, 0));
}
} // namespace

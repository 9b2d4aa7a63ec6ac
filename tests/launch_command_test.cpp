#include "launch/launch.h"

#include "eventlog/eventlog.h"
#include "fake_eventlog.h"
#include "fake_platform.h"
#include "fake_process.h"
#include "fake_registry.h"

#include <gtest/gtest.h>

#include <string.h>

#include <ostream>
#include <string>
#include <vector>

namespace
{
const char KEY[] = "Software\\Lumora\\Tavrin";
const char UNTOUCHED = '#';

void Store(const char *name, const std::string &text)
{
    FakeRegSetString(HKEY_LOCAL_MACHINE, KEY, name, text.c_str());
}

void StoreUnterminated(const char *name, const std::string &text)
{
    FakeRegSetValue(HKEY_LOCAL_MACHINE, KEY, name, REG_SZ, text.data(), text.size());
}

void StoreSettings(const std::string &dir, const std::string &name, const std::string &options)
{
    Store("InstallDir", "C:\\tavrin");
    Store("JavaDir", dir);
    Store("JavaName", name);
    Store("JavaOptions", options);
}

// The caller's two buffers at exactly their sizes, filled as each caller
// fills them.
struct Launch
{
    char commandLine[LAUNCH_COMMAND_SIZE];
    char workDir[LAUNCH_DIR_SIZE];

    Launch()
    {
        memset(commandLine, 0, sizeof(commandLine));
        memset(workDir, 0, sizeof(workDir));
    }

    LONG Build()
    {
        return BuildLaunchCommand(commandLine, workDir);
    }
};

class LaunchCommand : public testing::Test
{
  protected:
    void SetUp() override
    {
        FakePlatformReset();
        g_osVersion.dwPlatformId = VER_PLATFORM_WIN32_NT;
    }
};

struct LineCase
{
    const char *label;
    const char *dir;
    const char *name;
    const char *options;
    const char *line;
};

// Failures name the case rather than dumping its bytes.
void PrintTo(const LineCase &c, std::ostream *os)
{
    *os << c.label;
}

class CommandLine : public LaunchCommand, public testing::WithParamInterface<LineCase>
{
};

TEST_P(CommandLine, IsComposedByteForByte)
{
    StoreSettings(GetParam().dir, GetParam().name, GetParam().options);
    Launch launch;

    ASSERT_EQ(ERROR_SUCCESS, launch.Build());
    EXPECT_STREQ(GetParam().line, launch.commandLine);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLine,
    testing::Values(
        LineCase{"Usual", "C:\\java\\bin", "java.exe", "-Xmx64m -Dfile.encoding=Cp1252",
                 "C:\\java\\bin\\java.exe -Xmx64m -Dfile.encoding=Cp1252 com.lumora.api.Tavrin"},
        LineCase{"EmptyOptionsLeaveTwoBlanks", "C:\\java\\bin", "java.exe", "",
                 "C:\\java\\bin\\java.exe  com.lumora.api.Tavrin"},
        LineCase{"EmptyJavaDir", "", "java.exe", "-Xrs", "\\java.exe -Xrs com.lumora.api.Tavrin"},
        LineCase{"EmptyJavaName", "C:\\java\\bin", "", "-Xrs",
                 "C:\\java\\bin\\ -Xrs com.lumora.api.Tavrin"},
        LineCase{"TrailingBackslash", "C:\\java\\bin\\", "java.exe", "-Xrs",
                 "C:\\java\\bin\\\\java.exe -Xrs com.lumora.api.Tavrin"},
        // Options go in exactly as read, blanks, quotes and all.
        LineCase{"OptionsAsRead", "C:\\java\\bin", "java.exe", " \"-Dx=a b\"\t",
                 "C:\\java\\bin\\java.exe  \"-Dx=a b\"\t com.lumora.api.Tavrin"},
        // A path with a blank or tab would be split by the program search.
        LineCase{"BlankQuoted", "C:\\Program Files\\Java\\bin", "java.exe", "-Xrs",
                 "\"C:\\Program Files\\Java\\bin\\java.exe\" -Xrs com.lumora.api.Tavrin"},
        LineCase{"TabQuoted", "C:\\java\\bin", "ja\tva.exe", "-Xrs",
                 "\"C:\\java\\bin\\ja\tva.exe\" -Xrs com.lumora.api.Tavrin"},
        LineCase{"BlankInNameOnlyQuoted", "C:\\java", "my java.exe", "",
                 "\"C:\\java\\my java.exe\"  com.lumora.api.Tavrin"},
        // Quotes already in the path are the administrator's own quoting.
        LineCase{"AlreadyQuotedLeftAlone", "\"C:\\Program Files\\Java\\bin", "java.exe\"", "-Xrs",
                 "\"C:\\Program Files\\Java\\bin\\java.exe\" -Xrs com.lumora.api.Tavrin"},
        LineCase{"QuoteWithoutBlankLeftAlone", "C:\\java\\bin", "ja\"va.exe", "-Xrs",
                 "C:\\java\\bin\\ja\"va.exe -Xrs com.lumora.api.Tavrin"}),
    [](const testing::TestParamInfo<LineCase> &info) { return info.param.label; });

TEST_F(LaunchCommand, MidLengthSettingsGiveA142CharacterLine)
{
    std::string dir(60, 'd'), name(8, 'n'), options(50, 'o');
    StoreSettings(dir, name, options);
    Launch launch;

    ASSERT_EQ(ERROR_SUCCESS, launch.Build());
    EXPECT_EQ(142u, strlen(launch.commandLine));
    EXPECT_EQ(dir + "\\" + name + " " + options + " com.lumora.api.Tavrin",
              std::string(launch.commandLine));
}

// The longest settings the reads accept: three unterminated 100-byte values,
// the path quoted for its blank.  None of it may be cut.
TEST_F(LaunchCommand, LongestAcceptedSettingsAreLaunchedWhole)
{
    std::string dir = std::string(50, 'd') + " " + std::string(49, 'd');
    std::string name(100, 'n'), options(100, 'o'), installDir(100, 'i');
    StoreUnterminated("InstallDir", installDir);
    StoreUnterminated("JavaDir", dir);
    StoreUnterminated("JavaName", name);
    StoreUnterminated("JavaOptions", options);
    Launch launch;

    ASSERT_EQ(ERROR_SUCCESS, launch.Build());
    std::string expected = "\"" + dir + "\\" + name + "\" " + options + " com.lumora.api.Tavrin";
    EXPECT_EQ(LAUNCH_COMMAND_SIZE - 1, expected.size());
    EXPECT_EQ(expected, std::string(launch.commandLine));
    EXPECT_EQ(installDir, std::string(launch.workDir));
}

TEST_F(LaunchCommand, WorkingDirectoryIsInstallDirExactly)
{
    for (const char *dir : {"C:\\tavrin", "C:\\tavrin\\", "D:\\Lumora Apps\\Tavrin"})
    {
        SCOPED_TRACE(dir);
        FakePlatformReset();
        StoreSettings("C:\\java\\bin", "java.exe", "");
        Store("InstallDir", dir);
        Launch launch;
        ASSERT_EQ(ERROR_SUCCESS, launch.Build());
        EXPECT_STREQ(dir, launch.workDir);
    }
}

TEST_F(LaunchCommand, FailedReadIsReturnedAndTheLineLeftUnwritten)
{
    struct
    {
        const char *label;
        void (*spoil)();
        LONG expected;
    } const cases[] = {
        {"key missing", [] {}, ERROR_FILE_NOT_FOUND},
        {"options too long",
         [] { StoreSettings("C:\\java\\bin", "java.exe", std::string(100, 'o')); },
         ERROR_MORE_DATA},
        {"open refused",
         []
         {
             StoreSettings("C:\\java\\bin", "java.exe", "");
             FakeRegFailOpen(ERROR_ACCESS_DENIED);
         },
         ERROR_ACCESS_DENIED},
        {"odd code",
         []
         {
             StoreSettings("C:\\java\\bin", "java.exe", "");
             FakeRegFailQuery("JavaName", 1018);
         },
         1018},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.label);
        FakePlatformReset();
        c.spoil();
        Launch launch;
        memset(launch.commandLine, UNTOUCHED, sizeof(launch.commandLine));

        EXPECT_EQ(c.expected, launch.Build());
        EXPECT_EQ(std::string(sizeof(launch.commandLine), UNTOUCHED),
                  std::string(launch.commandLine, sizeof(launch.commandLine)));
        EXPECT_TRUE(FakeCreateProcessCalls().empty());
    }
}

class LaunchServerTest : public LaunchCommand
{
  protected:
    char commandLine[LAUNCH_COMMAND_SIZE] = "C:\\java\\bin\\java.exe -Xrs com.lumora.api.Tavrin";
    char workDir[LAUNCH_DIR_SIZE] = "C:\\tavrin\\";
};

TEST_F(LaunchServerTest, StartsTheLineDetachedInTheWorkingDirectory)
{
    EXPECT_EQ(TRUE, LaunchServer(commandLine, workDir));

    EXPECT_EQ(1, FakeGetStartupInfoCalls());
    std::vector<FakeCreateProcessCall> calls = FakeCreateProcessCalls();
    ASSERT_EQ(1u, calls.size());
    const FakeCreateProcessCall &call = calls[0];
    EXPECT_EQ(nullptr, call.applicationNamePtr);
    EXPECT_EQ(commandLine, call.commandLinePtr);
    EXPECT_EQ("C:\\java\\bin\\java.exe -Xrs com.lumora.api.Tavrin", call.commandLine);
    EXPECT_EQ(nullptr, call.processAttributes);
    EXPECT_EQ(nullptr, call.threadAttributes);
    EXPECT_EQ(FALSE, call.inheritHandles);
    EXPECT_EQ(DETACHED_PROCESS, call.creationFlags);
    EXPECT_EQ(nullptr, call.environment);
    EXPECT_EQ(workDir, call.currentDirectoryPtr);
    EXPECT_EQ("C:\\tavrin\\", call.currentDirectory);
    STARTUPINFOA expected = FakeStartupInfo();
    EXPECT_EQ(0, memcmp(&expected, &call.startupInfo, sizeof(expected)));
    EXPECT_NE(nullptr, call.processInformationPtr);

    // A started server is no failure, and the launch touches nothing else.
    EXPECT_TRUE(FakeEventLogCalls().empty());
    EXPECT_TRUE(FakeRegCalls().empty());
}

TEST_F(LaunchServerTest, FailedStartReturnsFalseAndLogsOneErrorWithItsCode)
{
    FakeSetCreateProcessResult(FALSE, ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(FALSE, LaunchServer(commandLine, workDir));

    std::vector<FakeEvent> events = FakeEvents();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(EVENTLOG_ERROR_TYPE, events[0].type);
    EXPECT_EQ((std::vector<std::string>{"LMRAPISVC: status 2", "CreateProcess() failed."}),
              events[0].strings);
}

// The composed line, as one caller would hand it over.
TEST_F(LaunchServerTest, BuiltCommandGoesToCreateProcessUnchanged)
{
    StoreSettings("C:\\Program Files\\Java\\bin", "java.exe", "-Xrs");
    Launch launch;
    ASSERT_EQ(ERROR_SUCCESS, launch.Build());

    EXPECT_EQ(TRUE, LaunchServer(launch.commandLine, launch.workDir));
    std::vector<FakeCreateProcessCall> calls = FakeCreateProcessCalls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("\"C:\\Program Files\\Java\\bin\\java.exe\" -Xrs com.lumora.api.Tavrin",
              calls[0].commandLine);
    EXPECT_EQ("C:\\tavrin", calls[0].currentDirectory);
}
} // namespace

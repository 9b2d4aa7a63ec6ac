// A fresh process as the service host sees it, with an installed server: the
// launch settings in the registry and a password file in the installation
// directory.  Shared by the entry and service tests.
#ifndef TAVRIN_TESTS_SERVICE_FIXTURE_H
#define TAVRIN_TESTS_SERVICE_FIXTURE_H

#include "launch/settings.h"

#include "fake_platform.h"
#include "fake_registry.h"
#include "tests/support/process_state.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

class InstalledServer : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        FakePlatformReset();
        ResetServiceState();

        ASSERT_TRUE(folder_.Create("tavrin-service"));
        s_live = this;
        installDir_ = folder_.Path() + "/install";
        // The program joins the directory and the file name with a backslash,
        // an ordinary character of a file name on the host.
        passwordFile_ = installDir_ + "\\pw.fil";
        WritePasswordFile("secret");

        FakeRegSetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "InstallDir", installDir_.c_str());
        FakeRegSetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "JavaDir", "C:\\java\\bin");
        FakeRegSetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "JavaName", "java.exe");
        FakeRegSetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "JavaOptions", "-Xmx64m");
    }

    void WritePasswordFile(const char *password)
    {
        ASSERT_TRUE(WriteFileBytes(passwordFile_, password));
    }

    void RemovePasswordFile()
    {
        ASSERT_EQ(0, unlink(passwordFile_.c_str()));
    }

    void TearDown() override
    {
        s_live = nullptr;
    }

  public:
    // The child of a death test ends through _exit, past every destructor;
    // its exit hook calls this so that the child's own folder goes too.
    static void RemoveFolderOfLiveTest()
    {
        if (s_live != nullptr)
        {
            s_live->folder_.Remove();
        }
    }

  protected:
    TempDir folder_;
    std::string installDir_;
    std::string passwordFile_;

  private:
    inline static InstalledServer *s_live = nullptr;
};

#endif

#include "fuzz_install.h"

#include "launch/settings.h"

#include "fake_platform.h"
#include "fake_registry.h"
#include "fuzz_check.h"
#include "tests/support/temp_dir.h"

namespace
{
// Removed with its files when the fuzzer exits.
TempDir g_root;
std::string g_installDir;

const std::string &InstallDir()
{
    if (g_installDir.empty())
    {
        FUZZ_CHECK(g_root.Create("tavrin-fuzz"));
        g_installDir = g_root.Path() + "/inst";
    }
    return g_installDir;
}
} // namespace

void FuzzResetWithInstallDir()
{
    FakePlatformReset();
    FakeRegSetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "InstallDir", InstallDir().c_str());
}

std::string FuzzInstallFile(const char *name)
{
    return InstallDir() + "\\" + name;
}

void FuzzWriteFile(const std::string &path, const uint8_t *data, size_t size)
{
    FUZZ_CHECK(WriteFileBytes(path, data, size));
}

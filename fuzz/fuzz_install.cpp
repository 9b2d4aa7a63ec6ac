#include "fuzz_install.h"

#include "launch/settings.h"

#include "fake_platform.h"
#include "fake_registry.h"
#include "fuzz_check.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

namespace
{
std::string g_root;
std::string g_installDir;

const char *const INSTALL_FILES[] = {"pw.fil", "config.ini"};

void RemoveInstallDir()
{
    for (const char *name : INSTALL_FILES)
    {
        unlink(FuzzInstallFile(name).c_str());
    }
    rmdir(g_root.c_str());
}

const std::string &InstallDir()
{
    if (g_root.empty())
    {
        char pattern[] = "/tmp/tavrin-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(pattern) != NULL);
        g_root = pattern;
        g_installDir = g_root + "/inst";
        atexit(RemoveInstallDir);
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
    FILE *file = fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != NULL);
    FUZZ_CHECK(fwrite(data, 1, size, file) == size);
    FUZZ_CHECK(fclose(file) == 0);
}

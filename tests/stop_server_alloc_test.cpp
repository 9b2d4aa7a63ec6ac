// Heap use during one stop: the exchange keeps everything in fixed buffers of
// its own, so any allocation made while it runs must come from a library it
// calls (the C library's FILE for pw.fil) or from the fake platform, never
// from product code itself.
//
// Each allocation is caught through the sanitizer's malloc hook with the call
// stack at that moment, and attributed to the first frame outside the
// allocator (who asked for the memory) and to the first frame in this
// repository's sources (whose code led there).  Without AddressSanitizer
// there is no hook to catch them with, and the test says so.
#include "admin/stop_server.h"

#include "eventlog/eventlog.h"
#include "launch/settings.h"

#include "fake_eventlog.h"
#include "fake_platform.h"
#include "fake_registry.h"
#include "fake_vyx.h"
#include "tests/support/process_state.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <execinfo.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void *,
                                                                            size_t),
                                                         void (*freeHook)(const volatile void *));
#define TAVRIN_HAVE_MALLOC_HOOKS 1
#endif

namespace
{
#ifdef TAVRIN_HAVE_MALLOC_HOOKS
const int MAX_RECORDED = 2048;
const int MAX_FRAMES = 24;

struct Allocation
{
    size_t size;
    int frameCount;
    void *frames[MAX_FRAMES];
};

Allocation g_allocations[MAX_RECORDED];
int g_count;
bool g_recording;
thread_local bool t_inHook;

void MallocHook(const volatile void *, size_t size)
{
    if (!g_recording || t_inHook)
    {
        return;
    }
    t_inHook = true;
    if (g_count < MAX_RECORDED)
    {
        Allocation &a = g_allocations[g_count];
        a.size = size;
        a.frameCount = backtrace(a.frames, MAX_FRAMES);
    }
    ++g_count;
    t_inHook = false;
}

void FreeHook(const volatile void *) {}

std::string Module(void *pc)
{
    Dl_info info;
    if (dladdr(pc, &info) == 0 || info.dli_fname == nullptr)
    {
        return "?";
    }
    const char *slash = strrchr(info.dli_fname, '/');
    return slash == nullptr ? info.dli_fname : slash + 1;
}

std::string ExportedName(void *pc)
{
    Dl_info info;
    if (dladdr(pc, &info) == 0 || info.dli_sname == nullptr)
    {
        return "?";
    }
    return info.dli_sname;
}

// "function|file" for a frame's return address (one byte back, inside the
// call).
std::string Symbolize(void *pc)
{
    char text[1024];
    __sanitizer_symbolize_pc((char *)pc - 1, "%f|%s", text, sizeof text);
    return text;
}

// "function (folder/file.cpp)" from a symbolized "function|/full/path".
std::string Pretty(const std::string &symbol)
{
    size_t bar = symbol.find('|');
    std::string function = symbol.substr(0, std::min(bar, symbol.find('(')));
    std::string file = bar == std::string::npos ? std::string() : symbol.substr(bar + 1);
    const std::string root = std::string(TAVRIN_SOURCE_DIR) + "/";
    if (file.compare(0, root.size(), root) == 0)
    {
        file = file.substr(root.size());
    }
    return function + " (" + file + ")";
}

bool InAllocator(void *pc)
{
    return Module(pc).find("libasan") != std::string::npos;
}

bool IsProductFile(const std::string &file)
{
    const std::string root = TAVRIN_SOURCE_DIR;
    for (const char *folder : {"/admin/", "/launch/", "/eventlog/", "/service/"})
    {
        if (file.compare(0, root.size() + strlen(folder), root + folder) == 0)
        {
            return true;
        }
    }
    return false;
}

struct Attribution
{
    std::string caller;   // who called the allocator
    std::string ourFrame; // first frame in this repository's sources
    bool productOwn;      // product code called the allocator itself
};

Attribution Attribute(const Allocation &a)
{
    Attribution result{"?", "?", false};
    // The stack starts inside the hook (behind the sanitizer's own
    // backtrace), then runs through the allocator to whoever called it.
    int i = 0;
    while (i < a.frameCount && Symbolize(a.frames[i]).compare(0, 11, "MallocHook|") != 0)
    {
        ++i;
    }
    ++i;
    while (i < a.frameCount && InAllocator(a.frames[i]))
    {
        ++i;
    }
    if (i >= a.frameCount)
    {
        return result;
    }
    std::string module = Module(a.frames[i]);
    std::string symbol = Symbolize(a.frames[i]);
    bool callerIsOurs = symbol.find(std::string("|") + TAVRIN_SOURCE_DIR) != std::string::npos;
    result.caller = callerIsOurs ? Pretty(symbol) : module + " " + ExportedName(a.frames[i]);
    for (int j = i; j < a.frameCount; ++j)
    {
        std::string s = Symbolize(a.frames[j]);
        size_t bar = s.find('|');
        if (bar != std::string::npos && s.find(TAVRIN_SOURCE_DIR, bar) == bar + 1)
        {
            result.ourFrame = Pretty(s);
            result.productOwn = j == i && IsProductFile(s.substr(bar + 1));
            break;
        }
    }
    return result;
}
#endif

class StopServerHeap : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        FakePlatformReset();
        SetNtFamily();
        ASSERT_TRUE(root_.Create("tavrin-heap"));
        std::string installDir = root_.Path() + "/inst";
        FakeRegSetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "InstallDir", installDir.c_str());
        Write(installDir + "\\pw.fil", "secret\r\n");
        Write(installDir + "\\config.ini", "[TAVRIN_ADMINISTRATION]\r\nTavrinAdminPort=9000\r\n");
    }
    void TearDown() override
    {
        ASSERT_TRUE(root_.Remove());
    }
    static void Write(const std::string &path, const char *text)
    {
        ASSERT_TRUE(WriteFileBytes(path, text));
    }

    // Runs one stop with the allocations recorded; every one is printed with
    // where it came from, and those product code made itself are counted.
    void RunAndCheck(const char *what)
    {
#ifdef TAVRIN_HAVE_MALLOC_HOOKS
        void *warm[4];
        backtrace(warm, 4);            // loads the unwinder now, not inside the hook
        static bool installed = false; // each install adds one more hook
        if (!installed)
        {
            __sanitizer_install_malloc_and_free_hooks(MallocHook, FreeHook);
            installed = true;
        }
        g_count = 0;
        g_recording = true;
        bool opened = false;
        StopServer(&opened);
        g_recording = false;
        ASSERT_TRUE(opened);
        ASSERT_LE(g_count, MAX_RECORDED);

        int productOwn = 0;
        std::map<std::string, int> origins;
        for (int i = 0; i < g_count; ++i)
        {
            Attribution a = Attribute(g_allocations[i]);
            ++origins[a.ourFrame + "  <-  " + a.caller];
            if (a.productOwn)
            {
                ++productOwn;
                ADD_FAILURE() << "product code allocated " << g_allocations[i].size << " bytes in "
                              << a.caller;
            }
        }
        printf("%s: %d allocation(s) during StopServer, by first own frame <- allocator's "
               "caller:\n",
               what, g_count);
        for (const auto &origin : origins)
        {
            printf("  %3d x %s\n", origin.second, origin.first.c_str());
        }
        EXPECT_EQ(0, productOwn);
#else
        (void)what;
        GTEST_SKIP() << "allocations are caught through AddressSanitizer's hook; "
                        "this build has none";
#endif
    }

    TempDir root_;
};

TEST_F(StopServerHeap, SuccessfulRun)
{
    RunAndCheck("successful run");
}

// The failure paths write events and decode codes, so they go through the
// event reporter and the decoder as well.
TEST_F(StopServerHeap, RunWithEveryOpenFailing)
{
    FakeVyxSetDefault(FAKE_VYX_OPEN, VYX_ERROR);
    FakeVyxPushItem(VYX_KIND_SYSTEM);
    FakeVyxPushItem(10061);
    FakeVyxPush(FAKE_VYX_DESTROY, VYX_INVALID_HANDLE);
    RunAndCheck("ten failed opens and a failed destroy");
}
} // namespace

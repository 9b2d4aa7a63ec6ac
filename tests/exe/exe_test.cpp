// Checks over the built TavrinSvc.exe: what it imports, its size, its version
// resource, its event descriptions and its identification string; of the 64-bit build, which only the Wine
// tests run, what it imports.
#include "pe_image.h"

#include <gtest/gtest.h>

#include <ctype.h>
#include <stdio.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <string>

namespace
{
const uint16_t MACHINE_I386 = 0x14c;
const uint16_t MACHINE_AMD64 = 0x8664;
const uint16_t SUBSYSTEM_CONSOLE = 3;

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(toupper(c)); });
    return text;
}

// The first line a command prints, or empty when it fails.
std::string FirstLine(const std::string &command)
{
    std::string line;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == NULL)
    {
        return line;
    }
    char buffer[256];
    if (fgets(buffer, sizeof buffer, pipe) != NULL)
    {
        line = buffer;
        line.erase(line.find_last_not_of("\r\n") + 1);
    }
    if (pclose(pipe) != 0)
    {
        line.clear();
    }
    return line;
}

// The ordinals the import definition binds.
std::set<uint16_t> DefinedOrdinals()
{
    std::set<uint16_t> ordinals;
    std::ifstream def(TAVRIN_SOURCE_DIR "/admin/vyx32.def");
    std::regex entry(R"(^\s+\w+@\d+\s+@(\d+)\s+NONAME)");
    std::string line;
    std::smatch match;
    while (std::getline(def, line))
    {
        if (std::regex_search(line, match, entry))
        {
            ordinals.insert(static_cast<uint16_t>(std::stoi(match[1])));
        }
    }
    return ordinals;
}

// The system libraries and the transport, the transport by ordinal only and
// with exactly the ordinals of the import definition.
void ExpectTheImportsOfTheProgram(const PeImage &image)
{
    std::set<std::string> dlls;
    for (const PeImport &import : image.imports)
    {
        dlls.insert(Upper(import.dll));
        if (Upper(import.dll) == "VYX32.DLL")
        {
            EXPECT_TRUE(import.names.empty()) << "VYX32 bound by name: " << import.names[0];
            EXPECT_EQ(DefinedOrdinals(),
                      std::set<uint16_t>(import.ordinals.begin(), import.ordinals.end()));
        }
    }
    EXPECT_EQ((std::set<std::string>{"ADVAPI32.DLL", "KERNEL32.DLL", "MSVCRT.DLL", "VYX32.DLL"}),
              dlls);
}

class TavrinSvcExe : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        error_ = new std::string(ReadPeImage(TAVRIN_WIN32_DIR "/TavrinSvc.exe", &image_));
    }

    static void TearDownTestSuite()
    {
        delete error_;
    }

    void SetUp() override
    {
        ASSERT_EQ("", *error_) << "build the Windows program first (cmake --preset win32)";
    }

    static PeImage image_;
    static std::string *error_;
};

PeImage TavrinSvcExe::image_;
std::string *TavrinSvcExe::error_;

TEST_F(TavrinSvcExe, IsA32BitConsoleProgram)
{
    EXPECT_FALSE(image_.is64);
    EXPECT_EQ(MACHINE_I386, image_.machine);
    EXPECT_EQ(SUBSYSTEM_CONSOLE, image_.subsystem);
}

TEST_F(TavrinSvcExe, ImportsTheSystemLibrariesAndTheTransportByOrdinalOnly)
{
    ExpectTheImportsOfTheProgram(image_);
}

// The 64-bit build binds the same libraries the same way: what the Wine
// tests prove of it holds for the shipped program.
TEST(TavrinSvcExe64, IsA64BitConsoleProgramWithTheSameImports)
{
    PeImage image;
    ASSERT_EQ("", ReadPeImage(TAVRIN_WIN64_DIR "/TavrinSvc.exe", &image))
        << "build the 64-bit Windows program first (cmake --preset win64)";
    EXPECT_TRUE(image.is64);
    EXPECT_EQ(MACHINE_AMD64, image.machine);
    EXPECT_EQ(SUBSYSTEM_CONSOLE, image.subsystem);
    ExpectTheImportsOfTheProgram(image);
}

TEST_F(TavrinSvcExe, CarriesItsVersionResource)
{
    ASSERT_TRUE(image_.hasVersion);
    const uint32_t ONE_ZERO = 0x00010000u; // 1, 0
    const uint32_t ZERO_ONE = 0x00000001u; // 0, 1
    EXPECT_EQ(ONE_ZERO, image_.version.fileVersionMS);
    EXPECT_EQ(ZERO_ONE, image_.version.fileVersionLS);
    EXPECT_EQ(ONE_ZERO, image_.version.productVersionMS);
    EXPECT_EQ(ZERO_ONE, image_.version.productVersionLS);

    std::map<std::string, std::string> &strings = image_.version.strings;
    EXPECT_EQ("TavrinSvc", strings["FileDescription"]);
    EXPECT_EQ("TavrinSvc", strings["InternalName"]);
    EXPECT_EQ("TavrinSvc.exe", strings["OriginalFilename"]);
    EXPECT_EQ("TavrinSvc", strings["ProductName"]);
}

// Event Viewer finds the description of event 0 here: the message, then
// the status text, the two strings every event carries.
TEST_F(TavrinSvcExe, CarriesTheDescriptionOfItsEvents)
{
    ASSERT_TRUE(image_.hasMessageTable) << "no message table";
    ASSERT_EQ(1u, image_.messages.size());
    ASSERT_EQ(0u, image_.messages.begin()->first) << "the events have identifier 0";
    const std::string text = image_.messages.begin()->second;
    EXPECT_EQ("%2%n%1", text.substr(0, text.find_last_not_of("\r\n") + 1));
}

TEST_F(TavrinSvcExe, StaysWithinItsSizeGoal)
{
    const size_t SIZE_GOAL = 64 * 1024;
    EXPECT_LE(image_.bytes.size(), SIZE_GOAL);
}

// "@(#)<work file> <revision> <date>", once, with the checkout's commit.
TEST_F(TavrinSvcExe, CarriesTheIdentificationStringOfItsCommit)
{
    const std::string bytes(image_.bytes.begin(), image_.bytes.end());
    const size_t at = bytes.find("@(#)");
    ASSERT_NE(std::string::npos, at) << "no identification string";
    EXPECT_EQ(std::string::npos, bytes.find("@(#)", at + 1)) << "more than one";

    const std::string ident(bytes.c_str() + at);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(ident, match,
                                 std::regex(R"(@\(#\)TavrinSvc\.cpp (\S+) (\d{4}-\d\d-\d\d))")))
        << ident;

    const std::string git = "git -C '" TAVRIN_SOURCE_DIR "' ";
    const std::string head = FirstLine(git + "rev-parse HEAD 2>/dev/null");
    if (head.empty())
    {
        EXPECT_EQ("unknown", match[1]) << "not a checkout, yet a revision";
        return;
    }
    const std::string revision = match[1];
    EXPECT_GE(revision.size(), 7u);
    EXPECT_EQ(0u, head.find(revision)) << "built from " << revision << ", checkout at " << head;
    EXPECT_EQ(FirstLine(git + "log -1 --format=%cd --date=short"), match[2].str());
}
} // namespace

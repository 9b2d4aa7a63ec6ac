// A reader of the few parts of a PE image (32-bit PE32 or 64-bit PE32+) the
// executable checks look at: the file header, the import table, the version
// resource and the message table.  Every read is bounds-checked; a malformed
// image gives an error text, never a read past the file.
#ifndef TAVRIN_TESTS_EXE_PE_IMAGE_H
#define TAVRIN_TESTS_EXE_PE_IMAGE_H

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

struct PeImport
{
    std::string dll;
    std::vector<uint16_t> ordinals; // entries bound by ordinal
    std::vector<std::string> names; // entries bound by name
};

struct PeVersion
{
    uint32_t fileVersionMS = 0;
    uint32_t fileVersionLS = 0;
    uint32_t productVersionMS = 0;
    uint32_t productVersionLS = 0;
    std::map<std::string, std::string> strings; // StringFileInfo, every table
};

struct PeImage
{
    std::vector<uint8_t> bytes;
    bool is64 = false; // PE32+
    uint16_t machine = 0;
    uint16_t subsystem = 0;
    std::vector<PeImport> imports;
    bool hasVersion = false;
    PeVersion version;
    bool hasMessageTable = false;
    std::map<uint32_t, std::string> messages; // the first table, by identifier
};

// Reads and parses the image at path.  Returns an empty text on success,
// otherwise what was wrong.
std::string ReadPeImage(const std::string &path, PeImage *image);

#endif

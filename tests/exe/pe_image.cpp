#include "pe_image.h"

#include <fstream>
#include <iterator>

namespace
{
const uint32_t PE_SIGNATURE = 0x00004550; // "PE\0\0"
const uint16_t PE32_MAGIC = 0x10b;
const uint16_t PE32_PLUS_MAGIC = 0x20b;
const int IMPORT_DIRECTORY = 1;
const int RESOURCE_DIRECTORY = 2;
const uint32_t RT_MESSAGETABLE = 11;
const uint32_t RT_VERSION = 16;
const uint32_t FIXED_FILE_INFO_SIGNATURE = 0xFEEF04BD;
const uint64_t ORDINAL_FLAG_32 = 0x80000000u;
const uint64_t ORDINAL_FLAG_64 = 0x8000000000000000u;
const uint16_t MESSAGE_UNICODE = 1;
const uint32_t SUBDIRECTORY_FLAG = 0x80000000u;
// Guards against loops in a damaged image.
const int MAX_ITEMS = 4096;

struct Section
{
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawOffset;
    uint32_t rawSize;
};

class Reader
{
  public:
    explicit Reader(const std::vector<uint8_t> &bytes) : bytes_(bytes) {}

    bool U16(uint64_t offset, uint16_t *value) const
    {
        if (offset + 2 > bytes_.size())
        {
            return false;
        }
        *value = static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
        return true;
    }

    bool U32(uint64_t offset, uint32_t *value) const
    {
        uint16_t low, high;
        if (!U16(offset, &low) || !U16(offset + 2, &high))
        {
            return false;
        }
        *value = static_cast<uint32_t>(low) | static_cast<uint32_t>(high) << 16;
        return true;
    }

    bool U64(uint64_t offset, uint64_t *value) const
    {
        uint32_t low, high;
        if (!U32(offset, &low) || !U32(offset + 4, &high))
        {
            return false;
        }
        *value = static_cast<uint64_t>(low) | static_cast<uint64_t>(high) << 32;
        return true;
    }

    // A NUL-terminated single-byte text.
    bool Text(uint64_t offset, std::string *text) const
    {
        text->clear();
        for (uint64_t i = offset; i < bytes_.size(); ++i)
        {
            if (bytes_[i] == 0)
            {
                return true;
            }
            text->push_back(static_cast<char>(bytes_[i]));
        }
        return false;
    }

    // A UTF-16 text of at most maxUnits units, ending at a NUL unit or at the
    // limit; only the ASCII range is kept as is, the rest becomes '?'.
    bool WideText(uint64_t offset, uint64_t maxUnits, std::string *text, uint64_t *units) const
    {
        text->clear();
        for (*units = 0; *units < maxUnits; ++*units)
        {
            uint16_t unit;
            if (!U16(offset + 2 * *units, &unit))
            {
                return false;
            }
            if (unit == 0)
            {
                ++*units;
                return true;
            }
            text->push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        }
        return true;
    }

  private:
    const std::vector<uint8_t> &bytes_;
};

uint64_t Align4(uint64_t offset)
{
    return (offset + 3) & ~static_cast<uint64_t>(3);
}

class Image
{
  public:
    Image(PeImage *image) : image_(image), read_(image->bytes) {}

    std::string Parse()
    {
        uint32_t peOffset, signature;
        if (image_->bytes.size() < 2 || image_->bytes[0] != 'M' || image_->bytes[1] != 'Z')
        {
            return "no MZ header";
        }
        if (!read_.U32(0x3c, &peOffset) || !read_.U32(peOffset, &signature) ||
            signature != PE_SIGNATURE)
        {
            return "no PE signature";
        }
        const uint64_t coff = peOffset + 4;
        uint16_t sectionCount, optionalSize, magic;
        uint32_t directoryCount;
        const uint64_t optional = coff + 20;
        if (!read_.U16(coff, &image_->machine) || !read_.U16(coff + 2, &sectionCount) ||
            !read_.U16(coff + 16, &optionalSize) || !read_.U16(optional, &magic) ||
            (magic != PE32_MAGIC && magic != PE32_PLUS_MAGIC))
        {
            return "neither a PE32 nor a PE32+ optional header";
        }
        // PE32+ widens the image base and the four stack and heap sizes to
        // 64 bits, which moves the data directories 16 bytes on.
        image_->is64 = magic == PE32_PLUS_MAGIC;
        const uint64_t directories = optional + (image_->is64 ? 112 : 96);
        if (!read_.U16(optional + 68, &image_->subsystem) ||
            !read_.U32(directories - 4, &directoryCount))
        {
            return "optional header cut short";
        }
        for (uint64_t i = 0; i < sectionCount; ++i)
        {
            const uint64_t at = optional + optionalSize + 40 * i;
            Section s;
            if (!read_.U32(at + 8, &s.virtualSize) || !read_.U32(at + 12, &s.virtualAddress) ||
                !read_.U32(at + 16, &s.rawSize) || !read_.U32(at + 20, &s.rawOffset))
            {
                return "section table cut short";
            }
            sections_.push_back(s);
        }
        uint32_t importRva = 0, resourceRva = 0, unusedSize;
        if (directoryCount > IMPORT_DIRECTORY &&
            !read_.U32(directories + 8 * IMPORT_DIRECTORY, &importRva))
        {
            return "data directories cut short";
        }
        if (directoryCount > RESOURCE_DIRECTORY &&
            (!read_.U32(directories + 8 * RESOURCE_DIRECTORY, &resourceRva) ||
             !read_.U32(directories + 4 + 8 * RESOURCE_DIRECTORY, &unusedSize)))
        {
            return "data directories cut short";
        }
        std::string error = importRva ? ParseImports(importRva) : "";
        if (error.empty() && resourceRva)
        {
            error = ParseVersionResource(resourceRva);
        }
        if (error.empty() && resourceRva)
        {
            error = ParseMessageTable(resourceRva);
        }
        return error;
    }

  private:
    bool Offset(uint32_t rva, uint64_t *offset) const
    {
        for (const Section &s : sections_)
        {
            const uint32_t size = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
            if (rva >= s.virtualAddress && rva - s.virtualAddress < size)
            {
                *offset = static_cast<uint64_t>(s.rawOffset) + (rva - s.virtualAddress);
                return true;
            }
        }
        return false;
    }

    std::string ParseImports(uint32_t rva)
    {
        uint64_t descriptor;
        if (!Offset(rva, &descriptor))
        {
            return "import table outside every section";
        }
        for (int i = 0; i < MAX_ITEMS; ++i, descriptor += 20)
        {
            uint32_t lookupRva, nameRva, addressRva;
            if (!read_.U32(descriptor, &lookupRva) || !read_.U32(descriptor + 12, &nameRva) ||
                !read_.U32(descriptor + 16, &addressRva))
            {
                return "import descriptor cut short";
            }
            if (nameRva == 0 && lookupRva == 0 && addressRva == 0)
            {
                return "";
            }
            PeImport import;
            uint64_t at;
            if (!Offset(nameRva, &at) || !read_.Text(at, &import.dll))
            {
                return "import library name unreadable";
            }
            if (!Offset(lookupRva ? lookupRva : addressRva, &at))
            {
                return "import lookup table outside every section";
            }
            // Entries are 32 bits wide in PE32 and 64 in PE32+, with the
            // by-ordinal flag in the top bit.
            const uint64_t width = image_->is64 ? 8 : 4;
            const uint64_t ordinalFlag = image_->is64 ? ORDINAL_FLAG_64 : ORDINAL_FLAG_32;
            for (int j = 0; j < MAX_ITEMS; ++j, at += width)
            {
                uint64_t entry;
                uint32_t narrow;
                if (image_->is64 ? !read_.U64(at, &entry) : !read_.U32(at, &narrow))
                {
                    return "import lookup table cut short";
                }
                if (!image_->is64)
                {
                    entry = narrow;
                }
                if (entry == 0)
                {
                    break;
                }
                if (entry & ordinalFlag)
                {
                    import.ordinals.push_back(static_cast<uint16_t>(entry & 0xffff));
                    continue;
                }
                uint64_t hintName;
                std::string name;
                if (!Offset(static_cast<uint32_t>(entry), &hintName) ||
                    !read_.Text(hintName + 2, &name))
                {
                    return "import name unreadable";
                }
                import.names.push_back(name);
            }
            image_->imports.push_back(import);
        }
        return "import table without an end";
    }

    // The entry with this identifier in the resource directory at offset
    // (relative to the resource section's start), or the first when id is 0.
    bool FindEntry(uint64_t base, uint32_t directory, uint32_t id, uint32_t *target) const
    {
        uint16_t named, ids;
        if (!read_.U16(base + directory + 12, &named) || !read_.U16(base + directory + 14, &ids))
        {
            return false;
        }
        for (uint32_t i = 0; i < static_cast<uint32_t>(named) + ids; ++i)
        {
            uint32_t name, data;
            const uint64_t entry = base + directory + 16 + 8 * i;
            if (!read_.U32(entry, &name) || !read_.U32(entry + 4, &data))
            {
                return false;
            }
            if (id == 0 || name == id)
            {
                *target = data;
                return true;
            }
        }
        return false;
    }

    // The data of the first resource of a type (its first name, its first
    // language): sets *found and the data's file offset and size, or leaves
    // *found false when the image has no resource of that type.
    std::string FindResource(uint32_t rva, uint32_t type, bool *found, uint64_t *data,
                             uint32_t *size) const
    {
        *found = false;
        uint64_t base;
        if (!Offset(rva, &base))
        {
            return "resources outside every section";
        }
        // The type's directory, then its first name's, then the first
        // language's entry, which is the data.
        uint32_t level = 0;
        if (!FindEntry(base, 0, type, &level))
        {
            return "";
        }
        if (!(level & SUBDIRECTORY_FLAG) ||
            !FindEntry(base, level & ~SUBDIRECTORY_FLAG, 0, &level) ||
            !(level & SUBDIRECTORY_FLAG) ||
            !FindEntry(base, level & ~SUBDIRECTORY_FLAG, 0, &level) || (level & SUBDIRECTORY_FLAG))
        {
            return "resource directory of type " + std::to_string(type) + " malformed";
        }
        uint32_t dataRva;
        if (!read_.U32(base + level, &dataRva) || !read_.U32(base + level + 4, size) ||
            !Offset(dataRva, data) || *data + *size > image_->bytes.size())
        {
            return "resource data of type " + std::to_string(type) + " unreadable";
        }
        *found = true;
        return "";
    }

    std::string ParseVersionResource(uint32_t rva)
    {
        bool found;
        uint64_t data;
        uint32_t size;
        std::string error = FindResource(rva, RT_VERSION, &found, &data, &size);
        if (!error.empty() || !found)
        {
            return error;
        }
        image_->hasVersion = true;
        return ParseVersionNode(data, data + size, ROOT);
    }

    // A message table: a count of blocks, each a range of identifiers and the
    // offset of its entries; each entry a length, a flag (1: UTF-16) and the
    // text.  Offsets are relative to the table's start.
    std::string ParseMessageTable(uint32_t rva)
    {
        bool found;
        uint64_t data;
        uint32_t size;
        std::string error = FindResource(rva, RT_MESSAGETABLE, &found, &data, &size);
        if (!error.empty() || !found)
        {
            return error;
        }
        const uint64_t end = data + size;
        uint32_t blocks;
        if (!read_.U32(data, &blocks) || blocks > MAX_ITEMS || data + 4 + 12ull * blocks > end)
        {
            return "message table header malformed";
        }
        for (uint32_t b = 0; b < blocks; ++b)
        {
            uint32_t low, high, offset;
            const uint64_t block = data + 4 + 12ull * b;
            if (!read_.U32(block, &low) || !read_.U32(block + 4, &high) ||
                !read_.U32(block + 8, &offset) || high < low || high - low >= MAX_ITEMS)
            {
                return "message table block malformed";
            }
            uint64_t entry = data + offset;
            for (uint64_t id = low; id <= high; ++id)
            {
                uint16_t length, flags;
                if (!read_.U16(entry, &length) || !read_.U16(entry + 2, &flags) || length < 4 ||
                    entry + length > end)
                {
                    return "message table entry " + std::to_string(id) + " malformed";
                }
                std::string text;
                if (flags == MESSAGE_UNICODE)
                {
                    uint64_t unused;
                    if (!read_.WideText(entry + 4, (length - 4u) / 2, &text, &unused))
                    {
                        return "message table entry unreadable";
                    }
                }
                else
                {
                    for (uint64_t i = entry + 4; i < entry + length && image_->bytes[i] != 0; ++i)
                    {
                        text.push_back(static_cast<char>(image_->bytes[i]));
                    }
                }
                image_->messages[static_cast<uint32_t>(id)] = text;
                entry += length;
            }
        }
        image_->hasMessageTable = true;
        return "";
    }

    enum NodeRole
    {
        ROOT,         // VS_VERSION_INFO with the fixed file information
        BLOCK,        // StringFileInfo or VarFileInfo
        STRING_TABLE, // one language's strings
        STRING,       // one name and its text
        OTHER         // anything else, passed over
    };

    // One node of the version block: length, value length, type, key, value,
    // children; each part aligned to four bytes.
    std::string ParseVersionNode(uint64_t at, uint64_t limit, NodeRole role)
    {
        uint16_t length, valueLength, type;
        if (!read_.U16(at, &length) || !read_.U16(at + 2, &valueLength) ||
            !read_.U16(at + 4, &type) || length < 6 || at + length > limit)
        {
            return "version node malformed";
        }
        const uint64_t end = at + length;
        std::string key;
        uint64_t units;
        if (!read_.WideText(at + 6, (end - at - 6) / 2, &key, &units))
        {
            return "version node key unreadable";
        }
        const uint64_t value = Align4(at + 6 + 2 * units);
        // Text values count in UTF-16 units, binary ones in bytes.
        const uint64_t valueBytes = type == 1 ? 2ull * valueLength : valueLength;
        NodeRole childRole = OTHER;
        switch (role)
        {
        case ROOT:
        {
            uint32_t signature;
            if (key != "VS_VERSION_INFO" || valueLength < 52 || value + 52 > end ||
                !read_.U32(value, &signature) || signature != FIXED_FILE_INFO_SIGNATURE ||
                !read_.U32(value + 8, &image_->version.fileVersionMS) ||
                !read_.U32(value + 12, &image_->version.fileVersionLS) ||
                !read_.U32(value + 16, &image_->version.productVersionMS) ||
                !read_.U32(value + 20, &image_->version.productVersionLS))
            {
                return "no fixed file information";
            }
            childRole = BLOCK;
            break;
        }
        case BLOCK:
            childRole = key == "StringFileInfo" ? STRING_TABLE : OTHER;
            break;
        case STRING_TABLE:
            childRole = STRING;
            break;
        case STRING:
        {
            std::string text;
            uint64_t unused;
            const uint64_t room = value < end ? (end - value) / 2 : 0;
            if (!read_.WideText(value, valueLength < room ? valueLength : room, &text, &unused))
            {
                return "version string unreadable";
            }
            image_->version.strings[key] = text;
            return "";
        }
        case OTHER:
            return "";
        }
        for (uint64_t child = Align4(value + valueBytes); child + 6 <= end;)
        {
            uint16_t childLength;
            if (!read_.U16(child, &childLength) || childLength == 0)
            {
                break;
            }
            std::string error = ParseVersionNode(child, end, childRole);
            if (!error.empty())
            {
                return error;
            }
            child = Align4(child + childLength);
        }
        return "";
    }

    PeImage *image_;
    Reader read_;
    std::vector<Section> sections_;
};
} // namespace

std::string ReadPeImage(const std::string &path, PeImage *image)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
    {
        return "cannot open " + path;
    }
    image->bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return Image(image).Parse();
}

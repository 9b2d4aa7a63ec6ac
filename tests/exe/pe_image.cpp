#include "pe_image.h"

#include <fstream>
#include <iterator>

namespace
{
const uint32_t PE_SIGNATURE = 0x00004550; // "PE\0\0"
const uint16_t PE32_MAGIC = 0x10b;
const int IMPORT_DIRECTORY = 1;
const int RESOURCE_DIRECTORY = 2;
const uint32_t RT_VERSION = 16;
const uint32_t FIXED_FILE_INFO_SIGNATURE = 0xFEEF04BD;
const uint32_t ORDINAL_FLAG = 0x80000000u;
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
            magic != PE32_MAGIC || !read_.U16(optional + 68, &image_->subsystem) ||
            !read_.U32(optional + 92, &directoryCount))
        {
            return "not a PE32 optional header";
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
            !read_.U32(optional + 96 + 8 * IMPORT_DIRECTORY, &importRva))
        {
            return "data directories cut short";
        }
        if (directoryCount > RESOURCE_DIRECTORY &&
            (!read_.U32(optional + 96 + 8 * RESOURCE_DIRECTORY, &resourceRva) ||
             !read_.U32(optional + 100 + 8 * RESOURCE_DIRECTORY, &unusedSize)))
        {
            return "data directories cut short";
        }
        std::string error = importRva ? ParseImports(importRva) : "";
        if (error.empty() && resourceRva)
        {
            error = ParseVersionResource(resourceRva);
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
            for (int j = 0; j < MAX_ITEMS; ++j, at += 4)
            {
                uint32_t entry;
                if (!read_.U32(at, &entry))
                {
                    return "import lookup table cut short";
                }
                if (entry == 0)
                {
                    break;
                }
                if (entry & ORDINAL_FLAG)
                {
                    import.ordinals.push_back(static_cast<uint16_t>(entry & 0xffff));
                    continue;
                }
                uint64_t hintName;
                std::string name;
                if (!Offset(entry, &hintName) || !read_.Text(hintName + 2, &name))
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

    std::string ParseVersionResource(uint32_t rva)
    {
        uint64_t base;
        if (!Offset(rva, &base))
        {
            return "resources outside every section";
        }
        uint32_t level = 0;
        // Type, then name (the first), then language (the first).
        const uint32_t wanted[3] = {RT_VERSION, 0, 0};
        for (uint32_t id : wanted)
        {
            if (!FindEntry(base, level & ~SUBDIRECTORY_FLAG, id, &level))
            {
                return "";
            }
            if (id == RT_VERSION && !(level & SUBDIRECTORY_FLAG))
            {
                return "version resource type is not a directory";
            }
        }
        if (level & SUBDIRECTORY_FLAG)
        {
            return "version resource nested too deep";
        }
        uint32_t dataRva, size;
        uint64_t data;
        if (!read_.U32(base + level, &dataRva) || !read_.U32(base + level + 4, &size) ||
            !Offset(dataRva, &data) || data + size > image_->bytes.size())
        {
            return "version resource data unreadable";
        }
        image_->hasVersion = true;
        return ParseVersionNode(data, data + size, ROOT);
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

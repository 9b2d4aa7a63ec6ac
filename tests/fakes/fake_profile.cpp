#include "fake_profile.h"

#include "fake_platform.h"

#include <stdio.h>
#include <string.h>

#include <mutex>

namespace
{
std::mutex g_mutex;
std::vector<FakeProfileCall> g_calls;

void Reset()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.clear();
}
FAKE_REGISTER_RESET(Reset);

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string Trim(const std::string &text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
    {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1]))
    {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool SameName(const std::string &a, const char *b)
{
    return a.size() == strlen(b) && strncasecmp(a.c_str(), b, a.size()) == 0;
}

bool ReadWholeFile(const char *path, std::string *content)
{
    FILE *file = fopen(path, "rb");
    if (file == NULL)
    {
        return false;
    }
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
    {
        content->append(chunk, n);
    }
    fclose(file);
    return true;
}

// Finds key in the first section named section; false when the file, the
// section or the key is missing.
bool LookUp(const char *fileName, const char *section, const char *key, std::string *value)
{
    std::string content;
    if (!ReadWholeFile(fileName, &content))
    {
        return false;
    }
    bool inSection = false;
    bool sectionSeen = false;
    size_t pos = 0;
    while (pos < content.size())
    {
        size_t eol = content.find('\n', pos);
        if (eol == std::string::npos)
        {
            eol = content.size();
        }
        std::string line = Trim(content.substr(pos, eol - pos));
        pos = eol + 1;

        if (!line.empty() && line[0] == '[')
        {
            if (inSection)
            {
                return false; // only the first section of the name counts
            }
            size_t close = line.find(']');
            std::string name =
                Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            inSection = !sectionSeen && SameName(name, section);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection || line.empty())
        {
            continue;
        }
        size_t equals = line.find('=');
        std::string name = Trim(line.substr(0, equals));
        if (!SameName(name, key))
        {
            continue;
        }
        if (equals == std::string::npos)
        {
            return false; // a key without "=" has no value: the default stands
        }
        *value = Trim(line.substr(equals + 1));
        if (value->size() >= 2 && ((*value)[0] == '"' || (*value)[0] == '\'') &&
            value->back() == (*value)[0])
        {
            *value = value->substr(1, value->size() - 2);
        }
        return true;
    }
    return false;
}

std::string DefaultText(const char *defaultValue)
{
    std::string text = defaultValue == NULL ? std::string() : std::string(defaultValue);
    while (!text.empty() && text.back() == ' ')
    {
        text.pop_back();
    }
    return text;
}

std::string Text(const char *text)
{
    return text == NULL ? std::string() : std::string(text);
}
} // namespace

DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue,
                                      LPSTR returned, DWORD size, LPCSTR fileName)
{
    std::string value;
    if (section == NULL || key == NULL)
    {
        value.clear();
    }
    else if (fileName == NULL || !LookUp(fileName, section, key, &value))
    {
        value = DefaultText(defaultValue);
    }

    DWORD copied = 0;
    if (size > 0)
    {
        copied = value.size() < size - 1 ? (DWORD)value.size() : size - 1;
        memcpy(returned, value.data(), copied);
        returned[copied] = '\0';
    }

    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.push_back(FakeProfileCall{
        section == NULL, Text(section), key == NULL, Text(key), defaultValue == NULL,
        Text(defaultValue), size, fileName == NULL, Text(fileName),
        size > 0 ? std::string(returned, copied) : std::string(), copied});
    return copied;
}

std::vector<FakeProfileCall> FakeProfileCalls()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_calls;
}

// A temporary folder for the tests that go through real files, and the
// byte-exact file writing they need.  It does without the test framework so
// that the fuzz targets can use it too: failures come back as results for the
// caller to assert on.
#ifndef TAVRIN_TESTS_SUPPORT_TEMP_DIR_H
#define TAVRIN_TESTS_SUPPORT_TEMP_DIR_H

#include <ftw.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

// Replaces the file's content with exactly these bytes.
inline bool WriteFileBytes(const std::string &path, const void *data, size_t size)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr)
    {
        return false;
    }
    bool written = fwrite(data, 1, size, file) == size;
    return fclose(file) == 0 && written;
}

inline bool WriteFileBytes(const std::string &path, const std::string &bytes)
{
    return WriteFileBytes(path, bytes.data(), bytes.size());
}

// A folder under /tmp, removed with everything in it when the object goes.
// Links inside are removed, never followed.
class TempDir
{
  public:
    TempDir() = default;
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    ~TempDir()
    {
        Remove();
    }

    // Makes "/tmp/<prefix>-XXXXXX" with a unique ending.
    bool Create(const char *prefix)
    {
        std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr)
        {
            return false;
        }
        path_ = pattern;
        return true;
    }

    const std::string &Path() const
    {
        return path_;
    }

    // Removes the folder now; true when all of it went (or there was none).
    bool Remove()
    {
        if (path_.empty())
        {
            return true;
        }
        const int OPEN_DIRS = 16;
        bool removed = nftw(path_.c_str(), RemoveEntry, OPEN_DIRS, FTW_DEPTH | FTW_PHYS) == 0;
        path_.clear();
        return removed;
    }

  private:
    static int RemoveEntry(const char *path, const struct stat *, int, struct FTW *)
    {
        return remove(path);
    }

    std::string path_;
};

#endif

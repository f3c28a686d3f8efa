// A folder of its own for a fuzz target's files, made once per process and
// removed at its normal end.
// Files are named by full path: the target never changes directory, so the
// fuzzer's relative paths (corpus, crash files) keep their meaning.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <stdlib.h>

namespace fuzzing {

inline const std::string& private_folder(const char* target)
{
    // Kept for the whole process (the removal at exit still needs it).
    static const std::string* folder = nullptr;
    if (!folder) {
        std::string name = (std::filesystem::temp_directory_path() / target).string() + ".XXXXXX";
        if (!mkdtemp(name.data())) std::abort();
        folder = new std::string(name);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(*folder, ignored);
        });
    }
    return *folder;
}

inline void write_file(const std::string& path, const void* data, std::size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

}  // namespace fuzzing

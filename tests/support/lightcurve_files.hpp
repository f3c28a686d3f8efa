// A private folder for the files a test writes, removed with them.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace lightcurve_test {

class Folder {
public:
    Folder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "lightcurve.XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
        path_ = pattern;
    }
    ~Folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // Writes the file and returns its full name.
    std::string write(const std::string& name, const std::string& content) const
    {
        const std::string file = (path_ / name).string();
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }
    std::string name(const std::string& file) const { return (path_ / file).string(); }

private:
    std::filesystem::path path_;
};

// The whole content of a file, byte for byte ("" when it cannot be read).
inline std::string content(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names of the files in a folder, sorted.
inline std::vector<std::string> files_in(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The real TESS light-curve file bundled in examples/.
inline std::string tess_file()
{
    const std::string here = __FILE__;
    return here.substr(0, here.rfind("/tests/")) +
           "/examples/hlsp_tess-spoc_tess_phot_0000000022876651-s0058_tess_v1_lc.fits";
}

}  // namespace lightcurve_test

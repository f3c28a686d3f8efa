// Fixed-length texts: blank-padded fields as the programs hold file names,
// titles and labels.  Assigning a longer value cuts it, a shorter one is
// filled with blanks; two texts compare equal when they agree after both are
// blank-filled to the same length.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace common {

class Text {
public:
    explicit Text(std::size_t length = 70) : s_(length, ' ') {}
    Text(std::size_t length, std::string_view value) : s_(length, ' ') { assign(value); }

    void assign(std::string_view value)
    {
        std::size_t n = value.size() < s_.size() ? value.size() : s_.size();
        s_.replace(0, n, value.substr(0, n));
        s_.replace(n, s_.size() - n, s_.size() - n, ' ');
    }
    Text& operator=(std::string_view value) { assign(value); return *this; }

    std::size_t length() const { return s_.size(); }
    // The whole field, trailing blanks included.
    const std::string& str() const { return s_; }
    // The field without its trailing blanks: the name of a file on disk.
    std::string_view trimmed() const
    {
        std::size_t end = s_.find_last_not_of(' ');
        return end == std::string::npos ? std::string_view() : std::string_view(s_).substr(0, end + 1);
    }
    char operator[](std::size_t i) const { return s_[i]; }

    friend bool operator==(const Text& a, std::string_view b) { return blank_equal(a.s_, b); }
    friend bool operator==(const Text& a, const Text& b) { return blank_equal(a.s_, b.s_); }

private:
    static bool blank_equal(std::string_view a, std::string_view b)
    {
        std::size_t n = a.size() > b.size() ? a.size() : b.size();
        for (std::size_t i = 0; i < n; ++i) {
            char ca = i < a.size() ? a[i] : ' ';
            char cb = i < b.size() ? b[i] : ' ';
            if (ca != cb) return false;
        }
        return true;
    }

    std::string s_;
};

}  // namespace common

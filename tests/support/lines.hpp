// An in-memory line source for the readers: lines end at LF, a CR before
// the LF and a last line without LF belong to the line end, as on a channel.
#pragma once

#include <string>

#include "common/format.hpp"

class StringLines : public common::LineSource {
public:
    explicit StringLines(std::string text) : text_(std::move(text)) {}

    bool next_line(std::string& line) override
    {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string::npos) end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pos_ = end + 1;
        ++lines;
        return true;
    }

    int lines = 0;

private:
    std::string text_;
    std::size_t pos_ = 0;
};

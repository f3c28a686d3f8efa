// The values a write takes and the targets a read fills.  Both are thin
// references, built implicitly at the call site, so that a write reads as
// write_free(6, {"Aantal stappen  = ", nf}) and a read as
// read_free(5, {freq, nharm}).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/text.hpp"

namespace common {

class Value {
public:
    enum class Kind { text, integer, real, single };

    Value(const char* s) : kind_(Kind::text), text_(s) {}
    Value(std::string_view s) : kind_(Kind::text), text_(s) {}
    Value(const std::string& s) : kind_(Kind::text), text_(s) {}
    Value(const Text& t) : kind_(Kind::text), text_(t.str()) {}
    Value(int i) : kind_(Kind::integer), integer_(i) {}
    Value(long i) : kind_(Kind::integer), integer_(i) {}
    Value(long long i) : kind_(Kind::integer), integer_(i) {}
    Value(double d) : kind_(Kind::real), real_(d) {}
    // A single-precision value: formatted fields widen it exactly; a free
    // write shows its own shortest form.
    Value(float f) : kind_(Kind::single), real_(f) {}

    Kind kind() const { return kind_; }
    std::string_view text() const { return text_; }
    std::int64_t integer() const { return integer_; }
    double real() const { return real_; }

private:
    Kind kind_;
    std::string_view text_;
    std::int64_t integer_ = 0;
    double real_ = 0.0;
};

class Target {
public:
    enum class Kind { integer, real, single, text };

    Target(int& i) : kind_(Kind::integer), p_(&i) {}
    Target(double& d) : kind_(Kind::real), p_(&d) {}
    Target(float& f) : kind_(Kind::single), p_(&f) {}
    Target(Text& t) : kind_(Kind::text), p_(&t) {}

    Kind kind() const { return kind_; }
    int& integer() const { return *static_cast<int*>(p_); }
    double& real() const { return *static_cast<double*>(p_); }
    float& single() const { return *static_cast<float*>(p_); }
    Text& text() const { return *static_cast<Text*>(p_); }

private:
    Kind kind_;
    void* p_;
};

}  // namespace common

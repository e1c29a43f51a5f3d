#pragma once
// A line's values over the patterns driven so far, one bit a pattern: what an
// output was driven to, or what an input read.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cli::selftest {

class Column {
public:
    void push(bool bit) {
        if (size_ % 64 == 0)
            words_.push_back(0);
        if (bit)
            words_.back() |= std::uint64_t{1} << size_ % 64;
        ++size_;
    }
    bool at(std::size_t pattern) const { return (words_[pattern / 64] >> pattern % 64 & 1) != 0; }
    std::size_t size() const { return size_; }

    // Every 1 here is a 1 there too.
    bool within(const Column& other) const {
        for (std::size_t i = 0; i < words_.size(); ++i)
            if ((words_[i] & ~other.words_[i]) != 0)
                return false;
        return true;
    }
    bool none() const {
        for (std::uint64_t word : words_)
            if (word != 0)
                return false;
        return true;
    }
    bool all() const {
        for (std::size_t pattern = 0; pattern < size_; ++pattern)
            if (!at(pattern))
                return false;
        return true;
    }

    Column& operator&=(const Column& other) {
        for (std::size_t i = 0; i < words_.size(); ++i)
            words_[i] &= other.words_[i];
        return *this;
    }
    Column& operator|=(const Column& other) {
        for (std::size_t i = 0; i < words_.size(); ++i)
            words_[i] |= other.words_[i];
        return *this;
    }
    friend bool operator==(const Column& a, const Column& b) { return a.words_ == b.words_; }
    friend bool operator<(const Column& a, const Column& b) { return a.words_ < b.words_; }

private:
    std::vector<std::uint64_t> words_;
    std::size_t size_ = 0;
};

} // namespace cli::selftest

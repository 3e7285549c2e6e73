// The record lines of the file image. They are kept in one buffer with the end of each line, so memory
// follows the size of the file and not its number of lines: a file of nothing but line breaks would
// otherwise cost a string object (32 bytes and more) for every byte it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::firmware {

class ImageLineList {
public:
    class const_iterator {
    public:
        // The lines are handed out as views, not as references to stored strings.
        using iterator_category = std::input_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator() = default;
        const_iterator(const ImageLineList* list, std::size_t index) : list_(list), index_(index) {}
        std::string_view operator*() const { return (*list_)[index_]; }
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++index_;
            return before;
        }
        friend bool operator==(const const_iterator&, const const_iterator&) = default;

    private:
        const ImageLineList* list_ = nullptr;
        std::size_t index_ = 0;
    };
    using iterator = const_iterator;
    using value_type = std::string_view;

    ImageLineList() = default;
    ImageLineList(std::initializer_list<std::string_view> lines);
    explicit ImageLineList(const std::vector<std::string>& lines);
    ImageLineList& operator=(std::initializer_list<std::string_view> lines);
    ImageLineList& operator=(const std::vector<std::string>& lines);

    // Room for this many lines of this many characters in all, so that loading a file whose lines were
    // counted first allocates once.
    void reserve(std::size_t lines, std::size_t characters);
    // Raises std::length_error once the lines would hold 4 GiB or more.
    void push_back(std::string_view line);
    // Empties the list and gives its memory back.
    void clear();

    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    std::string_view operator[](std::size_t index) const;
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }
    // The memory the list holds, for the benchmarks.
    std::size_t CapacityBytes() const { return text_.capacity() + ends_.capacity() * sizeof(std::uint32_t); }

    friend bool operator==(const ImageLineList& a, const ImageLineList& b) {
        return a.ends_ == b.ends_ && a.text_ == b.text_;
    }
    friend bool operator==(const ImageLineList& a, const std::vector<std::string>& b);

private:
    std::string text_;                 // every line, one after the other, without line breaks
    std::vector<std::uint32_t> ends_;  // where each line ends in text_; the next one starts there
};

}  // namespace vantrel::firmware

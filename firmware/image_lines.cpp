#include "firmware/image_lines.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace vantrel::firmware {

ImageLineList::ImageLineList(std::initializer_list<std::string_view> lines) { *this = lines; }

ImageLineList::ImageLineList(const std::vector<std::string>& lines) { *this = lines; }

ImageLineList& ImageLineList::operator=(std::initializer_list<std::string_view> lines) {
    ImageLineList list;
    for (const std::string_view line : lines) list.push_back(line);
    return *this = std::move(list);
}

ImageLineList& ImageLineList::operator=(const std::vector<std::string>& lines) {
    ImageLineList list;
    std::size_t characters = 0;
    for (const std::string& line : lines) characters += line.size();
    list.reserve(lines.size(), characters);
    for (const std::string& line : lines) list.push_back(line);
    return *this = std::move(list);
}

void ImageLineList::reserve(std::size_t lines, std::size_t characters) {
    ends_.reserve(lines);
    text_.reserve(characters);
}

void ImageLineList::push_back(std::string_view line) {
    if (line.size() > std::numeric_limits<std::uint32_t>::max() - text_.size()) {
        throw std::length_error("image lines of 4 GiB or more");
    }
    text_.append(line);
    ends_.push_back(static_cast<std::uint32_t>(text_.size()));
}

// Swapped with empty ones rather than assigned: a string assigned an empty one keeps its buffer.
void ImageLineList::clear() {
    std::string().swap(text_);
    std::vector<std::uint32_t>().swap(ends_);
}

std::string_view ImageLineList::operator[](std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(text_).substr(begin, ends_[index] - begin);
}

bool operator==(const ImageLineList& a, const std::vector<std::string>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace vantrel::firmware

// Hashed and ordered text containers that find a std::string_view key
// without building a std::string first: the matcher and the scan look texts
// up many thousand times a second.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};
template <class Value>
using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;
using TextHashSet = std::unordered_set<std::string, TextHash, std::equal_to<>>;
using TextSet = std::set<std::string, std::less<>>;

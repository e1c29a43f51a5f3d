#pragma once
// An enumeration's names, one table beside it from which its names, its
// look-ups and its lists of choices are all made.

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace convert {

template <typename E> struct Named {
    E value;
    const char* name;           // as programs read it: "stuck-0", "pass", "json"
    const char* word = nullptr; // as people read it, where it has one: "固定为 0"
};

template <typename E, std::size_t N> const Named<E>& entryOf(const Named<E> (&table)[N], E value) {
    for (const Named<E>& entry : table)
        if (entry.value == value)
            return entry;
    throw std::logic_error("a value missing from its table of names");
}

template <typename E, std::size_t N> std::string nameIn(const Named<E> (&table)[N], E value) {
    return entryOf(table, value).name;
}

// The value of that name, or none for a name the table does not have.
template <typename E, std::size_t N>
std::optional<E> valueNamed(const Named<E> (&table)[N], std::string_view name) {
    for (const Named<E>& entry : table)
        if (name == entry.name)
            return entry.value;
    return std::nullopt;
}

// "text、hex、bits" (in the table's order) with the separator given.
template <typename E, std::size_t N>
std::string namesIn(const Named<E> (&table)[N], const std::string& separator,
                    const std::string& quote = "") {
    std::string names;
    for (const Named<E>& entry : table)
        names += (names.empty() ? "" : separator) + quote + entry.name + quote;
    return names;
}

} // namespace convert

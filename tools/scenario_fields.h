// Reading the fields of a scenario file: every section's reader (scenario_*.cpp) and the SDK
// calls take their values through these, so that each bad field is refused the same way,
// with its path ("volumes[1].letter") in the message.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <set>
#include <string>
#include <type_traits>
#include <utility>

namespace scenario {

// Throws std::runtime_error "<where>: <why>".
[[noreturn]] void Bad(const std::string& where, const std::string& why);

// Rejects keys the format does not know, so that a misspelt field is an error rather than
// a silently different machine.
void OnlyKeys(const nlohmann::json& object, const std::string& where,
              const std::set<std::string>& allowed);

// The field `key` of `object` as a T, `fallback` when absent; another type is an error.
template <typename T>
T Get(const nlohmann::json& object, const char* key, const std::string& where, T fallback) {
    if (!object.contains(key)) return fallback;
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
        // A fraction or a number out of T's range would convert to some other number.
        const nlohmann::json& value = object.at(key);
        bool fits =
            value.is_number_unsigned()
                ? value.get<uint64_t>() <= static_cast<uint64_t>(std::numeric_limits<T>::max())
            : value.is_number_integer()
                ? value.get<int64_t>() >= static_cast<int64_t>(std::numeric_limits<T>::min()) &&
                      (value.get<int64_t>() < 0 ||
                       static_cast<uint64_t>(value.get<int64_t>()) <=
                           static_cast<uint64_t>(std::numeric_limits<T>::max()))
                : false;
        if (!fits) Bad(where + "." + key, value.is_number() ? "out of range" : "wrong type");
    }
    try {
        return object.at(key).get<T>();
    } catch (const nlohmann::json::exception&) {
        Bad(where + "." + key, "wrong type");
    }
}

// Calls apply(item, "key[k]") for each item of the list `key` of `object`, if it has one.
template <typename F>
void Each(const nlohmann::json& object, const char* key, F apply) {
    if (!object.contains(key)) return;
    const nlohmann::json& list = object.at(key);
    if (!list.is_array()) Bad(key, "expected a list");
    for (size_t k = 0; k < list.size(); ++k)
        apply(list[k], std::string(key) + "[" + std::to_string(k) + "]");
}

// The value a field's name stands for, from a table of the names it may take.
template <typename T>
T ByName(const std::string& name, std::initializer_list<std::pair<const char*, T>> table,
         const std::string& where) {
    std::string names;
    for (const auto& entry : table) {
        if (name == entry.first) return entry.second;
        names += (names.empty() ? "" : ", ") + std::string(entry.first);
    }
    Bad(where, "\"" + name + "\" is not one of " + names);
}

// The drive letter of an object's "letter" field, A to Z.
char Letter(const nlohmann::json& object, const std::string& where);

// A library the program loads: "installed" (true when absent) and "missingEntries", the
// names of the entry points it lacks.
void LibraryFields(const nlohmann::json& object, const std::string& where, bool* installed,
                   std::set<std::string>* missingEntries);

}  // namespace scenario

// JSON as the program writes it: every object goes out through JsonText, so
// that a name that is not UTF-8 can never stop or break the output.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

// ordered_json: the fields come out in the order they are set.
using Json = nlohmann::ordered_json;

// The value on one line, without a line break. Names need not be valid UTF-8
// (a POSIX name is any bytes): such bytes become U+FFFD instead of stopping
// the dump.
std::string JsonText(const Json& value);

// The value, or null when there is none.
template <typename T>
Json Nullable(const std::optional<T>& value) {
    return value ? Json(*value) : Json();
}

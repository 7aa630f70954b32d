#pragma once
// Paths in JSON reports, kept whole. JSON text must be UTF-8, and file names need not be: a name
// that is not valid UTF-8 is written with replacement characters for people to read, beside a
// "<key>_bytes" field holding its bytes in base64, which merging and pairing use.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace vemilo::archive {

bool isValidUtf8(const std::string& text);

// Sets object[key] to the text (or null), and object[key + "_bytes"] when the text is not UTF-8.
void putName(nlohmann::ordered_json& object, const std::string& key, const std::optional<std::string>& text);

// The name object[key] stands for: its bytes from key + "_bytes" when present, else its text.
// Nothing when the bytes field is not valid base64.
std::optional<std::string> nameOf(const nlohmann::ordered_json& object, const std::string& key);

// The same for a list of names: object[key] their texts, object[key + "_bytes"] all their bytes
// when any is not UTF-8. nameListOf: nothing when the field is no list of strings or bad base64.
void putNameList(nlohmann::ordered_json& object, const std::string& key, const std::vector<std::string>& texts);
std::optional<std::vector<std::string>> nameListOf(const nlohmann::ordered_json& object, const std::string& key);

}  // namespace vemilo::archive

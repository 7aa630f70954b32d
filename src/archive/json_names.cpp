#include "archive/json_names.h"

#include <nettle/base64.h>

#include <algorithm>
#include <vector>

namespace vemilo::archive {
namespace {

// The length of the UTF-8 sequence at text[at], or 0 when none starts there (overlong forms,
// surrogates and code points past U+10FFFF included).
size_t sequenceLength(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    }
    return length;
}

std::string withReplacementCharacters(const std::string& text) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const size_t length = sequenceLength(text, at);
        if (length == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++at;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

std::string base64(const std::string& bytes) {
    std::string encoded(BASE64_ENCODE_RAW_LENGTH(bytes.size()), '\0');
    base64_encode_raw(encoded.data(), bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()));
    return encoded;
}

std::optional<std::string> fromBase64(const std::string& text) {
    base64_decode_ctx context;
    base64_decode_init(&context);
    std::vector<uint8_t> decoded(BASE64_DECODE_LENGTH(text.size()) + 1);
    size_t length = decoded.size();
    if (!base64_decode_update(&context, &length, decoded.data(), text.size(), text.data()) ||
        !base64_decode_final(&context)) {
        return std::nullopt;
    }
    return std::string(decoded.begin(), decoded.begin() + static_cast<std::ptrdiff_t>(length));
}

}  // namespace

bool isValidUtf8(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        const size_t length = sequenceLength(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

void putName(nlohmann::ordered_json& object, const std::string& key, const std::optional<std::string>& text) {
    if (!text) {
        object[key] = nullptr;
        return;
    }
    if (isValidUtf8(*text)) {
        object[key] = *text;
        return;
    }
    object[key] = withReplacementCharacters(*text);
    object[key + "_bytes"] = base64(*text);
}

std::optional<std::string> nameOf(const nlohmann::ordered_json& object, const std::string& key) {
    const auto bytes = object.find(key + "_bytes");
    if (bytes != object.end()) {
        if (!bytes->is_string()) return std::nullopt;
        return fromBase64(bytes->get<std::string>());
    }
    const auto text = object.find(key);
    if (text == object.end() || !text->is_string()) return std::string();
    return text->get<std::string>();
}

void putNameList(nlohmann::ordered_json& object, const std::string& key, const std::vector<std::string>& texts) {
    const bool allUtf8 = std::all_of(texts.begin(), texts.end(), isValidUtf8);
    nlohmann::ordered_json shown = nlohmann::ordered_json::array(), bytes = nlohmann::ordered_json::array();
    for (const std::string& text : texts) {
        shown.push_back(isValidUtf8(text) ? text : withReplacementCharacters(text));
        bytes.push_back(base64(text));
    }
    object[key] = std::move(shown);
    if (!allUtf8) object[key + "_bytes"] = std::move(bytes);
}

std::optional<std::vector<std::string>> nameListOf(const nlohmann::ordered_json& object, const std::string& key) {
    const auto bytes = object.find(key + "_bytes");
    const bool fromBytes = bytes != object.end();
    const auto list = fromBytes ? bytes : object.find(key);
    if (list == object.end() || !list->is_array()) return std::nullopt;
    std::vector<std::string> names;
    for (const auto& item : *list) {
        if (!item.is_string()) return std::nullopt;
        if (!fromBytes) {
            names.push_back(item.get<std::string>());
            continue;
        }
        const auto decoded = fromBase64(item.get<std::string>());
        if (!decoded) return std::nullopt;
        names.push_back(*decoded);
    }
    return names;
}

}  // namespace vemilo::archive

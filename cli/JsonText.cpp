#include "cli/JsonText.h"

#include <algorithm>
#include <cstdio>

#include "platform/Profile.h"

namespace odomei::cli {
namespace {

std::string Hex(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(c));
        out += pair;
    }
    return out;
}

}  // namespace

std::string Quoted(const std::string& text) {
    // Most texts need nothing escaped: those as they are (a million records' history has four
    // texts each).
    const bool plain = std::none_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\';
    });
    if (plain && IsValidUtf8(text)) return '"' + text + '"';
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

namespace {

bool Invalid(const nlohmann::json& value) {
    return value.is_string() && !IsValidUtf8(value.get_ref<const std::string&>());
}

// Replaces an invalid string by its valid form and gives its bytes; null for any other value.
nlohmann::json Mend(nlohmann::json& value) {
    if (!Invalid(value)) return nullptr;
    const std::string bytes = value.get<std::string>();
    value = nlohmann::json::parse(Quoted(bytes));
    return Hex(bytes);
}

}  // namespace

std::string JsonTextMember(const std::string& key, const std::string& text, const char* hexSuffix) {
    std::string member = Quoted(key) + ": " + Quoted(text);
    if (!IsValidUtf8(text)) member += ", " + Quoted(key + hexSuffix) + ": " + Quoted(Hex(text));
    return member;
}

void MendUtf8(nlohmann::json& document, const char* hexSuffix) {
    if (document.is_array()) {
        for (nlohmann::json& element : document) {
            Mend(element);
            MendUtf8(element, hexSuffix);
        }
        return;
    }
    if (!document.is_object()) return;
    nlohmann::json beside = nlohmann::json::object();
    for (auto& [key, member] : document.items()) {
        if (member.is_array() && std::any_of(member.begin(), member.end(), Invalid)) {
            nlohmann::json bytes = nlohmann::json::array();
            for (nlohmann::json& element : member) bytes.push_back(Mend(element));
            beside[key + hexSuffix] = std::move(bytes);
        }
        if (nlohmann::json bytes = Mend(member); !bytes.is_null()) beside[key + hexSuffix] = bytes;
        MendUtf8(member, hexSuffix);
    }
    document.update(beside);
}

}  // namespace odomei::cli

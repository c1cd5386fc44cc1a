// Texts from outside the program in odomei-cli's JSON (paths, names the system gives, what the
// meter or a logbook holds): the output is always valid UTF-8. A text that is not (a folder name
// in CP932 unzipped from Windows) is written with U+FFFD for each byte that is not UTF-8, and its
// bytes in hexadecimal in a member of their own beside it, so nothing of it is lost.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace odomei::cli {

// How the member beside a text is named: "dateText" gets "dateTextHex", "path" gets "path_hex".
constexpr const char* kHexSuffix = "Hex";
constexpr const char* kSnakeHexSuffix = "_hex";

// The text as a JSON string, each byte that is not UTF-8 made U+FFFD.
std::string Quoted(const std::string& text);
// `"key": "text"` for an object written member by member, with `, "keyHex": "..."` after it when
// text is not UTF-8.
std::string JsonTextMember(const std::string& key, const std::string& text,
                           const char* hexSuffix = kHexSuffix);

// The same for a document built as a value: every string in it made valid, at any depth. A member
// that was not valid gets its bytes beside it; an array holding such a string gets an array beside
// it with the bytes of each of those strings (null for the others).
void MendUtf8(nlohmann::json& document, const char* hexSuffix);

}  // namespace odomei::cli

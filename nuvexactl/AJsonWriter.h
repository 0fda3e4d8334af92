#pragma once
// AJsonWriter builds one JSON text: objects, arrays, keys, strings and
// integers, with the separators put in for the caller. Strings are escaped as
// JSON requires (quotes, backslashes, control characters as \u00XX); UTF-8
// passes through, and bytes that are not valid UTF-8 become U+FFFD, so the
// text stays valid JSON whatever a launch argument holds.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class AJsonWriter {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    void Key(std::string_view key);
    void String(std::string_view value);
    void Number(int64_t value);

    const std::string& GetText() const { return fText; }

    // The value as a quoted, escaped JSON string.
    static std::string Quote(std::string_view value);

private:
    void BeginValue();

    std::string fText;
    std::vector<bool> fScopeHasMembers;
    bool fAfterKey = false;
};

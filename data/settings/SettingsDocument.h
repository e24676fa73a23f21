#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

// A typed value of the store: an integer, a string or a day-count date.
using SettingsValue = std::variant<int32_t, std::string, double>;

// The text of the settings file, line by line:
//
//   ; ZQ Manager settings                     (comment: ';' or '#')
//   [Software\Halbrec\ZURavorav\ChanelSetup]  (section: the key path)
//   "ComPortName"="COM1"                      (string; \\ \" \n \r escaped)
//   "CurrentChanel"=int:0                     (32-bit signed integer)
//   "StartInterval"=date:40909                (day-count date, finite)
//
// A value line counts only inside a valid section; of several lines of one
// name in one key the last counts. Every other line (comments, values of
// other types such as hex: or dword:, lines that cannot be parsed, sections
// with a malformed name) is not understood: it stays byte for byte where it
// stood, and a value line that cannot be parsed counts as a missing value.
// Edits touch only the lines of the values they change, so the text of an
// unchanged document is the text it was parsed from.
class SettingsDocument {
public:
    struct Entry {
        std::string key;
        std::string name;
        SettingsValue value;
        bool operator==(const Entry&) const = default;
    };

    // Any bytes; lines end at '\n' (a '\r' before it belongs to the line end).
    static SettingsDocument Parse(std::string_view text);
    std::string Text() const;

    // The value that counts, or null. `key` is written with backslashes.
    const SettingsValue* Find(const std::string& key, const std::string& name) const;

    // Sets a value: the line that counted is rewritten in place (left alone
    // when it already holds the value), else a line is added at the end of
    // the key's last section, else a new section at the end of the text.
    // Strings are stored up to a NUL, as UTF-8 (invalid bytes replaced).
    // False, changing nothing, for a key or name the file cannot hold or a
    // date that is not finite.
    bool Set(const std::string& key, const std::string& name, const SettingsValue& value);

    // Removes the sections of `key` and of every key below it, with the
    // lines in them; comments just above the next section stay with it.
    void RemoveKey(const std::string& key);

    // Names of the keys directly below `key` that hold values, sorted.
    std::vector<std::string> SubKeys(const std::string& key) const;

    // Every value that counts, sorted by key and name.
    std::vector<Entry> Entries() const;

    // The lines that are not understood, each with its line end, in order.
    std::vector<std::string> ForeignLines() const;

private:
    enum class LineKind { Blank, Comment, Header, BadHeader, Value, Foreign };
    struct Line {
        std::string text;  // as in the file, line end included
        LineKind kind = LineKind::Foreign;
        std::string section;  // Header: its key; Value: the key of its section
        std::string name;     // Value
        SettingsValue value;  // Value
    };

    static Line ParseLine(std::string text, const std::string& section, bool inSection);
    void RebuildIndex();
    // Index of the last line of the block that starts at `header` (the lines
    // up to the next section line) that is neither blank nor a comment.
    size_t LastContentLine(size_t header) const;
    // The line end to use for a line added after line `at`.
    std::string LineEndAfter(size_t at) const;
    void EnsureLineEnd(size_t at);

    std::vector<Line> lines_;
    // (key, name) -> index of the line that counts.
    std::map<std::pair<std::string, std::string>, size_t> index_;
};

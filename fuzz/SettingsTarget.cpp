// The settings file parser on any text the store would read (no NUL, no
// UTF-16/32 byte-order mark, at most 1 MB): an untouched file is written back
// byte for byte; setting values, adding keys and removing one loses nothing
// else: after writing and parsing again every other value and every line
// the store does not understand is still there, in order.
#include "FuzzInput.h"
#include "SettingsDocument.h"
#include "SettingsStore.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string WithoutLineEnd(std::string line) {
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    return line;
}

std::vector<std::string> Foreign(const SettingsDocument& doc) {
    std::vector<std::string> lines = doc.ForeignLines();
    std::transform(lines.begin(), lines.end(), lines.begin(), WithoutLineEnd);
    return lines;
}

// Writes `doc` out and parses it again: the same values, the same lines.
SettingsDocument WriteAndParse(const SettingsDocument& doc) {
    const std::string text = doc.Text();
    SettingsDocument again = SettingsDocument::Parse(text);
    FUZZ_CHECK(again.Text() == text, "a text not kept as it was");
    FUZZ_CHECK(again.Entries() == doc.Entries(), "values changed by writing and parsing");
    FUZZ_CHECK(Foreign(again) == Foreign(doc), "lines lost by writing and parsing");
    return again;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (size > static_cast<size_t>(kSettingsFileMaxSize) || text.find('\0') != text.npos ||
        (size >= 2 && (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF"))) {
        return 0;
    }
    SettingsDocument doc = SettingsDocument::Parse(text);
    FUZZ_CHECK(doc.Text() == text, "an untouched file changed");
    const std::vector<SettingsDocument::Entry> entries = doc.Entries();
    const std::vector<std::string> foreign = Foreign(doc);

    // Every value set to what it holds: nothing changes.
    for (const SettingsDocument::Entry& e : entries) {
        FUZZ_CHECK(doc.Set(e.key, e.name, e.value), "a value read cannot be written");
    }
    FUZZ_CHECK(doc.Text() == text, "setting values to what they hold changed the file");

    // What the program writes: its records, a modem with a name that needs
    // escaping, new values in keys that exist or not.
    const std::string modem = std::string(kModemsKey) + "\\Модем \"2\"";
    FUZZ_CHECK(doc.Set(kChanelSetupKey, "NetAddress", int32_t{247}), "an integer refused");
    FUZZ_CHECK(doc.Set(kChanelSetupKey, "ComPortName", std::string("COM\"9\"\\\n")),
               "a string refused");
    FUZZ_CHECK(doc.Set(kReadSettingsKey, "StartInterval", 46364.5), "a date refused");
    FUZZ_CHECK(doc.Set(modem, "Port", std::string("/dev/ttyUSB0")), "a new key refused");
    FUZZ_CHECK(doc.Find(kChanelSetupKey, "NetAddress") &&
                   *doc.Find(kChanelSetupKey, "NetAddress") == SettingsValue(int32_t{247}),
               "a value set is not read");
    if (!entries.empty()) {
        const SettingsDocument::Entry& e = entries[size % entries.size()];
        FUZZ_CHECK(doc.Set(e.key, e.name, std::string("changed")), "a changed type refused");
    }
    // A file that was empty gets the store's heading comment.
    std::vector<std::string> kept = Foreign(doc);
    if (text.empty() && !kept.empty()) {
        kept.erase(kept.begin());
    }
    FUZZ_CHECK(kept == foreign, "a write dropped a line it does not understand");
    SettingsDocument again = WriteAndParse(doc);
    const std::vector<std::string> modems = again.SubKeys(kModemsKey);
    FUZZ_CHECK(std::find(modems.begin(), modems.end(), "Модем \"2\"") != modems.end(),
               "a new key is not listed");

    // Removing a key takes its values and nothing outside it.
    again.RemoveKey(kModemsKey);
    FUZZ_CHECK(again.SubKeys(kModemsKey).empty(), "a removed key is still listed");
    for (const SettingsDocument::Entry& e : doc.Entries()) {
        const bool inside =
            e.key == kModemsKey || e.key.rfind(std::string(kModemsKey) + "\\", 0) == 0;
        const SettingsValue* found = again.Find(e.key, e.name);
        FUZZ_CHECK(inside ? found == nullptr : found != nullptr && *found == e.value,
                   "removing a key changed another");
    }
    WriteAndParse(again);
    return 0;
}

#include "SettingsDocument.h"

#include <QString>

#include <cmath>
#include <set>

namespace {

constexpr const char* kFileComment = "; ZQ Manager settings\n";

QString EscapeString(const QString& s) {
    QString out;
    out.reserve(s.size() + 2);
    for (QChar c : s) {
        if (c == u'\\' || c == u'"') {
            out += u'\\';
            out += c;
        } else if (c == u'\n') {
            out += QStringLiteral("\\n");
        } else if (c == u'\r') {
            out += QStringLiteral("\\r");
        } else {
            out += c;
        }
    }
    return out;
}

// Parses a quoted string starting at `pos` (on the opening quote). Returns
// false on a malformed string; `pos` ends after the closing quote.
bool ParseQuoted(const QString& line, int& pos, QString& out) {
    if (pos >= line.size() || line[pos] != u'"') {
        return false;
    }
    ++pos;
    out.clear();
    while (pos < line.size()) {
        const QChar c = line[pos++];
        if (c == u'"') {
            return true;
        }
        if (c == u'\\') {
            if (pos >= line.size()) {
                return false;
            }
            const QChar e = line[pos++];
            if (e == u'n') {
                out += u'\n';
            } else if (e == u'r') {
                out += u'\r';
            } else if (e == u'\\' || e == u'"') {
                out += e;
            } else {
                return false;
            }
        } else {
            out += c;
        }
    }
    return false;
}

// One value line, trimmed: "Name"=<value>. False when the line is not one.
bool ParseValueLine(const QString& line, QString& name, SettingsValue& value) {
    int pos = 0;
    if (!ParseQuoted(line, pos, name) || name.isEmpty() || name.contains(u'/') ||
        name.contains(u'\\')) {
        return false;
    }
    if (pos >= line.size() || line[pos] != u'=') {
        return false;
    }
    ++pos;
    const QString rest = line.mid(pos);
    if (rest.startsWith(u'"')) {
        QString text;
        int p = 0;
        if (!ParseQuoted(rest, p, text) || !rest.mid(p).trimmed().isEmpty()) {
            return false;
        }
        value = text.toStdString();
        return true;
    }
    bool ok = false;
    if (rest.startsWith(QStringLiteral("int:"))) {
        const int v = rest.mid(4).trimmed().toInt(&ok);
        if (ok) {
            value = static_cast<int32_t>(v);
        }
        return ok;
    }
    if (rest.startsWith(QStringLiteral("date:"))) {
        const double v = rest.mid(5).trimmed().toDouble(&ok);
        if (ok && std::isfinite(v)) {
            value = v;
            return true;
        }
        return false;
    }
    return false;
}

// The key of a section line "[...]", trimmed; false for a malformed one. A
// key may be written with '/' as well; it is kept with backslashes.
bool ParseHeader(const QString& line, std::string& key) {
    if (!line.endsWith(u']') || line.size() <= 2) {
        return false;
    }
    QString section = line.mid(1, line.size() - 2);
    section.replace(u'/', u'\\');
    if (section.startsWith(u'\\') || section.endsWith(u'\\') ||
        section.contains(QStringLiteral("\\\\"))) {
        return false;
    }
    key = section.toStdString();
    return true;
}

std::string FormatHeader(const std::string& key) {
    return "[" + key + "]";
}

std::string FormatValue(const std::string& name, const SettingsValue& value) {
    QString out = u'"' + EscapeString(QString::fromStdString(name)) + QStringLiteral("\"=");
    if (const auto* i = std::get_if<int32_t>(&value)) {
        out += QStringLiteral("int:") + QString::number(*i);
    } else if (const auto* d = std::get_if<double>(&value)) {
        out += QStringLiteral("date:") + QString::number(*d, 'g', 17);
    } else {
        out += u'"' + EscapeString(QString::fromStdString(std::get<std::string>(value))) + u'"';
    }
    return out.toStdString();
}

bool EndsWith(const std::string& s, std::string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

SettingsDocument::Line SettingsDocument::ParseLine(std::string text, const std::string& section,
                                                   bool inSection) {
    Line line;
    const QString t = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
    line.text = std::move(text);
    if (t.isEmpty()) {
        line.kind = LineKind::Blank;
    } else if (t.startsWith(u';') || t.startsWith(u'#')) {
        line.kind = LineKind::Comment;
    } else if (t.startsWith(u'[')) {
        line.kind = ParseHeader(t, line.section) ? LineKind::Header : LineKind::BadHeader;
    } else {
        QString name;
        if (inSection && ParseValueLine(t, name, line.value)) {
            line.kind = LineKind::Value;
            line.section = section;
            line.name = name.toStdString();
        }
    }
    return line;
}

SettingsDocument SettingsDocument::Parse(std::string_view text) {
    SettingsDocument doc;
    std::string section;
    bool inSection = false;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find('\n', pos);
        const size_t next = end == std::string_view::npos ? text.size() : end + 1;
        Line line = ParseLine(std::string(text.substr(pos, next - pos)), section, inSection);
        if (line.kind == LineKind::Header) {
            section = line.section;
            inSection = true;
        } else if (line.kind == LineKind::BadHeader) {
            inSection = false;
        }
        doc.lines_.push_back(std::move(line));
        pos = next;
    }
    doc.RebuildIndex();
    return doc;
}

std::string SettingsDocument::Text() const {
    size_t size = 0;
    for (const Line& line : lines_) {
        size += line.text.size();
    }
    std::string text;
    text.reserve(size);
    for (const Line& line : lines_) {
        text += line.text;
    }
    return text;
}

void SettingsDocument::RebuildIndex() {
    index_.clear();
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == LineKind::Value) {
            index_[{lines_[i].section, lines_[i].name}] = i;
        }
    }
}

const SettingsValue* SettingsDocument::Find(const std::string& key, const std::string& name) const {
    const auto it = index_.find({key, name});
    return it == index_.end() ? nullptr : &lines_[it->second].value;
}

size_t SettingsDocument::LastContentLine(size_t header) const {
    size_t last = header;
    for (size_t i = header + 1; i < lines_.size(); ++i) {
        const LineKind kind = lines_[i].kind;
        if (kind == LineKind::Header || kind == LineKind::BadHeader) {
            break;
        }
        if (kind != LineKind::Blank && kind != LineKind::Comment) {
            last = i;
        }
    }
    return last;
}

std::string SettingsDocument::LineEndAfter(size_t at) const {
    return EndsWith(lines_[at].text, "\r\n") ? "\r\n" : "\n";
}

void SettingsDocument::EnsureLineEnd(size_t at) {
    if (!EndsWith(lines_[at].text, "\n")) {
        lines_[at].text += '\n';
    }
}

bool SettingsDocument::Set(const std::string& key, const std::string& name,
                           const SettingsValue& value) {
    SettingsValue stored = value;
    if (auto* s = std::get_if<std::string>(&stored)) {
        const std::string upToNul(s->c_str());
        *s = QString::fromStdString(upToNul).toStdString();
    } else if (const auto* d = std::get_if<double>(&stored); d != nullptr && !std::isfinite(*d)) {
        return false;
    }
    // The key and the name must come back unchanged from their own lines.
    if (key.find('\n') != std::string::npos || key.find('\0') != std::string::npos ||
        name.find('\0') != std::string::npos) {
        return false;
    }
    const Line header = ParseLine(FormatHeader(key), "", false);
    const Line probe = ParseLine(FormatValue(name, stored), key, true);
    if (header.kind != LineKind::Header || header.section != key || probe.kind != LineKind::Value ||
        probe.name != name || !(probe.value == stored)) {
        return false;
    }

    if (const auto it = index_.find({key, name}); it != index_.end()) {
        Line& line = lines_[it->second];
        if (!(line.value == stored)) {
            const std::string end = EndsWith(line.text, "\r\n") ? "\r\n"
                                    : EndsWith(line.text, "\n") ? "\n"
                                                                : "";
            line.text = probe.text + end;
            line.value = stored;
        }
        return true;
    }

    size_t lastHeader = lines_.size();
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == LineKind::Header && lines_[i].section == key) {
            lastHeader = i;
        }
    }
    Line added = probe;
    if (lastHeader < lines_.size()) {
        const size_t at = LastContentLine(lastHeader);
        EnsureLineEnd(at);
        added.text += LineEndAfter(at);
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at + 1), std::move(added));
    } else {
        if (lines_.empty()) {
            lines_.push_back(ParseLine(kFileComment, "", false));
        }
        EnsureLineEnd(lines_.size() - 1);
        const std::string end = LineEndAfter(lines_.size() - 1);
        if (lines_.back().kind != LineKind::Blank) {
            lines_.push_back(ParseLine(end, "", false));
        }
        lines_.push_back(ParseLine(FormatHeader(key) + end, "", false));
        added.text += end;
        lines_.push_back(std::move(added));
    }
    RebuildIndex();
    return true;
}

void SettingsDocument::RemoveKey(const std::string& key) {
    const std::string below = key + "\\";
    for (size_t i = lines_.size(); i-- > 0;) {
        const Line& line = lines_[i];
        if (line.kind == LineKind::Header &&
            (line.section == key || line.section.compare(0, below.size(), below) == 0)) {
            const size_t last = LastContentLine(i);
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i),
                         lines_.begin() + static_cast<std::ptrdiff_t>(last + 1));
        }
    }
    RebuildIndex();
}

std::vector<std::string> SettingsDocument::SubKeys(const std::string& key) const {
    const std::string below = key + "\\";
    std::set<std::string> names;
    for (const auto& [where, line] : index_) {
        const std::string& section = where.first;
        if (section.size() > below.size() && section.compare(0, below.size(), below) == 0) {
            const size_t end = section.find('\\', below.size());
            names.insert(section.substr(below.size(), end - below.size()));
        }
    }
    return {names.begin(), names.end()};
}

std::vector<SettingsDocument::Entry> SettingsDocument::Entries() const {
    std::vector<Entry> entries;
    entries.reserve(index_.size());
    for (const auto& [where, line] : index_) {
        entries.push_back({where.first, where.second, lines_[line].value});
    }
    return entries;
}

std::vector<std::string> SettingsDocument::ForeignLines() const {
    std::vector<std::string> foreign;
    for (const Line& line : lines_) {
        if (line.kind == LineKind::Comment || line.kind == LineKind::BadHeader ||
            line.kind == LineKind::Foreign) {
            foreign.push_back(line.text);
        }
    }
    return foreign;
}

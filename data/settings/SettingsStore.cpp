#include "SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <cmath>

namespace {

// --- The file format ------------------------------------------------------

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

// One value line: "Name"=<value>. Returns false when the line is not one.
bool ParseValueLine(const QString& line, QString& name, QVariant& value) {
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
        value = text;
        return true;
    }
    bool ok = false;
    if (rest.startsWith(QStringLiteral("int:"))) {
        const int v = rest.mid(4).trimmed().toInt(&ok);
        if (ok) {
            value = v;
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

bool ReadRegFile(QIODevice& device, QSettings::SettingsMap& map) {
    QString section;
    bool inSection = false;
    while (!device.atEnd()) {
        const QString line = QString::fromUtf8(device.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#')) {
            continue;
        }
        if (line.startsWith(u'[')) {
            inSection = line.endsWith(u']') && line.size() > 2;
            if (inSection) {
                section = line.mid(1, line.size() - 2);
                section.replace(u'\\', u'/');
                inSection = !section.startsWith(u'/') && !section.endsWith(u'/') &&
                            !section.contains(QStringLiteral("//"));
            }
            continue;
        }
        QString name;
        QVariant value;
        if (inSection && ParseValueLine(line, name, value)) {
            map.insert(section + u'/' + name, value);
        }
        // Anything else is unreadable and counts as missing.
    }
    return true;
}

bool WriteRegFile(QIODevice& device, const QSettings::SettingsMap& map) {
    QString out = QStringLiteral("; ZQ Manager settings\n");
    QString currentSection;
    bool first = true;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const QString& key = it.key();
        const int slash = key.lastIndexOf(u'/');
        if (slash <= 0) {
            continue;
        }
        QString section = key.left(slash);
        const QString name = key.mid(slash + 1);
        if (first || section != currentSection) {
            currentSection = section;
            section.replace(u'/', u'\\');
            out += QStringLiteral("\n[") + section + QStringLiteral("]\n");
            first = false;
        }
        out += u'"' + EscapeString(name) + QStringLiteral("\"=");
        const QVariant& v = it.value();
        switch (v.typeId()) {
            case QMetaType::Int:
                out += QStringLiteral("int:") + QString::number(v.toInt());
                break;
            case QMetaType::Double:
                out += QStringLiteral("date:") + QString::number(v.toDouble(), 'g', 17);
                break;
            default:
                out += u'"' + EscapeString(v.toString()) + u'"';
                break;
        }
        out += u'\n';
    }
    const QByteArray bytes = out.toUtf8();
    return device.write(bytes) == bytes.size();
}

QSettings::Format RegFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("reg"), ReadRegFile, WriteRegFile);
    return format;
}

QString KeyPath(const std::string& key, const std::string& name) {
    QString path = QString::fromStdString(key);
    path.replace(u'\\', u'/');
    if (!name.empty()) {
        path += u'/' + QString::fromStdString(name);
    }
    return path;
}

}  // namespace

std::string SettingsStore::FilePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return (base + QStringLiteral("/Halbrec/ZURavorav.reg")).toStdString();
}

SettingsStore::SettingsStore()
    : FSettings(std::make_unique<QSettings>(QString::fromStdString(FilePath()), RegFormat())) {
    FSettings->setFallbacksEnabled(false);
}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::IsAccessible() const {
    const QFileInfo info(QString::fromStdString(FilePath()));
    if (info.exists() && !info.isReadable()) {
        return false;
    }
    return FSettings->status() != QSettings::AccessError;
}

std::optional<int32_t> SettingsStore::ReadInteger(const std::string& key,
                                                  const std::string& name) const {
    const QVariant v = FSettings->value(KeyPath(key, name));
    if (v.typeId() != QMetaType::Int) {
        return std::nullopt;
    }
    return v.toInt();
}

std::optional<std::string> SettingsStore::ReadString(const std::string& key,
                                                     const std::string& name) const {
    const QVariant v = FSettings->value(KeyPath(key, name));
    if (v.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return v.toString().toStdString();
}

std::optional<double> SettingsStore::ReadDate(const std::string& key,
                                              const std::string& name) const {
    const QVariant v = FSettings->value(KeyPath(key, name));
    if (v.typeId() != QMetaType::Double) {
        return std::nullopt;
    }
    return v.toDouble();
}

void SettingsStore::WriteInteger(const std::string& key, const std::string& name, int32_t value) {
    FSettings->setValue(KeyPath(key, name), QVariant(static_cast<int>(value)));
}

void SettingsStore::WriteString(const std::string& key, const std::string& name,
                                const std::string& value) {
    FSettings->setValue(KeyPath(key, name), QVariant(QString::fromStdString(value)));
}

void SettingsStore::WriteDate(const std::string& key, const std::string& name, double value) {
    FSettings->setValue(KeyPath(key, name), QVariant(value));
}

std::vector<std::string> SettingsStore::SubKeys(const std::string& key) const {
    FSettings->beginGroup(KeyPath(key, ""));
    const QStringList groups = FSettings->childGroups();
    FSettings->endGroup();
    std::vector<std::string> result;
    for (const QString& g : groups) {
        result.push_back(g.toStdString());
    }
    return result;
}

void SettingsStore::RemoveKey(const std::string& key) {
    FSettings->remove(KeyPath(key, ""));
}

bool SettingsStore::Sync() {
    const QFileInfo info(QString::fromStdString(FilePath()));
    // QSettings creates the folder itself, but reports a folder it could not
    // create only through the status; make it here to tell the two apart.
    if (!QDir().mkpath(info.absolutePath())) {
        return false;
    }
    FSettings->sync();
    return FSettings->status() == QSettings::NoError;
}

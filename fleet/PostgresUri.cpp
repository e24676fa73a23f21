#include "PostgresUri.h"

#include <QUrl>
#include <QUrlQuery>

namespace {

// A value as libpq's key = 'value' syntax wants it: quoted, with backslash
// before a quote or a backslash.
std::string Quoted(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "'";
}

bool IsParameterName(const QString& name) {
    if (name.isEmpty()) {
        return false;
    }
    for (QChar c : name) {
        if (!(c >= u'a' && c <= u'z') && !(c >= u'A' && c <= u'Z') && c != u'_') {
            return false;
        }
    }
    return true;
}

}  // namespace

bool IsPostgresUri(const std::string& target) {
    return target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
}

std::optional<PostgresUri> ParsePostgresUri(const std::string& uri, std::string& error) {
    if (!IsPostgresUri(uri)) {
        error = "адрес базы PostgreSQL начинается с postgresql:// или postgres://";
        return std::nullopt;
    }
    const QUrl url(QString::fromStdString(uri), QUrl::StrictMode);
    if (!url.isValid()) {
        // QUrl refuses "host1,host2:5432", which libpq would take.
        error = "адрес базы PostgreSQL не разобран (" + url.errorString().toStdString() +
                "); несколько серверов задаются параметром ?host=a,b";
        return std::nullopt;
    }
    PostgresUri target;
    target.host = url.host(QUrl::FullyDecoded).toStdString();
    if (target.host.find(',') != std::string::npos) {
        error = "несколько серверов задаются параметром ?host=a,b, не в адресе";
        return std::nullopt;
    }
    const int port = url.port(0);
    if (port < 0 || port > 65535 || (port == 0 && url.authority().endsWith(u':'))) {
        error = "порт базы PostgreSQL: от 1 до 65535";
        return std::nullopt;
    }
    target.port = port;
    target.user = url.userName(QUrl::FullyDecoded).toStdString();
    target.password = url.password(QUrl::FullyDecoded).toStdString();
    QString path = url.path(QUrl::FullyDecoded);
    if (path.startsWith(u'/')) {
        path.remove(0, 1);
    }
    target.dbname = path.toStdString();
    const QUrlQuery query(url);
    for (const auto& [name, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (!IsParameterName(name)) {
            error = "параметр базы PostgreSQL «" + name.toStdString() +
                    "»: имя из латинских букв и знака _";
            return std::nullopt;
        }
        if (value.contains(u';')) {
            error = "параметр базы PostgreSQL «" + name.toStdString() + "» содержит ;";
            return std::nullopt;
        }
        if (!target.options.empty()) {
            target.options += ';';
        }
        target.options += name.toStdString() + "=" + Quoted(value.toStdString());
    }
    return target;
}

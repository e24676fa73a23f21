#include "XlsxDump.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QProcess>

#include <cmath>

std::optional<double> XlsxDump::ColumnWidth(int sheet, int column) const {
    std::optional<double> width;
    for (const QJsonValue& entry : Columns(sheet)) {
        const QJsonArray col = entry.toArray();
        if (col.at(0).toInt() <= column && column <= col.at(1).toInt()) {
            if (width) {
                return std::nan("");
            }
            width = col.at(2).toDouble();
        }
    }
    return width;
}

std::optional<XlsxDump> DumpXlsx(const std::string& path, std::string& why) {
    QProcess python;
    python.start(QStringLiteral(ZQ_TEST_PYTHON3),
                 {QStringLiteral(ZQ_XLSX_DUMP_SCRIPT), QString::fromStdString(path)});
    if (!python.waitForStarted(10000)) {
        why = "python3 (" ZQ_TEST_PYTHON3 ") does not start";
        return std::nullopt;
    }
    python.waitForFinished(120000);
    const QByteArray out = python.readAllStandardOutput();
    const QByteArray err = python.readAllStandardError();
    if (python.exitStatus() == QProcess::NormalExit && python.exitCode() == 3) {
        why = "python3-openpyxl is not installed";
        return std::nullopt;
    }
    EXPECT_EQ(python.exitCode(), 0) << "openpyxl cannot load " << path << ": " << err.toStdString();
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(out, &parse);
    EXPECT_EQ(parse.error, QJsonParseError::NoError) << parse.errorString().toStdString();
    XlsxDump dump;
    dump.sheets = document.object().value("sheets").toArray();
    return dump;
}

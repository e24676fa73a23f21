// The consumption report's workbook read back: its files as unzip gives
// them (the summary's cells, the sheets' names made valid and unique, a
// day without a figure an empty cell, a chart of each meter's own column),
// and LibreOffice opening it.
#include "ConsumptionReport.h"
#include "ReportTable.h"
#include "ReportWorkbook.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <map>

namespace {

TDateTime Moment(int year, int month, int day, int hour) {
    TDateTime date = 0;
    TDateTime time = 0;
    TryEncodeDate(year, month, day, date);
    TryEncodeTime(hour, 0, 0, 0, time);
    return date + time;
}

// A meter with no record in the period.
MeterConsumption NoRecords(const std::string& name) {
    MeterConsumption m;
    m.name = name;
    m.hoursWithout = 48;
    m.remark = "нет записей за период";
    m.days = {{QDate(2024, 1, 2), std::nullopt, std::nullopt, 0},
              {QDate(2024, 1, 3), std::nullopt, std::nullopt, 0}};
    return m;
}

ConsumptionReport Report() {
    ConsumptionReport report;
    report.from = QDate(2024, 1, 2);
    report.to = QDate(2024, 1, 3);
    report.group = "Север";
    report.madeAt = Moment(2024, 2, 1, 9);
    MeterConsumption measured = NoRecords("a/b");
    measured.group = "Север";
    measured.serial = 4711;
    measured.start = MeterReading{Moment(2024, 1, 2, 0), 100, 2, false};
    measured.end = MeterReading{Moment(2024, 1, 4, 0), 172, 14, false};
    measured.vPlus = 72;
    measured.vMinus = 12;
    measured.hoursWithRecord = 40;
    measured.hoursWithout = 8;
    measured.remark.clear();
    measured.days[0] = {QDate(2024, 1, 2), 36, 6, 24};
    measured.days[1] = {QDate(2024, 1, 3), std::nullopt, std::nullopt, 16};
    measured.lastRead = HistoryStore::LastRead{};
    measured.lastRead->end = Moment(2024, 2, 1, 2);
    measured.lastRead->success = true;
    report.meters = {measured, NoRecords("a\\b"), NoRecords("Сводка"),
                     NoRecords("Очень длинное имя прибора на окраине города"),
                     NoRecords("'Кавычки'")};
    return report;
}

// A file inside the workbook, as unzip gives it.
QByteArray ZipEntry(const QString& xlsx, const QString& entry) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), xlsx, entry});
    EXPECT_TRUE(unzip.waitForFinished(30000));
    EXPECT_EQ(unzip.exitCode(), 0) << entry.toStdString();
    return unzip.readAllStandardOutput();
}

// Every attribute `attribute` of the elements named `element`, in order.
QStringList Attributes(const QByteArray& xml, const QString& element, const QString& attribute) {
    QStringList values;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == element) {
            values << reader.attributes().value(attribute).toString();
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return values;
}

// The cells of a sheet ("B3" -> its text, or its number as written), the
// shared strings put in.
std::map<std::string, std::string> Cells(const QByteArray& sheet, const QByteArray& strings) {
    QStringList shared;
    QXmlStreamReader s(strings);
    while (!s.atEnd()) {
        if (s.readNext() == QXmlStreamReader::StartElement && s.name() == QStringLiteral("si")) {
            shared << s.readElementText(QXmlStreamReader::IncludeChildElements);
        }
    }
    std::map<std::string, std::string> cells;
    QXmlStreamReader r(sheet);
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement || r.name() != QStringLiteral("c")) {
            continue;
        }
        const std::string ref = r.attributes().value("r").toString().toStdString();
        const bool text = r.attributes().value("t") == QStringLiteral("s");
        while (!(r.readNext() == QXmlStreamReader::EndElement && r.name() == QStringLiteral("c"))) {
            if (r.isStartElement() && r.name() == QStringLiteral("v")) {
                const QString v = r.readElementText();
                cells[ref] = text ? shared.value(v.toInt()).toStdString() : v.toStdString();
            }
        }
    }
    return cells;
}

// The chart of a sheet, following its relationships to its drawing and on.
QByteArray ChartOf(const QString& xlsx, int sheet) {
    const QStringList drawing = Attributes(
        ZipEntry(xlsx, QStringLiteral("xl/worksheets/_rels/sheet%1.xml.rels").arg(sheet)),
        QStringLiteral("Relationship"), QStringLiteral("Target"));
    if (drawing.size() != 1 || !drawing[0].startsWith(QStringLiteral("../drawings/"))) {
        ADD_FAILURE() << "sheet " << sheet << " has no drawing";
        return {};
    }
    const QString name = drawing[0].mid(12);
    const QStringList chart =
        Attributes(ZipEntry(xlsx, QStringLiteral("xl/drawings/_rels/%1.rels").arg(name)),
                   QStringLiteral("Relationship"), QStringLiteral("Target"));
    if (chart.size() != 1 || !chart[0].startsWith(QStringLiteral("../charts/"))) {
        ADD_FAILURE() << "sheet " << sheet << "'s drawing has no chart";
        return {};
    }
    return ZipEntry(xlsx, QStringLiteral("xl/") + chart[0].mid(3));
}

class ReportWorkbookTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("report.xlsx"));
        WriteReportWorkbook(Report(), path.toStdString());
    }
    QTemporaryDir dir;
    QString path;
};

TEST_F(ReportWorkbookTest, SummaryAndAChartedSheetPerMeter) {
    // Nothing beside it: the temporary file became the workbook.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("report.xlsx")});
    const QStringList sheets = Attributes(ZipEntry(path, QStringLiteral("xl/workbook.xml")),
                                          QStringLiteral("sheet"), QStringLiteral("name"));
    const QStringList expected = {
        "Сводка", "a_b", "a_b (2)", "Сводка (2)", "Очень длинное имя прибора на ок", "Кавычки"};
    ASSERT_EQ(sheets, expected);

    const QByteArray strings = ZipEntry(path, QStringLiteral("xl/sharedStrings.xml"));
    auto summary = Cells(ZipEntry(path, QStringLiteral("xl/worksheets/sheet1.xml")), strings);
    EXPECT_EQ(
        summary["A1"].rfind("Расход по приборам за 02.01.2024 – 03.01.2024, группа «Север»", 0), 0u)
        << summary["A1"];
    const std::vector<std::string>& columns = ReportColumns();
    for (size_t c = 0; c < columns.size(); ++c) {
        const std::string ref = std::string(1, static_cast<char>('A' + c)) + "2";
        EXPECT_EQ(summary[ref], columns[c]) << ref;
    }
    // Times are day counts with a format, volumes and counts numbers.
    const std::map<std::string, std::string> row3 = {
        {"A3", "a/b"}, {"B3", "Север"}, {"C3", "000004711"}, {"D3", "45293"},
        {"E3", "100"}, {"F3", "2"},     {"G3", "45295"},     {"H3", "172"},
        {"I3", "14"},  {"J3", "72"},    {"K3", "12"},        {"L3", "40"},
        {"M3", "8"},   {"N3", "0"},     {"O3", "0"},         {"Q3", "успех"}};
    for (const auto& [ref, value] : row3) {
        EXPECT_EQ(summary[ref], value) << ref;
    }
    EXPECT_EQ(summary.count("R3"), 0u) << "no remark";
    // No figure: empty cells, never 0.
    for (const char* ref : {"D4", "E4", "J4", "K4", "P4"}) {
        EXPECT_EQ(summary.count(ref), 0u) << ref;
    }
    EXPECT_EQ(summary["Q4"], "не опрашивался");
    EXPECT_EQ(summary["R4"], "нет записей за период");
    EXPECT_EQ(summary["A7"], "'Кавычки'");

    auto daily = Cells(ZipEntry(path, QStringLiteral("xl/worksheets/sheet2.xml")), strings);
    EXPECT_EQ(daily["A3"], "45293");
    EXPECT_EQ(daily["B3"], "36");
    EXPECT_EQ(daily["D3"], "24");
    EXPECT_EQ(daily.count("B4"), 0u) << "a day without a figure is empty";
    EXPECT_EQ(daily["D4"], "16");

    for (int sheet = 2; sheet <= static_cast<int>(sheets.size()); ++sheet) {
        SCOPED_TRACE(sheets[sheet - 1].toStdString());
        const QString chart = QString::fromUtf8(ChartOf(path, sheet));
        EXPECT_TRUE(chart.contains(QStringLiteral("<c:barChart>")));
        // The sheet's name in the formula, quoted where it must be.
        const QString& name = sheets[sheet - 1];
        EXPECT_TRUE(chart.contains("<c:f>'" + name + "'!$B$3:$B$4</c:f>") ||
                    chart.contains("<c:f>" + name + "!$B$3:$B$4</c:f>"))
            << chart.toStdString();
        EXPECT_TRUE(chart.contains(QStringLiteral("Расход V+ по суткам")));
        EXPECT_TRUE(chart.contains(QStringLiteral("Сутки")));
    }
}

TEST_F(ReportWorkbookTest, OpensInLibreOffice) {
    const QString office = QStandardPaths::findExecutable("soffice");
    if (office.isEmpty()) {
        GTEST_SKIP() << "LibreOffice is not installed (scripts/setup.sh installs it)";
    }
    // A profile of its own: another LibreOffice running does not take the job.
    QProcess convert;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));  // a decimal point
    convert.setProcessEnvironment(environment);
    convert.start(office, {"-env:UserInstallation=file://" + dir.filePath("profile"), "--headless",
                           "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76", "--outdir",
                           dir.path(), path});
    ASSERT_TRUE(convert.waitForFinished(120000));
    QFile csv(dir.filePath(QStringLiteral("report.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly)) << convert.readAllStandardError().toStdString();
    const QString summary = QString::fromUtf8(csv.readAll());
    EXPECT_TRUE(summary.startsWith(QStringLiteral("\"Расход по приборам за 02.01.2024")))
        << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("a/b,Север,000004711,02.01.2024 00:00,100.000")))
        << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("нет записей за период")));
}

}  // namespace

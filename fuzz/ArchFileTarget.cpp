// The .arch reader on any bytes, and the page texts of whatever it read: the
// parameter texts, and every record through its decoder. A file that reads
// completely must keep its records when saved and read again.
#include "ArchiveDecodeStruct.h"
#include "ArchiveFile.h"
#include "Exception.h"
#include "FuzzInput.h"
#include "JournalDecodeStruct.h"
#include "ParamsTexts.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>

namespace {

void ShowTexts(ArchiveFileSections& sections) {
    sections.OnCurrentParams = [](const CurrentParamsStruct& params) {
        FormatCurrentParams(params);
        CurrentParamsRows(params);
        FormatFlagList(params.NSFlags);
    };
    sections.OnSetupParams = [](const SetupParamsStruct& params) {
        SetupParamsRows(params);
        SetupParamsRows(SetupPageValues(params));
    };
    sections.OnArchive = [](const std::vector<ZQ_namespace::ArchiveStruct>& list,
                            ZQ_namespace::ArchiveKind kind) {
        ZQ_namespace::ArchiveDecodeStruct row;
        for (const auto& record : list) {
            row.Decode(record, kind);
        }
    };
    sections.OnJournal = [](const std::vector<ZQ_namespace::JournalStruct>& list) {
        ZQ_namespace::JournalDecodeStruct row;
        for (const auto& record : list) {
            row.Decode(record);
        }
    };
}

bool Read(const QByteArray& bytes, ZQValve& valve, const ArchiveFileSections& sections) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        ReadArchiveFile(buffer, valve, sections);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ZQValve valve;
    ArchiveFileSections sections;
    ShowTexts(sections);
    if (!Read(bytes, valve, sections)) {
        return 0;
    }
    FUZZ_CHECK(valve.HourArchive.size() + valve.DayArchive.size() + valve.MonthArchive.size() +
                       valve.Journal.size() <=
                   4 * kArchiveFileMaxRecords,
               "more records than the header can count");
    // What the window would save from it reads back, records and all. The
    // first save may still change the parameter blocks (a device date that
    // was not valid is saved as year 99, a volume's parts are normalised);
    // from then on saving what was read gives the same file.
    QByteArray saved = EncodeArchiveFile(valve);
    for (int round = 0; round < 2; ++round) {
        ZQValve again;
        FUZZ_CHECK(Read(saved, again, {}), "a saved file does not read");
        FUZZ_CHECK(again.HourArchive == valve.HourArchive && again.DayArchive == valve.DayArchive &&
                       again.MonthArchive == valve.MonthArchive && again.Journal == valve.Journal,
                   "records changed by a save");
        const QByteArray resaved = EncodeArchiveFile(again);
        FUZZ_CHECK(round == 0 || resaved == saved, "a saved file saves differently");
        saved = resaved;
    }
    return 0;
}

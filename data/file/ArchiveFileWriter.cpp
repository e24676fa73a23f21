#include "ArchiveFile.h"

#include "Exception.h"
#include "ParamsRegisters.h"

#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

void AppendLe16(QByteArray& out, uint16_t value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}

void AppendBytes(QByteArray& out, const uint8_t* bytes, size_t size) {
    out.append(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
}

uint16_t SavedCount(size_t listSize) {
    return static_cast<uint16_t>(std::min(listSize, kArchiveFileMaxRecords));
}

template <class Record>
void AppendRecords(QByteArray& out, const std::vector<Record>& list) {
    const size_t count = SavedCount(list.size());
    for (size_t i = 0; i < count; ++i) {
        AppendBytes(out, list[i].Bytes(), sizeof(Record));
    }
}

size_t Beyond(size_t listSize) {
    return listSize > kArchiveFileMaxRecords ? listSize - kArchiveFileMaxRecords : 0;
}

}  // namespace

std::array<size_t, 4> RecordsBeyondFile(const ZQValve& valve) {
    return {Beyond(valve.HourArchive.size()), Beyond(valve.DayArchive.size()),
            Beyond(valve.MonthArchive.size()), Beyond(valve.Journal.size())};
}

QByteArray EncodeArchiveFile(const ZQValve& valve) {
    const uint16_t hourCount = SavedCount(valve.HourArchive.size());
    const uint16_t dayCount = SavedCount(valve.DayArchive.size());
    const uint16_t monthCount = SavedCount(valve.MonthArchive.size());
    const uint16_t journalCount = SavedCount(valve.Journal.size());

    QByteArray out;
    out.reserve(kArchiveFileEmptySize +
                kArchiveFileRecordSize * (hourCount + dayCount + monthCount + journalCount));

    out.append("RORI", 4);
    out.append('\0');  // reserved
    AppendLe16(out, kArchiveFileIdentSize);
    AppendLe16(out, kArchiveFileCurrentSize);
    AppendLe16(out, kArchiveFileSetupSize);
    AppendLe16(out, kArchiveFileRecordSize);
    AppendLe16(out, hourCount);
    AppendLe16(out, kArchiveFileRecordSize);
    AppendLe16(out, dayCount);
    AppendLe16(out, kArchiveFileRecordSize);
    AppendLe16(out, monthCount);
    AppendLe16(out, kArchiveFileRecordSize);
    AppendLe16(out, journalCount);

    out.append("RORI", 4);
    AppendBytes(out, valve.Ident, sizeof valve.Ident);

    // Register images in the device's byte order; the registers the record
    // does not fill stay zero.
    uint8_t current[kArchiveFileCurrentSize] = {};
    EncodeCurrentParams(valve.Current, current);
    ConvertByteOrder(current, kCurrentParamsConverted, CurrentParamsOrder,
                     static_cast<int>(std::size(CurrentParamsOrder)));
    AppendBytes(out, current, sizeof current);

    uint8_t setup[kArchiveFileSetupSize] = {};
    EncodeSetupParams(valve.Setup, setup);
    ConvertByteOrder(setup, kSetupParamsConverted, SetupParamsOrder,
                     static_cast<int>(std::size(SetupParamsOrder)));
    AppendBytes(out, setup, sizeof setup);

    AppendRecords(out, valve.HourArchive);
    AppendRecords(out, valve.DayArchive);
    AppendRecords(out, valve.MonthArchive);
    AppendRecords(out, valve.Journal);
    return out;
}

void WriteArchiveFile(const std::string& path, const ZQValve& valve) {
    const QByteArray data = EncodeArchiveFile(valve);
    // QSaveFile writes a temporary file in the target's folder and renames it
    // over the target on commit; without a commit the temporary file is
    // removed. Writing straight into the target is never allowed.
    //
    // Unbuffered, and written in a loop: a buffered QSaveFile drops the error
    // of a flush that wrote only part of its buffer (a full disk, the file
    // size limit) and commits the cut file over the old one. A short write
    // is retried, so the call that fails reports the system's error text.
    QSaveFile file(QString::fromStdString(path));
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        throw EOSError(file.errorString().toStdString());
    }
    const char* next = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const qint64 written = file.write(next, left);
        if (written <= 0) {
            const std::string error = file.errorString().toStdString();
            file.cancelWriting();
            throw EOSError(error);
        }
        next += written;
        left -= written;
    }
    if (!file.commit()) {
        throw EOSError(file.errorString().toStdString());
    }
}

std::string DefaultArchiveFileName(const std::string& serialText, TDateTime now) {
    return "0000_ZQ_" + serialText + "_" + FormatDateTime("yymmdd_hhnnss", now) + ".arch";
}

#include "ArchiveFile.h"

#include "Exception.h"
#include "ParamsRegisters.h"

#include <QFile>
#include <QIODevice>
#include <QString>

#include <cstring>
#include <iterator>

namespace {

// Header field offsets.
constexpr int kIdentSizeAt = 5;
constexpr int kCurrentSizeAt = 7;
constexpr int kSetupSizeAt = 9;
constexpr int kHourRecordAt = 11;  // length, then count
constexpr int kDayRecordAt = 15;
constexpr int kMonthRecordAt = 19;
constexpr int kJournalRecordAt = 23;

uint16_t HeaderLe16(const uint8_t* header, int offset) {
    return static_cast<uint16_t>(header[offset] | (header[offset + 1] << 8));
}

bool HasMagic(const uint8_t* bytes) {
    return std::memcmp(bytes, "RORI", 4) == 0;
}

// Reads from the file in sections. Every read is bounded by its destination;
// a short read is the caller's check, a failing read raises the platform's
// error text.
class SectionReader {
public:
    explicit SectionReader(QIODevice& device) : device_(device) {}

    // Reads up to `size` bytes; fewer only at the end of the file.
    qint64 Read(uint8_t* destination, qint64 size) {
        qint64 got = 0;
        while (got < size) {
            const qint64 n = device_.read(reinterpret_cast<char*>(destination + got), size - got);
            if (n < 0) {
                throw EOSError(device_.errorString().toStdString());
            }
            if (n == 0) {
                break;
            }
            got += n;
        }
        return got;
    }

    void ReadExactly(uint8_t* destination, qint64 size, const char* shortMessage) {
        if (Read(destination, size) != size) {
            throw Exception(shortMessage);
        }
    }

    // Reads one parameter block of `size` bytes (at most the buffer) into the
    // zeroed buffer, so that a short block leaves the registers it does not
    // supply at zero.
    void ReadBlock(uint16_t size, const char* tooLongMessage, const char* shortMessage) {
        if (size > kArchiveFileBlockMax) {
            throw Exception(tooLongMessage);
        }
        std::memset(block_, 0, sizeof block_);
        ReadExactly(block_, size, shortMessage);
    }

    // `count` records of 16 bytes appended to `list` one by one, so a list
    // that runs short keeps what was read.
    template <class Record>
    void ReadRecords(uint16_t count, std::vector<Record>& list, const char* shortMessage) {
        static_assert(sizeof(Record) == kArchiveFileRecordSize);
        list.reserve(list.size() + count);
        for (uint16_t i = 0; i < count; ++i) {
            uint8_t bytes[kArchiveFileRecordSize];
            ReadExactly(bytes, sizeof bytes, shortMessage);
            Record record;
            std::memcpy(&record, bytes, sizeof record);
            list.push_back(record);
        }
    }

    uint8_t* Block() { return block_; }

private:
    QIODevice& device_;
    uint8_t block_[kArchiveFileBlockMax] = {};
};

}  // namespace

void ReadArchiveFile(QIODevice& device, ZQValve& valve, const ArchiveFileSections& sections) {
    using namespace ZQ_namespace;
    SectionReader reader(device);

    uint8_t header[kArchiveFileHeaderSize];
    reader.ReadExactly(header, sizeof header, "Ошибка при чтении заголовка");
    if (!HasMagic(header)) {
        throw Exception("Неправильный формат файла");
    }

    // The block must hold the magic and the four Ident bytes and fit the
    // buffer.
    const uint16_t identSize = HeaderLe16(header, kIdentSizeAt);
    if (identSize < kArchiveFileIdentSize || identSize > kArchiveFileBlockMax) {
        throw Exception("Неизвестный тип прибора");
    }
    reader.ReadExactly(reader.Block(), identSize, "Ошибка при чтении идентификационных данных");
    if (!HasMagic(reader.Block())) {
        throw Exception("Неизвестный тип прибора");
    }
    std::memcpy(valve.Ident, reader.Block() + 4, sizeof valve.Ident);
    if (valve.Version() > 1) {
        throw Exception("Неизвестная версия прибора");
    }

    reader.ReadBlock(HeaderLe16(header, kCurrentSizeAt),
                     "Неверная количество данных текущих параметров",
                     "Ошибка при чтении текущих параметров");
    ConvertByteOrder(reader.Block(), kCurrentParamsConverted, CurrentParamsOrder,
                     static_cast<int>(std::size(CurrentParamsOrder)));
    DecodeCurrentParams(reader.Block(), valve.Current);
    if (sections.OnCurrentParams) {
        sections.OnCurrentParams(valve.Current);
    }

    reader.ReadBlock(HeaderLe16(header, kSetupSizeAt),
                     "Неверная количество данных настроечных параметров",
                     "Ошибка при чтении настроечных параметров");
    ConvertByteOrder(reader.Block(), kSetupParamsConverted, SetupParamsOrder,
                     static_cast<int>(std::size(SetupParamsOrder)));
    DecodeSetupParams(reader.Block(), valve.Setup);
    if (sections.OnSetupParams) {
        sections.OnSetupParams(valve.Setup);
    }

    valve.HourArchive.clear();
    valve.DayArchive.clear();
    valve.MonthArchive.clear();
    const struct {
        int at;
        std::vector<ArchiveStruct>& list;
        ArchiveKind kind;
    } archives[] = {{kHourRecordAt, valve.HourArchive, akHour},
                    {kDayRecordAt, valve.DayArchive, akDay},
                    {kMonthRecordAt, valve.MonthArchive, akMonth}};
    // Records are read as 16 bytes: a list of another length would shift
    // every list after it, so none is read.
    for (const auto& archive : archives) {
        if (HeaderLe16(header, archive.at) != kArchiveFileRecordSize) {
            throw Exception("Неверная длина архивных параметров");
        }
    }
    for (const auto& archive : archives) {
        reader.ReadRecords(HeaderLe16(header, archive.at + 2), archive.list,
                           "Ошибка при чтении архивных параметров");
        if (sections.OnArchive) {
            sections.OnArchive(archive.list, archive.kind);
        }
    }

    valve.Journal.clear();
    if (HeaderLe16(header, kJournalRecordAt) != kArchiveFileRecordSize) {
        throw Exception("Неверная длина журнала");
    }
    reader.ReadRecords(HeaderLe16(header, kJournalRecordAt + 2), valve.Journal,
                       "Ошибка при чтении журнала");
    if (sections.OnJournal) {
        sections.OnJournal(valve.Journal);
    }
}

void ReadArchiveFile(const std::string& path, ZQValve& valve, const ArchiveFileSections& sections) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        throw EOSError(file.errorString().toStdString());
    }
    ReadArchiveFile(file, valve, sections);
}

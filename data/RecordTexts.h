#pragma once

#include <cstdint>
#include <string>

// Texts of the archive and journal records, shared by the decoders, the
// archive pages, the export and the command-line tool.
namespace ZQ_namespace {

// First-column texts of a record that carries no usable date.
inline constexpr const char kSkippedPageText[] = "Пропущ.страница";
inline constexpr const char kErasedPageText[] = "Стертая страница";
inline constexpr const char kInvalidTimeText[] = "Некоректное время";

// The value texts of a skipped or erased journal page.
inline constexpr const char kEmptyPageValueText[] = "xxxx";

// Column headers of an archive page (hourly, daily, monthly) and of the journal.
inline constexpr const char* kArchiveColumnNames[5] = {"Дата", "V+", "V-", "Tраб", "Статус"};
inline constexpr const char* kJournalColumnNames[4] = {"Дата/Время", "Параметр", "Старое значение",
                                                       "Новое значение"};

// Journal event codes (bits 0..11 of the record's code field) with a name.
struct JournalEventName {
    int code;
    const char* name;
};

inline constexpr int kEventOperatingTime = 34;  // "Время работы": old value is minutes

inline constexpr JournalEventName kJournalEventNames[] = {
    {0, "Включение питания"},
    {1, "Режим РАБОТА"},
    {2, "Режим НАСТРОЙКА"},
    {3, "Текущее время"},
    {16, "Сброс архива"},
    {17, "Код 20 мА"},
    {32, "V+"},
    {33, "V-"},
    {kEventOperatingTime, "Время работы"},
};

// First-column text of a record whose date cannot be used, chosen by its
// first four bytes (the hour byte of an archive record takes part): all 0x00
// a skipped page, all 0xFF an erased page, anything else an invalid time.
// `record` holds at least 4 bytes.
const char* UnusableRecordText(const uint8_t* record);

// The name of an event code: the table's name, or "Параметр <code>" for a
// code the table does not hold.
std::string JournalEventText(int code);

// True for the two volume events, whose value texts carry the unit " м3".
inline bool IsVolumeEvent(int code) {
    return code == 32 || code == 33;
}

}  // namespace ZQ_namespace

#pragma once

#include "ArchiveStruct.h"
#include "DateTime.h"
#include "JournalStruct.h"
#include "ZQValve.h"

#include <QByteArray>

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QIODevice;

// The archive file (.arch): everything read from one device, as the device
// delivered it.
//
//   header, 27 bytes, integers little-endian:
//     0 "RORI", 4 reserved (0), 5 identification block length (8),
//     7 current-parameter block length (128), 9 setup-parameter block length (64),
//     11/13 hour record length (16) and count, 15/17 day, 19/21 month,
//     23/25 journal
//   identification block: "RORI" and the four Ident bytes (the third is the version)
//   current-parameter block: the 64 input registers in the device's byte order
//     (registers 56..63 zero)
//   setup-parameter block: registers 0..10 of the holding block in the
//     device's byte order, then zeros
//   hour, day, month and journal records, 16 bytes each, exactly as received
//
// Anything after the last journal record is ignored.

constexpr int kArchiveFileHeaderSize = 27;
constexpr int kArchiveFileIdentSize = 8;
constexpr int kArchiveFileCurrentSize = 128;
constexpr int kArchiveFileSetupSize = 64;
constexpr int kArchiveFileRecordSize = 16;
// Size of a file whose four lists are empty.
constexpr int kArchiveFileEmptySize = kArchiveFileHeaderSize + kArchiveFileIdentSize +
                                      kArchiveFileCurrentSize + kArchiveFileSetupSize;
// The reader's block buffer: longer identification or parameter blocks are refused.
constexpr int kArchiveFileBlockMax = 512;
// Record counts are 16-bit; a longer list is saved as its first 65535 records
// (the newest: lists run newest first).
constexpr size_t kArchiveFileMaxRecords = 65535;

// The records of each list (akHour, akDay, akMonth, akJournal) beyond
// kArchiveFileMaxRecords: the oldest, which a save of `valve` leaves out.
std::array<size_t, 4> RecordsBeyondFile(const ZQValve& valve);

// Told as soon as one section of a file has been read and applied to the
// ZQValve, so that a window can refresh the matching page. Each is optional.
struct ArchiveFileSections {
    std::function<void(const CurrentParamsStruct&)> OnCurrentParams;
    std::function<void(const SetupParamsStruct&)> OnSetupParams;
    // Once per archive list, in the order akHour, akDay, akMonth.
    std::function<void(const std::vector<ZQ_namespace::ArchiveStruct>&, ZQ_namespace::ArchiveKind)>
        OnArchive;
    std::function<void(const std::vector<ZQ_namespace::JournalStruct>&)> OnJournal;
};

// The whole file for `valve`: Current and Setup are encoded as they stand (a
// window puts what its pages show into them first); each list contributes at
// most its first 65535 records.
QByteArray EncodeArchiveFile(const ZQValve& valve);

// Writes EncodeArchiveFile(valve) to `path` (UTF-8) through a temporary file
// beside it that replaces the old file only when everything was written: a
// failed save leaves an existing file as it was and no partial file behind.
// A failure raises EOSError with the file system's error text.
void WriteArchiveFile(const std::string& path, const ZQValve& valve);

// Reads a file into `valve`, section by section in file order; each section
// replaces its part of `valve` (Ident, Current, Setup, the three archive
// lists, Journal) as soon as it has been read, and its callback follows.
// A check that fails raises Exception with the check's own message and
// leaves the sections already read applied; a list whose records run short
// keeps the records read so far and its callback is not called. A file that
// cannot be opened or read raises EOSError with the file system's error text.
void ReadArchiveFile(const std::string& path, ZQValve& valve,
                     const ArchiveFileSections& sections = {});

// The same from an open device (a file, a buffer), from its current position.
void ReadArchiveFile(QIODevice& device, ZQValve& valve, const ArchiveFileSections& sections = {});

// "0000_ZQ_<serial>_<yymmdd_hhnnss>.arch" for the serial-number text of the
// current-parameters page (may be empty) and the PC's local time `now`.
std::string DefaultArchiveFileName(const std::string& serialText, TDateTime now);

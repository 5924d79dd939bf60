#pragma once

#include "comm/Outcome.h"
#include "platform/WinTypes.h"

#include <QString>

class QFile;

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

// Reads a Motorola S-record text file into one contiguous firmware image: the data of every
// data record (types 1, 2, 3) in file order, each forward address gap filled with 0xFF. The
// image carries no addresses; its length is its only framing. A file that could put anything
// but what its maker wrote on a device is refused whole: a damaged record, records that go
// back or overlap, data after the end record, a count record that disagrees, no data, or no
// end or count record after the last data record (a file cut short).

// Limits of what the reader takes in and hands out.
inline constexpr std::size_t kMinFirmwareFileSize = 1;
inline constexpr std::size_t kMaxFirmwareFileSize = 5 * 1024 * 1024;
inline constexpr std::size_t kMaxFirmwareImageSize = 16 * 1024 * 1024;
// A record line holds at most this many characters before its line end.
inline constexpr std::size_t kMaxRecordLineLength = 254;
inline constexpr std::size_t kMaxRecordDataBytes = 128;

// The state of one read. The caller owns it for one upgrade and starts it zeroed ({}).
struct CSRecordReader {
    BYTE m_nDataCount = 0;                       // data bytes of the record last parsed
    char m_szData[2 * kMaxRecordDataBytes] = {}; // its data field as hex text, not terminated
    DWORD m_nImageLength = 0;              // image bytes built so far: where the next byte goes
    std::vector<BYTE>* m_pImage = nullptr; // the image buffer; its size is the room allocated
    DWORD m_dwRecordAddress = 0;           // load address of the record last parsed
    DWORD m_dwNextAddress = 0; // device address of image byte m_nImageLength; 0: not yet fixed
};

// What ParseSRecord made of one line.
enum SRecordLine : int {
    SRecordData = 0,    // a data record: m_nDataCount, m_dwRecordAddress and m_szData describe it
    SRecordSkipped = 1, // a header, an end or count record, type 4, an empty or blank line
    SRecordDamaged = 2, // a line that is not a record, or a record other than a header whose
                        // count, address, data or checksum is not hexadecimal or does not add
                        // up: the file is refused
};

// Opens `file` for reading when it names a regular file; anything else (a folder, a FIFO, a
// device node) is refused at once, without an open that could block: Cause::FileUnopenable,
// "Unable to open file", the detail "file".
bool OpenFirmwareFile(QFile& file, Outcome& outcome);

// Reads the file at `path`. Returns the image and sets `nImageLength` to its length; or returns
// nothing with `outcome` saying why: FileUnopenable ("Unable to open file") or FileRefused
// ("Unable to read firmware file"), the detail "file", and for a refused file "reason" and,
// when one line is to blame, "line" (counted from 1).
std::optional<std::vector<BYTE>> LoadFirmwareImage(CSRecordReader& reader, const QString& path,
                                                   int& nImageLength, Outcome& outcome);

// The same for a file's contents already in memory (all of them, line ends untranslated).
std::optional<std::vector<BYTE>> BuildFirmwareImage(CSRecordReader& reader,
                                                    std::string_view fileContents,
                                                    int& nImageLength, Outcome& outcome);

// Parses one line (without its line end).
SRecordLine ParseSRecord(CSRecordReader& reader, std::string_view line);

// Brings the image up to the current record's address. False when the image would outgrow
// kMaxFirmwareImageSize or its buffer cannot grow.
bool FillAddressGap(CSRecordReader& reader);

// Appends the current record's data bytes to the image. False as for FillAddressGap.
bool StoreRecordData(CSRecordReader& reader);

// The value of one hexadecimal digit by the reader's single rule: a decimal digit gives its
// value, an upper-case letter its code minus 55, any other character (taken as an unsigned
// byte) its code minus 87. The reader checks that every character of a record but its mark
// and type digit is 0-9, A-F or a-f before it takes a value from it.
int HexDigitValue(char digit);

#pragma once
// Intel HEX text: splitting it into lines, checking each record, and writing records.
// Shared by the PIC and SAM loaders, the file tools and the simulated target.
//
// The readers accept CR LF, LF-only and CR-only line ends and a last line without any line end;
// blank lines are skipped. A record is refused when it is not a colon followed by hex digits, when
// its byte count does not fit its length, or when its checksum does not match: a corrupted file
// must never reach a target.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tamrix {

// One line of text, without its line end.
struct HexLine {
    int number = 0;  // 1 for the first line
    std::string_view text;
};

class CHexLineReader {
  public:
    CHexLineReader(const char* text, int length);
    // The next non-blank line; false at the end of the text.
    bool Next(HexLine& line);

  private:
    const char* text_;
    size_t length_;
    size_t position_ = 0;
    int number_ = 0;
};

// Record types.
inline constexpr int kHexData = 0x00;
inline constexpr int kHexEndOfFile = 0x01;
inline constexpr int kHexExtendedSegment = 0x02;
inline constexpr int kHexStartSegment = 0x03;
inline constexpr int kHexExtendedLinear = 0x04;
inline constexpr int kHexStartLinear = 0x05;

struct HexRecord {
    int lineNumber = 0;
    int byteCount = 0;
    int address = 0;  // the 16-bit record address
    int type = 0;
    // Character 9 of the line: the data digits, directly followed by the two checksum digits.
    const char* dataText = nullptr;

    // Data byte k (0 <= k < byteCount).
    uint8_t DataByte(int k) const;
    // The four hex digits at dataText + 4 * group as one 16-bit number (first byte high):
    // the value of an extended address record (group 0), or a PIC slot value.
    uint16_t Digits4(int group) const;
};

enum class HexRecordError { None, NotARecord, BadDigit, BadLength, BadChecksum };

// Checks one line and fills `record` (its dataText points into line.text).
HexRecordError ParseHexRecord(const HexLine& line, HexRecord& record);

// The status line that reports a refused record, naming its line.
std::string HexRecordErrorText(int lineNumber, HexRecordError error);

// The status lines that refuse a text whose end record (":00000001FF") is missing, as in a file
// cut short or still being copied, or is followed by further records.
std::string HexMissingEndText();
std::string HexRecordAfterEndText(int lineNumber);

// What an editor or a copy tool put where no record can be, said precisely for the messages that
// refuse such a text: "starts with a UTF-8 byte-order mark (EF BB BF)" before the first record,
// or "has 3 bytes after its end record on line 120: 0x1A (Ctrl-Z), 0x00 (NUL), 0x00 (NUL)" for an
// end-of-file mark or padding after the end record (on its line or below it). Empty when the text
// has neither; a damaged record before the end, or a record after it, has messages of its own.
std::string HexStrayBytesText(const char* text, int length);

// The base address an extended address record sets: type 02 (segment) its value x 16, type 04
// (linear) its value x 65536.
uint32_t ExtendedAddress(const HexRecord& record);

// Walking a whole text -------------------------------------------------------------------------

// A reader of a whole HEX text, told about each checked record by WalkHexRecords. The walker
// keeps the base address the address records set and notes the end record itself, so a reader
// only says what the other records mean to it. Each hook returns false to stop the walk there.
class CHexRecordVisitor {
  public:
    virtual ~CHexRecordVisitor() = default;
    // A record of any type that follows an end record, before it is handled as below.
    virtual bool OnAfterEnd(const HexRecord& record);
    // A data record; `extended` is the base address the last address record set (0 before any).
    // Byte k lies at extended + record.address + k, never beyond 32 bits: a record whose bytes
    // run past offset 0xFFFF comes as two calls, the bytes up to 0xFFFF and then the rest at
    // offset 0, of the same segment after a segment address record (the offset wraps at 64 KiB),
    // of the next 64 KiB otherwise (modulo 4 GiB).
    virtual bool OnData(const HexRecord& record, uint32_t extended) = 0;
    // A start address record, or a record of a type this program does not know.
    virtual bool OnOther(const HexRecord& record);
};

enum class HexWalkEnd {
    TextEnd,    // every record of the text was walked
    Stopped,    // a hook stopped the walk
    BadRecord,  // a record failed its check
};

struct HexWalkResult {
    HexWalkEnd end = HexWalkEnd::TextEnd;
    bool sawEnd = false;  // an end record came before the walk ended
    int lineNumber = 0;   // the line of the record the walk stopped at (Stopped, BadRecord)
    HexRecordError fault = HexRecordError::None;  // what was wrong with it (BadRecord)
};

// Checks the records of a text one by one, in order, and hands them to `visitor`: data records
// with the base address in force (in two parts where they run past offset 0xFFFF, see OnData),
// start and unknown records as they are, and every record after an end record to OnAfterEnd
// first. Ends at the end of the text, at a hook that says stop, or at the first record that fails
// its check. A null text is an empty one.
HexWalkResult WalkHexRecords(const char* text, int length, CHexRecordVisitor& visitor);

// Reads a whole HEX text file. False when it cannot be read or is implausibly large for firmware
// of these parts (more than 256 MiB), which keeps every length within an int.
[[nodiscard]] bool ReadHexTextFile(const std::string& path, std::string& text);

// The value of one hexadecimal digit (either case), -1 for any other character.
int HexDigitValue(char c);

// Value of up to `maxDigits` hex digits at `text`, stopping at the first other character
// (what scanf "%4hx" / "%2hx" reads from a well-formed field).
unsigned ParseHexDigits(const char* text, int maxDigits);

// Writing -------------------------------------------------------------------------------------

// One record, ":" to the checksum, with CR LF. Lower-case digits unless `upperCase`.
std::string FormatHexRecord(int type, uint16_t address, const uint8_t* data, int count,
                            bool upperCase = false);

// A whole Intel HEX text for a sparse byte image (byte address -> byte): extended linear address
// records where the upper 16 bits change, data records of at most `recordSize` bytes that never
// cross a gap or a 64 KiB boundary, and the end record ":00000001FF". CR LF line ends. A record
// holds 1 to 255 bytes: a `recordSize` outside that is taken as the nearest of the two.
std::string FormatIntelHex(const std::map<uint32_t, uint8_t>& bytes, int recordSize = 16,
                           bool upperCase = false);

// Reads a whole Intel HEX text into a sparse byte image (types 00, 02, 04; start records are
// skipped). False and a message naming the line on the first bad record, and when the end record
// is missing or is not the last record.
bool ParseIntelHex(const char* text, int length, std::map<uint32_t, uint8_t>& bytes,
                   std::string* error = nullptr);

}  // namespace tamrix

#include "image/IntelHex.h"

#include <algorithm>

#include "common/Format.h"
#include "platform/FileAccess.h"

namespace tamrix {

namespace {

// The value of every character as a hex digit, -1 for those that are not one. Every record of a
// text is read digit by digit several times over (checked, examined, loaded), on every port of a
// download on several at once: one look-up a digit instead of three comparisons.
struct HexDigitTable {
    int8_t value[256];
    constexpr HexDigitTable() : value() {
        for (int c = 0; c < 256; ++c) {
            value[c] = c >= '0' && c <= '9'   ? static_cast<int8_t>(c - '0')
                       : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                       : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
                                              : int8_t{-1};
        }
    }
};
constexpr HexDigitTable kHexDigits;

inline int DigitOf(char c) {
    return kHexDigits.value[static_cast<unsigned char>(c)];
}

int ByteAt(std::string_view text, size_t at) {
    return DigitOf(text[at]) * 16 + DigitOf(text[at + 1]);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// A data record whose bytes run past offset 0xFFFF continues where the addressing says: segment
// addresses wrap to the start of the segment (the offset counts modulo 64 KiB), linear ones go on
// into the next 64 KiB and from the top of the 4 GiB space back to 0. The visitor gets such a
// record as its two parts, each within one 64 KiB window, so that extended + address + k is the
// address of every byte it sees. Placing the bytes after the segment's end instead would write
// them somewhere the file never meant: program bytes into EEPROM or fuses.
bool WalkDataRecord(const HexRecord& record, uint32_t extended, bool segment,
                    CHexRecordVisitor& visitor) {
    const int inWindow = std::min(record.byteCount, 0x10000 - record.address);
    if (inWindow == record.byteCount)
        return visitor.OnData(record, extended);
    HexRecord head = record;
    head.byteCount = inWindow;
    HexRecord tail = record;
    tail.address = 0;
    tail.byteCount = record.byteCount - inWindow;
    tail.dataText = record.dataText + 2 * inWindow;
    // Both parts are one record: a reader that stops the walk at this record still sees all of it.
    const bool headGo = visitor.OnData(head, extended);
    const bool tailGo = visitor.OnData(tail, segment ? extended : extended + 0x10000u);  // mod 2^32
    return headGo && tailGo;
}

}  // namespace

CHexLineReader::CHexLineReader(const char* text, int length)
    : text_(text), length_(length > 0 ? static_cast<size_t>(length) : 0) {}

bool CHexLineReader::Next(HexLine& line) {
    while (position_ < length_) {
        const size_t start = position_;
        size_t end = start;
        while (end < length_ && text_[end] != '\r' && text_[end] != '\n')
            ++end;
        // Step over the line end: CR LF, LF or CR.
        position_ = end;
        if (position_ < length_ && text_[position_] == '\r')
            ++position_;
        if (position_ < length_ && text_[position_] == '\n')
            ++position_;
        ++number_;

        size_t trimmed = end;
        while (trimmed > start && IsBlank(text_[trimmed - 1]))
            --trimmed;
        size_t first = start;
        while (first < trimmed && IsBlank(text_[first]))
            ++first;
        if (first == trimmed)
            continue;  // blank line
        line.number = number_;
        line.text = std::string_view(text_ + first, trimmed - first);
        return true;
    }
    return false;
}

uint8_t HexRecord::DataByte(int k) const {
    return static_cast<uint8_t>(DigitOf(dataText[2 * k]) * 16 + DigitOf(dataText[2 * k + 1]));
}

uint16_t HexRecord::Digits4(int group) const {
    return static_cast<uint16_t>(ParseHexDigits(dataText + 4 * group, 4));
}

HexRecordError ParseHexRecord(const HexLine& line, HexRecord& record) {
    const std::string_view text = line.text;
    if (text.empty() || text[0] != ':')
        return HexRecordError::NotARecord;
    for (size_t i = 1; i < text.size(); ++i) {
        if (DigitOf(text[i]) < 0)
            return HexRecordError::BadDigit;
    }
    // ':' count(2) address(4) type(2) data(2n) checksum(2)
    if (text.size() < 11 || (text.size() - 1) % 2 != 0)
        return HexRecordError::BadLength;
    const int count = ByteAt(text, 1);
    if (text.size() != 11 + 2 * static_cast<size_t>(count))
        return HexRecordError::BadLength;
    unsigned sum = 0;
    for (size_t i = 1; i < text.size(); i += 2)
        sum += static_cast<unsigned>(ByteAt(text, i));
    if ((sum & 0xFF) != 0)
        return HexRecordError::BadChecksum;

    const int type = ByteAt(text, 7);
    if ((type == kHexExtendedSegment || type == kHexExtendedLinear) && count != 2) {
        return HexRecordError::BadLength;
    }

    record.lineNumber = line.number;
    record.byteCount = count;
    record.address = ByteAt(text, 3) * 256 + ByteAt(text, 5);
    record.type = type;
    record.dataText = text.data() + 9;
    return HexRecordError::None;
}

std::string HexRecordErrorText(int lineNumber, HexRecordError error) {
    const char* what = "";
    switch (error) {
        case HexRecordError::None:
            return std::string();
        case HexRecordError::NotARecord:
            what = "not an Intel HEX record";
            break;
        case HexRecordError::BadDigit:
            what = "character that is not a hex digit";
            break;
        case HexRecordError::BadLength:
            what = "byte count does not fit the record";
            break;
        case HexRecordError::BadChecksum:
            what = "record checksum mismatch, the file is corrupted";
            break;
    }
    return Format("[Error] : Hex file line %d : %s!!\r\n", lineNumber, what);
}

std::string HexMissingEndText() {
    return "[Error] : Hex file has no end record, the file is incomplete!!\r\n";
}

std::string HexRecordAfterEndText(int lineNumber) {
    return Format("[Error] : Hex file line %d : record after the end record!!\r\n", lineNumber);
}

namespace {

// "0x1A (Ctrl-Z)", "0x41 ('A')", "0xFE"
std::string DescribeByte(uint8_t byte) {
    const char* name = byte == 0x00   ? "NUL"
                       : byte == 0x1A ? "Ctrl-Z"
                       : byte == '\r' ? "CR"
                       : byte == '\n' ? "LF"
                       : byte == '\t' ? "tab"
                       : byte == ' '  ? "space"
                                      : nullptr;
    if (name != nullptr)
        return Format("0x%02X (%s)", byte, name);
    if (byte > ' ' && byte < 0x7F)
        return Format("0x%02X ('%c')", byte, byte);
    return Format("0x%02X", byte);
}

}  // namespace

std::string HexStrayBytesText(const char* text, int length) {
    if (text == nullptr || length <= 0)
        return std::string();
    const std::string_view all(text, static_cast<size_t>(length));
    if (all.size() > 3 && all.compare(0, 3, "\xEF\xBB\xBF") == 0 && all[3] == ':')
        return "starts with a UTF-8 byte-order mark (EF BB BF)";

    // The end record: a whole line, or the first 11 characters of a line that goes on with
    // something else.
    CHexLineReader reader(text, length);
    HexLine line;
    size_t after = 0;
    int endLine = 0;
    while (endLine == 0 && reader.Next(line)) {
        HexRecord record;
        const HexLine head{line.number, line.text.substr(0, 11)};
        if (ParseHexRecord(line, record) == HexRecordError::None) {
            if (record.type == kHexEndOfFile)
                endLine = line.number;
        } else if (ParseHexRecord(head, record) != HexRecordError::None ||
                   record.type != kHexEndOfFile) {
            return std::string();
        } else {
            endLine = line.number;
            line.text = head.text;
        }
        after = static_cast<size_t>(line.text.data() + line.text.size() - text);
    }
    size_t stray = after;
    while (stray < all.size() && (IsBlank(all[stray]) || all[stray] == '\r' || all[stray] == '\n'))
        ++stray;
    if (endLine == 0 || stray == all.size() || all[stray] == ':')
        return std::string();

    constexpr size_t kShown = 8;
    const size_t count = all.size() - stray;
    std::string bytes;
    for (size_t i = 0; i < count && i < kShown; ++i) {
        bytes += (i > 0 ? ", " : "") + DescribeByte(static_cast<uint8_t>(all[stray + i]));
    }
    return Format("has %d byte%s after its end record on line %d: %s%s", static_cast<int>(count),
                  count == 1 ? "" : "s", endLine, bytes.c_str(), count > kShown ? ", ..." : "");
}

bool CHexRecordVisitor::OnAfterEnd(const HexRecord&) {
    return true;
}

bool CHexRecordVisitor::OnOther(const HexRecord&) {
    return true;
}

HexWalkResult WalkHexRecords(const char* text, int length, CHexRecordVisitor& visitor) {
    CHexLineReader reader(text, text != nullptr ? length : 0);
    HexLine line;
    HexWalkResult walk;
    uint32_t extended = 0;  // starts at 0 for every text
    bool segment = false;   // the last address record was a segment one (type 02)
    while (reader.Next(line)) {
        HexRecord record;
        walk.fault = ParseHexRecord(line, record);
        if (walk.fault != HexRecordError::None) {
            walk.end = HexWalkEnd::BadRecord;
            walk.lineNumber = line.number;
            return walk;
        }
        bool go = !walk.sawEnd || visitor.OnAfterEnd(record);
        if (go) {
            switch (record.type) {
                case kHexData:
                    go = WalkDataRecord(record, extended, segment, visitor);
                    break;
                case kHexEndOfFile:
                    walk.sawEnd = true;
                    break;
                case kHexExtendedSegment:
                case kHexExtendedLinear:
                    extended = ExtendedAddress(record);
                    segment = record.type == kHexExtendedSegment;
                    break;
                default:
                    go = visitor.OnOther(record);
                    break;
            }
        }
        if (!go) {
            walk.end = HexWalkEnd::Stopped;
            walk.lineNumber = line.number;
            return walk;
        }
    }
    return walk;
}

uint32_t ExtendedAddress(const HexRecord& record) {
    const uint32_t value = record.Digits4(0);
    return record.type == kHexExtendedSegment ? value << 4 : value << 16;
}

bool ReadHexTextFile(const std::string& path, std::string& text) {
    // Regular files only, opened without waiting (a FIFO or a terminal never hangs the load), and
    // refused by their size before any memory is taken.
    constexpr uint64_t kLargestHexFile = 256 * 1024 * 1024;
    const FileReadResult file = ReadRegularFile(path, kLargestHexFile);
    if (file.error != FileError::None && file.error != FileError::Empty)
        return false;
    text.assign(file.bytes.begin(), file.bytes.end());
    return true;
}

int HexDigitValue(char c) {
    return DigitOf(c);
}

unsigned ParseHexDigits(const char* text, int maxDigits) {
    unsigned value = 0;
    for (int i = 0; i < maxDigits; ++i) {
        const int digit = DigitOf(text[i]);
        if (digit < 0)
            break;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

std::string FormatHexRecord(int type, uint16_t address, const uint8_t* data, int count,
                            bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string line;
    line.reserve(13 + 2 * static_cast<size_t>(count));
    unsigned sum = 0;
    auto put = [&](unsigned byte) {
        line += digits[(byte >> 4) & 0xF];
        line += digits[byte & 0xF];
        sum += byte;
    };
    line += ':';
    put(static_cast<unsigned>(count) & 0xFF);
    put(address >> 8);
    put(address & 0xFF);
    put(static_cast<unsigned>(type) & 0xFF);
    for (int i = 0; i < count; ++i)
        put(data[i]);
    put((0x100 - (sum & 0xFF)) & 0xFF);
    line += "\r\n";
    return line;
}

std::string FormatIntelHex(const std::map<uint32_t, uint8_t>& bytes, int recordSize,
                           bool upperCase) {
    // The byte count is one byte, and an empty data record would never end the loop below.
    recordSize = std::clamp(recordSize, 1, 255);
    std::string text;
    uint32_t upper = 0;
    auto it = bytes.begin();
    while (it != bytes.end()) {
        const uint32_t start = it->first;
        if ((start >> 16) != upper) {
            upper = start >> 16;
            const uint8_t ela[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
            text += FormatHexRecord(kHexExtendedLinear, 0, ela, 2, upperCase);
        }
        std::vector<uint8_t> data;
        uint32_t next = start;
        while (it != bytes.end() && it->first == next &&
               static_cast<int>(data.size()) < recordSize && (next >> 16) == upper) {
            data.push_back(it->second);
            ++it;
            ++next;
        }
        text += FormatHexRecord(kHexData, static_cast<uint16_t>(start & 0xFFFF), data.data(),
                                static_cast<int>(data.size()), upperCase);
    }
    text += ":00000001FF\r\n";
    return text;
}

bool ParseIntelHex(const char* text, int length, std::map<uint32_t, uint8_t>& bytes,
                   std::string* error) {
    class CByteImageReader : public CHexRecordVisitor {
      public:
        explicit CByteImageReader(std::map<uint32_t, uint8_t>& image) : image_(image) {}
        bool OnAfterEnd(const HexRecord&) override { return false; }
        bool OnData(const HexRecord& record, uint32_t extended) override {
            for (int k = 0; k < record.byteCount; ++k)
                image_[extended + static_cast<uint32_t>(record.address) + k] = record.DataByte(k);
            return true;
        }
        // Start addresses carry no data; records of unknown types are passed over.

      private:
        std::map<uint32_t, uint8_t>& image_;
    };

    CByteImageReader reader(bytes);
    const HexWalkResult walk = WalkHexRecords(text, length, reader);
    std::string why;
    switch (walk.end) {
        case HexWalkEnd::TextEnd:
            if (walk.sawEnd)
                return true;
            why = HexMissingEndText();
            break;
        case HexWalkEnd::Stopped:
            why = HexRecordAfterEndText(walk.lineNumber);
            break;
        case HexWalkEnd::BadRecord:
            // Past the end record, whatever follows is out of place, damaged or not.
            why = walk.sawEnd ? HexRecordAfterEndText(walk.lineNumber)
                              : HexRecordErrorText(walk.lineNumber, walk.fault);
            break;
    }
    if (error)
        *error = why;
    return false;
}

}  // namespace tamrix

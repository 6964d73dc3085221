#include "programmer/FirmwareTextRules.h"

namespace tamrix {

namespace {

class CFirmwareTextReader : public CHexRecordVisitor {
  public:
    CFirmwareTextReader(const TextReport& report, const DataPlacer& place)
        : report_(report), place_(place) {}

    // The end record closes the file. Records after it, or no end record at all, mean a file
    // that was cut short or put together wrongly: half a firmware must never be programmed.
    bool OnAfterEnd(const HexRecord& record) override {
        report_(HexRecordAfterEndText(record.lineNumber));
        return false;
    }
    // A refused byte fails the text (its placer still places the rest of its record).
    bool OnData(const HexRecord& record, uint32_t extended) override {
        return !place_ || place_(record, extended);
    }
    // A start address has no place in a bootloader image (no line for it); an unknown type is
    // named.
    bool OnOther(const HexRecord& record) override {
        if (record.type != kHexStartSegment && record.type != kHexStartLinear)
            report_("[Error] : Unknown hex record type!!!\r\n");
        return false;
    }

  private:
    const TextReport& report_;
    const DataPlacer& place_;
};

}  // namespace

bool ReadFirmwareText(const char* text, int length, const TextReport& report,
                      const DataPlacer& place) {
    CFirmwareTextReader reader(report, place);
    const HexWalkResult walk = WalkHexRecords(text, length, reader);
    switch (walk.end) {
        case HexWalkEnd::TextEnd:
            if (!walk.sawEnd) {
                report(HexMissingEndText());
                return false;
            }
            return true;
        case HexWalkEnd::Stopped:
            return false;
        case HexWalkEnd::BadRecord:
            report(HexRecordErrorText(walk.lineNumber, walk.fault));
            return false;
    }
    return false;
}

}  // namespace tamrix

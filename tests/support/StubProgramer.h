#pragma once
// A programmer whose family operations all fail without traffic: enough to drive what the base
// class does (the handshake), or to stand in where only one operation matters (override it).

#include <string>

#include "programmer/Programmer.h"

namespace tamrix::test {

class StubProgramer : public CProgramer {
  public:
    StubProgramer(CCommChannel* channel, CClock& clock, CReportWindow* window = nullptr)
        : CProgramer(channel, clock, 0, window) {}

    void BuildMemoryMap(int) override {}
    int ReadTargetData(int) override { return 0; }
    int ReadTargetDataSmallRow() override { return 0; }
    int ReadVersionFromFlash(VersionInfo&, int&) override { return 0; }
    bool ProgramFlash(int) override { return false; }
    int GetImageProductCode() override { return 0; }
    int GetImageWord(int) override { return 0; }
    int ReadTargetVersion(VersionInfo&, int&) override { return 0; }
    int ReadVersionAddresses(int[3]) override { return 0; }
    bool ReadFileInfo(const std::string&, int, uint16_t&, int, uint16_t&, int&) override {
        return false;
    }
    bool ReadFileInfoFromBuffer(const char*, int, int, uint16_t&, int, uint16_t&, int&) override {
        return false;
    }

  protected:
    bool LoadDataRecord(const HexRecord&, uint32_t) override { return false; }
};

}  // namespace tamrix::test

#include "programmer/ProgrammerFactory.h"

#include "programmer/ProgramerPIC.h"
#include "programmer/ProgramerSAM.h"

namespace tamrix {

std::unique_ptr<CProgramer> MakeProgrammerFor(const DeviceTableEntry& entry, CCommChannel* channel,
                                              CClock& clock, CReportWindow* window) {
    switch (ProgrammerKindFor(entry)) {
        case ProgrammerKind::Sam:
            return std::make_unique<CProgramerSAM>(channel, clock, window);
        case ProgrammerKind::Pic: {
            // Flash reads before BuildMemoryMap depend on the family's read block.
            auto pic = std::make_unique<CProgramerPIC>(channel, clock, window);
            pic->SetTargetFamily(FamilyOf(entry.family));
            return pic;
        }
        case ProgrammerKind::None:
            break;
    }
    return nullptr;
}

}  // namespace tamrix

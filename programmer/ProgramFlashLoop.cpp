// CProgramer: the row loop both families program their image with. What they do differently is
// passed in as RowLoopRules by their ProgramFlash.

#include <algorithm>
#include <cstdint>

#include "comm/CommChannel.h"
#include "common/Format.h"
#include "programmer/Programmer.h"

namespace tamrix {

bool CProgramer::ProgramRows(const RowLoopRules& rules) {
    ReportStatus("[Message] : Start Firmware upgrade...\r\n");
    progress = 0;
    verifyFailed = false;
    if (rules.channelRequired && channel == nullptr)
        return false;

    for (size_t index = 0; index < rows.size(); ++index) {
        CMemory* row = rows[index].get();
        if (row == nullptr)
            continue;  // no map built: nothing to send
        if (stopRequest != nullptr && stopRequest->load()) {
            // Between two rows: no frame is left half sent.
            ReportStatus(Format("[Notice] : Download stopped before address 0x%x. The product "
                                "stays in its bootloader: power it off and on, then run the "
                                "download again. \r\n",
                                row->baseAddress));
            return false;
        }
        const int result =
            rules.checkedFrames ? row->WriteRowChecked(channel) : row->WriteRow(channel);
        if (result != 0) {
            ReportStatus(
                Format("[Error] : Address 0x%x Flash Programing Fail!!\r\n", row->baseAddress));
            return false;
        }
        if (row->kind != kRowProgram || row->isEmpty == 1)
            continue;
        // Read back before anything else is written: a row the target holds wrongly must not be
        // followed by the finish byte, which would start that firmware.
        if (verify && VerifyRow(*row) != 1) {
            verifyFailed = true;
            return false;
        }
        // Progress is how far the row's start lies towards the highest program address. When
        // that address is 0 (only row 0 with the reset vector, or no program data at all), the
        // row just written is all the program memory there is: that is 100 %.
        if (maxAddress > 0) {
            const int64_t percent = int64_t{row->baseAddress} * 100 / maxAddress;
            progress = static_cast<int>(std::min<int64_t>(percent, 100));
        } else {
            progress = 100;
        }
        if (!rules.progressOnEvenRows || index % 2 == 0)
            ReportProgress(progress, kProgressProgramming);
    }

    if (verify && channel != nullptr) {
        ReportStatus(Format("[Message] : Verify Done: %d program rows read back, all equal to "
                            "the file \r\n",
                            channel->Statistics().rowsVerified));
    }
    // The bootloader does not answer the finish byte.
    return FinishProgramming();
}

}  // namespace tamrix

// CProgramer: the row loop both families program their image with. What they do differently is
// passed in as RowLoopRules by their ProgramFlash.

#include <algorithm>
#include <cstdint>

#include "comm/CommChannel.h"
#include "common/Format.h"
#include "image/RowAnswers.h"
#include "programmer/Programmer.h"

namespace tamrix {

bool CProgramer::ProgramRows(const RowLoopRules& rules) {
    ReportStatus("[Message] : Start Firmware upgrade...\r\n");
    progress = 0;
    verifyFailed = false;
    answersOutOfStep = false;
    if (rules.channelRequired && channel == nullptr)
        return false;

    for (size_t index = 0; index < rows.size(); ++index) {
        CMemory* row = rows[index].get();
        if (row == nullptr)
            continue;  // no map built: nothing to send
        if (stopRequest != nullptr && stopRequest->load()) {
            // Between two rows: no frame is left half sent.
            ReportStatus(
                Format("[Notice] : Download stopped before address 0x%x. The product "
                       "stays in its bootloader: run the download again, it is found "
                       "there without a wake-up. \r\n",
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
        if (row->Kind() != RowKind::Program || row->isEmpty == 1)
            continue;
        // Read back before anything else is written: a row the target holds wrongly must not be
        // followed by the finish byte, which would start that firmware.
        if (verify && !VerifyRow(*row)) {
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

    if (!AccountForAnswers())
        return false;
    if (verify && channel != nullptr) {
        ReportStatus(Format("[Message] : Verify Done: %d program rows read back, all equal to "
                            "the file \r\n",
                            channel->Statistics().rowsVerified));
    }
    // The bootloader does not answer the finish byte.
    return FinishProgramming();
}

bool CProgramer::AccountForAnswers() {
    if (channel == nullptr)
        return true;
    ListenForGivenUpAnswers(*channel, clock);
    CAnswerLedger& ledger = channel->Answers();
    const std::vector<RowTag> uncertain = ledger.TakeUncertainRows();
    LinkStatistics& statistics = channel->Statistics();
    statistics.rowsUncertain = ledger.UncertainRowCount();
    statistics.answersMissing = ledger.GivenUpCount();
    if (uncertain.empty())
        return true;
    if (ResolveUncertainRows(uncertain))
        return true;
    answersOutOfStep = true;
    return false;
}

bool CProgramer::ResolveUncertainRows(const std::vector<RowTag>& uncertain) {
    ReportStatus(
        Format("[Error] : The product's answers fell out of step with the rows sent: %d "
               "row(s), the first at address 0x%x, may not hold the file, and this bootloader "
               "cannot read its flash back to check them. The firmware is not started. "
               "Check the cable and its contacts, or choose a lower baud rate, then run "
               "the download again. \r\n",
               static_cast<int>(uncertain.size()), uncertain.front().baseAddress));
    return false;
}

}  // namespace tamrix

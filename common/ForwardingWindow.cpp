#include "common/ForwardingWindow.h"

namespace tamrix {

MessageAnswer ReportCall::SendTo(CReportWindow* window) const {
    if (window == nullptr)
        return Unanswered();
    switch (kind) {
        case StatusLine:
            window->SendStatusLine(text);
            break;
        case AddedStatusLine:
            window->AddStatusLine(text);
            break;
        case LogLine:
            window->WriteProcessLog(text);
            break;
        case Progress:
            window->SendProgress(value, text);
            break;
        case MessageBox:
            return window->ShowMessageBox(text, caption, icon, buttons);
    }
    return MessageAnswer::Ok;
}

MessageAnswer ReportCall::Unanswered() const {
    return kind == MessageBox && buttons == MessageButtons::YesNo ? MessageAnswer::No
                                                                  : MessageAnswer::Ok;
}

void CForwardingWindow::SendStatusLine(const std::string& text) {
    Forward(ReportCall(ReportCall::StatusLine, text));
}

void CForwardingWindow::SendProgress(int value, const std::string& labelPrefix) {
    Forward(ReportCall(ReportCall::Progress, labelPrefix, value));
}

void CForwardingWindow::AddStatusLine(const std::string& text) {
    Forward(ReportCall(ReportCall::AddedStatusLine, text));
}

void CForwardingWindow::WriteProcessLog(const std::string& text) {
    Forward(ReportCall(ReportCall::LogLine, text));
}

MessageAnswer CForwardingWindow::ShowMessageBox(const std::string& text, const std::string& caption,
                                                MessageIcon icon, MessageButtons buttons) {
    ReportCall call(ReportCall::MessageBox, text);
    call.caption = caption;
    call.icon = icon;
    call.buttons = buttons;
    return Forward(call);
}

}  // namespace tamrix

#include "cli/PortSearch.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/ExitCodes.h"
#include "comm/OpenFailure.h"
#include "comm/PortEnumerator.h"
#include "comm/PortLease.h"
#include "comm/PresentPorts.h"
#include "common/Format.h"
#include "download/ChannelOpener.h"
#include "download/ReachTarget.h"
#include "download/StatusTap.h"

namespace tamrix::cli {

namespace {

enum class Answer { NotTried, Console, Found, NotIdentified, NoAnswer, Busy, OpenFailed, Stopped };

// One port of the search and what it did.
struct PortTry {
    const PresentPort* present = nullptr;
    Answer answer = Answer::NotTried;
    OpenFailure failure;
    DeviceTableEntry entry{};
    std::string lastLine;  // the handshake's last status line
    std::shared_ptr<CPortLease> lease;

    bool Answered() const { return answer == Answer::Found || answer == Answer::NotIdentified; }
    bool Woken() const { return Answered() || answer == Answer::NoAnswer; }
};

std::string PortText(const PresentPort& present) {
    return Format("COM%d (%s)", present.info.portNumber,
                  EscapeControls(present.info.device).c_str());
}

// A port that did not open: busy, or why it would not.
void CouldNotOpen(PortTry& attempt, const CCommChannel* channel) {
    attempt.failure = channel != nullptr ? channel->LastOpenFailure() : OpenFailure();
    attempt.answer = attempt.failure.error == OpenError::Busy ? Answer::Busy : Answer::OpenFailed;
    attempt.lease.reset();
}

// The handshake of a download on one port, its status lines kept to itself: the search says
// what came of it. Only the port where a product was identified stays held.
void TryPort(PortTry& attempt, const LinkOptions& link, const CPortMap& map, CClock& clock,
             const std::atomic<bool>* stopRequest) {
    CStatusTap quiet(nullptr);
    attempt.lease = std::make_shared<CPortLease>();
    const ChannelOpener open = SerialPortOpener(attempt.present->port, map, &quiet, attempt.lease);
    const Wiring wiring = link.WiringChosen();
    // A port that does not open is not woken.
    const OpenedChannel trial = open(link.baud, wiring);
    if (!trial.opened) {
        CouldNotOpen(attempt, trial.channel.get());
        return;
    }
    trial.channel->Close();

    const TargetReach reach = ReachTarget(open, link.baud, wiring, &quiet, clock, stopRequest);
    if (!reach.portOpened) {
        CouldNotOpen(attempt, reach.channel.get());
        return;
    }
    reach.channel->Close();
    attempt.entry = reach.entry;
    attempt.lastLine = quiet.LastStatusLine();
    if (reach.entry.name != nullptr)
        attempt.answer = Answer::Found;
    else if (reach.bootloaderAnswered)
        attempt.answer = Answer::NotIdentified;
    else if (stopRequest != nullptr && stopRequest->load())
        attempt.answer = Answer::Stopped;
    else
        attempt.answer = Answer::NoAnswer;
    if (attempt.answer != Answer::Found)
        attempt.lease.reset();
}

std::string Outcome(const PortTry& attempt) {
    switch (attempt.answer) {
        case Answer::NotTried:
            return "not tried: no thread could be started for it";
        case Answer::Console:
            return "left alone: the system console";
        case Answer::Found:
            return DescribeDevice(attempt.entry);
        case Answer::NotIdentified:
            return "a bootloader answered, but no chip was identified (" +
                   EscapeControls(attempt.lastLine) + ")";
        case Answer::NoAnswer:
            return "no answer";
        case Answer::Busy:
            return "busy: " + OpenFailureReason(attempt.failure);
        case Answer::OpenFailed: {
            const std::string reason = OpenFailureReason(attempt.failure);
            return "could not be opened" + (reason.empty() ? std::string() : ": " + reason);
        }
        case Answer::Stopped:
            return "stopped";
    }
    return "?";
}

// "COM7 and COM8", "COM5, COM7 and COM8"
std::string Listed(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            text += i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    return text;
}

// Every port of the survey with what came of it, and the map entries not present.
void SayEachPort(const std::vector<PortTry>& attempts, const PortSurvey& survey,
                 CTerminalWindow& window) {
    // The on-board ports the system did not list are not worth a line each time: the user's own
    // entries are.
    const CPortMap defaults = CPortMap::Defaults();
    std::vector<std::pair<int, std::string>> absent;
    for (const auto& [number, device] : survey.absent) {
        if (defaults.DevicePath(number) != device)
            absent.emplace_back(number, EscapeControls(device));
    }
    size_t width = 0;
    for (const PortTry& attempt : attempts)
        width = std::max(width, EscapeControls(attempt.present->info.device).size());
    for (const auto& entry : absent)
        width = std::max(width, entry.second.size());
    const int column = static_cast<int>(width);
    for (const PortTry& attempt : attempts) {
        window.Say(Format("  COM%-3d %-*s  %s", attempt.present->info.portNumber, column,
                          EscapeControls(attempt.present->info.device).c_str(),
                          Outcome(attempt).c_str()));
    }
    for (const auto& [number, device] : absent)
        window.Say(Format("  COM%-3d %-*s  not present", number, column, device.c_str()));
}

}  // namespace

PortSearch SearchForProduct(const LinkOptions& link, CTerminalWindow& window, CClock& clock,
                            const std::atomic<bool>* stopRequest, bool quietWhenNone) {
    const std::unique_ptr<CPortEnumerator> enumerator =
        CreatePortEnumerator(CPortMap::MapFilePath());
    const PortSurvey survey = SurveyPorts(enumerator.get());

    std::vector<PortTry> attempts(survey.present.size());
    std::vector<std::string> tried;
    for (size_t i = 0; i < attempts.size(); ++i) {
        attempts[i].present = &survey.present[i];
        // The system writes its messages there: nobody asked for it by name.
        if (survey.present[i].systemConsole)
            attempts[i].answer = Answer::Console;
        else
            tried.push_back(Format("COM%d", survey.present[i].info.portNumber));
    }
    PortSearch search;
    search.portsTried = static_cast<int>(tried.size());
    if (!quietWhenNone) {
        for (const std::string& problem : survey.problems)
            std::fprintf(stderr, "tamrix-cli: warning: %s\n", EscapeControls(problem).c_str());
    }
    if (!tried.empty() && !quietWhenNone) {
        window.Say(
            Format("Looking for the product on %s at once: the wake-up message goes to "
                   "each, and a port where nothing answers takes ten seconds. Switch the "
                   "product off and on now if it does not restart by itself.",
                   Listed(tried).c_str()));
    }

    std::vector<std::thread> threads;
    for (PortTry& attempt : attempts) {
        if (attempt.answer == Answer::Console)
            continue;
        try {
            threads.emplace_back([&attempt, &link, &survey, &clock, stopRequest] {
                TryPort(attempt, link, survey.map, clock, stopRequest);
            });
        } catch (const std::system_error&) {
            attempt.answer = Answer::NotTried;
        }
    }
    for (std::thread& thread : threads)
        thread.join();

    std::vector<const PortTry*> answered;
    std::vector<std::string> woken;
    for (const PortTry& attempt : attempts) {
        if (attempt.Answered())
            answered.push_back(&attempt);
        if (attempt.Woken())
            woken.push_back(Format("COM%d", attempt.present->info.portNumber));
    }
    search.portsWoken = static_cast<int>(woken.size());
    const bool stopped = stopRequest != nullptr && stopRequest->load();
    if (answered.empty() && quietWhenNone && !stopped) {
        search.exitCode = kExitHandshake;
        if (!woken.empty())
            window.Say(Format("No product answered on %s.", Listed(woken).c_str()));
        return search;
    }
    SayEachPort(attempts, survey, window);
    if (stopped) {
        search.exitCode = kExitInterrupted;
        return search;
    }
    if (answered.size() == 1 && answered.front()->answer == Answer::Found) {
        const PortTry& port = *answered.front();
        FoundProduct found{port.present->port, PortText(*port.present), survey.map, port.entry,
                           port.lease};
        window.Say(Format("Found the product on %s: %s", found.name.c_str(),
                          DescribeDevice(found.entry).c_str()));
        search.found = std::move(found);
        return search;
    }
    if (answered.size() > 1) {
        std::vector<std::string> names;
        for (const PortTry* port : answered)
            names.push_back(PortText(*port->present));
        std::fprintf(stderr,
                     "tamrix-cli: --port auto: a product answered on each of %s; nothing was "
                     "written. Program them one at a time with --port COMn: each waits in its "
                     "bootloader, where the next try finds it without a power cycle.\n",
                     Listed(names).c_str());
        search.exitCode = kExitUsage;
        return search;
    }
    search.exitCode = kExitHandshake;
    if (answered.size() == 1) {
        std::fprintf(stderr,
                     "tamrix-cli: --port auto: the product on %s answered but was not "
                     "identified; nothing was written\n",
                     PortText(*answered.front()->present).c_str());
    } else if (tried.empty()) {
        std::fprintf(stderr,
                     "tamrix-cli: --port auto: no port present to try (`tamrix-cli "
                     "ports` lists them)\n");
    } else {
        std::fprintf(stderr,
                     "tamrix-cli: --port auto: no product answered on any port present (%s "
                     "tried)\n",
                     Listed(tried).c_str());
    }
    return search;
}

}  // namespace tamrix::cli

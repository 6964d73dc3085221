// Where the process log goes when no path is given: beside the program when its folder may take
// it, else in the per-user state folder; never among the system's programs, whoever runs it.

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "download/ProcessLog.h"
#include "tests/comm/TestEnvironment.h"
#include "tests/download/TempDir.h"

namespace tamrix::test {
namespace {

TEST(ProcessLogPathTest, TheLogStaysOutOfTheFoldersOfTheSystemsPrograms) {
    TempDir dir;
    const ScopedEnv stateHome("XDG_STATE_HOME", dir.Path("state"));
    const std::string inState = dir.Path("state") + "/tamrix/" + kProcessLogName;
    const std::string mine = dir.Path("bin");
    std::filesystem::create_directory(mine);
    const std::string besideMine = mine + "/" + kProcessLogName;
    // A folder root owns and runs programs from unasked is the system's, for root.
    const bool root = ::geteuid() == 0;

    const struct {
        std::string programFolder;
        std::string searchPath;
        std::string log;
    } cases[] = {
        {mine, "/usr/bin:/bin", besideMine},
        {mine, "/usr/bin:" + mine, root ? inState : besideMine},
        {"/usr/bin", "/usr/bin:/bin", inState},  // writable for root, and never the log's place
        {dir.Path("missing"), "/usr/bin", inState},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.programFolder + " with PATH=" + item.searchPath);
        const ScopedEnv path("PATH", item.searchPath);
        EXPECT_EQ(CProcessLog::ChoosePath(item.programFolder), item.log);
    }
}

}  // namespace
}  // namespace tamrix::test

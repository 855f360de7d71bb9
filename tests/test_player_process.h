// A child process run as an ordinary user, for the cases that depend on permissions or
// must keep a choice (a driver, a signal's handling) out of the test process.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "app/headless.h"
#include "persist/history.h"
#include "platform/msgbox.h"
#include "test_support.h"

namespace test_support {

constexpr uid_t kPlayer = 65534; // an ordinary user for the permission cases when run as root

// Runs fn in a child process in dir, as an ordinary user (root passes every permission
// check, so a root run drops to kPlayer), with its stderr in dir/"stderr.txt". A child
// that blocks is ended by an alarm instead of hanging the suite. Returns the exit code,
// or 200 + the signal that ended it.
inline int RunAsPlayer(const std::string& dir, const std::function<int()>& fn)
{
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open((dir + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0 || dup2(fd, 2) < 0 || chdir(dir.c_str()) != 0)
            _exit(90);
        alarm(10);
        if (getuid() == 0 && (setgid(kPlayer) != 0 || setuid(kPlayer) != 0))
            _exit(91);
        _exit(fn());
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + WTERMSIG(status);
}

// A test whose player runs in dir with an empty race history, and that leaves no game
// running and no message-box observer behind.
class PlayerProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(static_cast<void*>(g_history), 0, sizeof(g_history));
        chmod(dir.path().c_str(), 0777); // the player of RunAsPlayer works in dir
    }
    void TearDown() override
    {
        plat::SetMessageBoxObserver(nullptr);
        HeadlessStop();
    }
    TempDir dir;
};

} // namespace test_support

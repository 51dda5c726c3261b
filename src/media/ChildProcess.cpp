#include "media/ChildProcess.h"

#include "support/Errors.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zarvex::media {

namespace {

struct TFd {
    int Fd = -1;
    ~TFd() {
        if (Fd >= 0)
            ::close(Fd);
    }
};

// SIGTERM to its process group, then SIGKILL when it has not gone within two seconds.
int Stop(pid_t pid) {
    ::kill(-pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 200; ++i) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR))
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(-pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

TChildResult RunChild(const std::vector<std::string>& argv, const std::string& dir,
                      const TChildOutput& output) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw EOSError(errno, std::strerror(errno));
    TFd readEnd{fds[0]}, writeEnd{fds[1]};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Fd, 1);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Fd, 2);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    // A group of its own, so that a stop reaches whatever it starts too.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);

    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int started = ::posix_spawn(&pid, argv[0].c_str(), &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (started != 0)
        throw EOSError(started, std::strerror(started), argv[0]);
    ::close(writeEnd.Fd);
    writeEnd.Fd = -1;

    TChildResult result;
    std::string line;
    bool cancel = false;
    auto emit = [&](const std::string& text) {
        try {
            if (output && !cancel)
                output(cancel, text);
        } catch (...) {
            Stop(pid);
            throw;
        }
    };
    char buffer[4096];
    for (;;) {
        pollfd p{readEnd.Fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 200);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0) {
            const ssize_t n = ::read(readEnd.Fd, buffer, sizeof buffer);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0)
                break;
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] == '\n' || buffer[i] == '\r') {
                    if (!line.empty())
                        emit(line);
                    line.clear();
                } else if (line.size() < 4096) {
                    line += buffer[i];
                }
            }
        } else {
            emit({});
        }
        if (cancel) {
            Stop(pid);
            result.Cancelled = true;
            return result;
        }
    }
    if (!line.empty())
        emit(line);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace zarvex::media

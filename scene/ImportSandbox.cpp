#include "scene/ImportSandbox.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <string>

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            return false;
        }
        p += w;
        n -= size_t(w);
    }
    return true;
}

[[noreturn]] void runChild(const std::function<void(ImportedScene&)>& read, int fd)
{
    // No core file for a crash that is expected and handled.
    struct rlimit none = {0, 0};
    setrlimit(RLIMIT_CORE, &none);
    ::dup2(2, 1);
    ImportedScene scene;
    try {
        read(scene);
    } catch (const std::exception& e) {
        scene = ImportedScene();
        scene.reason = std::string("the importer failed: ") + e.what();
    } catch (...) {
        scene = ImportedScene();
        scene.reason = "the importer failed";
    }
    const std::string bytes = scene.serialize();
    const bool sent = writeAll(fd, bytes.data(), bytes.size());
    ::close(fd);
    _exit(sent ? 0 : 3);
}

} // namespace

bool readInChildProcess(const std::function<void(ImportedScene&)>& read, ImportedScene& out,
                        const char* what, int timeoutSeconds)
{
    out = ImportedScene();
    int fds[2];
    if (::pipe(fds) != 0) {
        out.reason = std::string("no pipe for ") + what + " (" + std::strerror(errno) + ")";
        return false;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        out.reason = std::string("cannot start ") + what + " (" + std::strerror(errno) + ")";
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (child == 0) {
        ::close(fds[0]);
        runChild(read, fds[1]);
    }
    ::close(fds[1]);

    std::string bytes;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    char buffer[1 << 16];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        struct pollfd p = {fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, int(left > 60000 ? 60000 : left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t got = ::read(fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        bytes.append(buffer, size_t(got));
    }
    ::close(fds[0]);
    if (timedOut) {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        out.reason = std::string(what) + " took longer than " + std::to_string(timeoutSeconds) +
                     " seconds on this file and was stopped";
        return false;
    }
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        out.reason = std::string(what) + " crashed on this file (" + strsignal(sig) +
                     "); the file is damaged or uses something the importer cannot handle";
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        out.reason = std::string(what) + " ended without an answer (exit status " +
                     std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
        return false;
    }
    if (!out.deserialize(bytes)) {
        out = ImportedScene();
        out.reason = std::string(what) + " sent back damaged data";
        return false;
    }
    return true;
}

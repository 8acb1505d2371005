// A program run as a child process with its standard streams on pipes and
// an environment of the test's choosing. Every child is killed when it runs
// longer than its time limit, so a hanging program fails the test instead of
// hanging it.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

extern char** environ;

namespace brimlink::testing {

class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kTimeLimit{20};

    // environment: variables to set (or replace) for the child; the rest is
    // inherited. workingFolder: empty for the test's own.
    ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
                 const std::string& workingFolder = {})
        : deadline_(Clock::now() + kTimeLimit) {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0) return;
        if (::pipe2(out, O_CLOEXEC) != 0) {
            CloseBoth(in);
            return;
        }
        if (::pipe2(err, O_CLOEXEC) != 0) {
            CloseBoth(in);
            CloseBoth(out);
            return;
        }
        stdin_ = in[1];
        stdout_ = out[0];
        stderr_ = err[0];

        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string_view entry(*e);
            const std::string name(entry.substr(0, entry.find('=')));
            if (!environment.contains(name)) env.emplace_back(entry);
        }
        for (const auto& [name, value] : environment) env.push_back(name + "=" + value);
        std::vector<std::string> args = argv;

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
        // The children start with default signal handling whatever the test runner set.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t signals;
        sigemptyset(&signals);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&signals, signal);
        posix_spawnattr_setsigdefault(&attributes, &signals);
        sigemptyset(&signals);
        posix_spawnattr_setsigmask(&attributes, &signals);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        const int spawned = ::posix_spawn(&pid_, args[0].c_str(), &actions, &attributes, Pointers(args).data(),
                                          Pointers(env).data());
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        if (spawned != 0) pid_ = -1;
    }

    ~ChildProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (const int fd : {stdin_, stdout_, stderr_}) {
            if (fd >= 0) ::close(fd);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    const std::string& Out() const { return out_; }
    const std::string& Err() const { return err_; }

    bool Type(std::string_view text) {
        return stdin_ >= 0 && ::write(stdin_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    void CloseStdin() {
        if (stdin_ >= 0) ::close(stdin_);
        stdin_ = -1;
    }

    // The next complete output line (after the last one returned) containing
    // needle; nullopt when the output ends or the time limit passes first.
    std::optional<std::string> WaitForLine(std::string_view needle) {
        for (;;) {
            for (std::size_t end; (end = out_.find('\n', scanned_)) != std::string::npos;) {
                std::string line = out_.substr(scanned_, end - scanned_);
                scanned_ = end + 1;
                if (line.find(needle) != std::string_view::npos) return line;
            }
            if (!Pump()) return std::nullopt;
        }
    }

    // Reads both streams to their end and gives the exit status; nullopt when
    // the child did not end normally in time (it is killed then). Standard
    // input stays open, so a test can tell an ending by signal or command from
    // one at the end of input: call CloseStdin first for a program that reads
    // its input to the end.
    std::optional<int> WaitForExit() {
        while (Pump()) {
        }
        if (pid_ <= 0) return std::nullopt;
        if (stdout_ >= 0 || stderr_ >= 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
            return std::nullopt;
        }
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
        pid_ = -1;
        if (!WIFEXITED(status)) return std::nullopt;
        return WEXITSTATUS(status);
    }

private:
    static void CloseBoth(int fds[2]) {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    static std::vector<char*> Pointers(std::vector<std::string>& strings) {
        std::vector<char*> pointers;
        for (auto& s : strings) pointers.push_back(s.data());
        pointers.push_back(nullptr);
        return pointers;
    }

    // Waits for output on either stream. False at the time limit or when both
    // streams have ended.
    bool Pump() {
        if (stdout_ < 0 && stderr_ < 0) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
        if (left <= 0) return false;
        pollfd fds[2] = {{stdout_, POLLIN, 0}, {stderr_, POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(left)) <= 0) return false;
        for (auto [fd, text, index] : {std::tuple{&stdout_, &out_, 0}, std::tuple{&stderr_, &err_, 1}}) {
            if (fds[index].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(*fd, buffer, sizeof buffer);
            if (n > 0) {
                text->append(buffer, static_cast<std::size_t>(n));
            } else {
                ::close(*fd);
                *fd = -1;
            }
        }
        return true;
    }

    Clock::time_point deadline_;
    pid_t pid_ = -1;
    int stdin_ = -1, stdout_ = -1, stderr_ = -1;
    std::string out_, err_;
    std::size_t scanned_ = 0;
};

// Runs body in a forked child with the given user and group (supplementary
// groups dropped), for tests about what a user other than root may do, and
// gives back the text body returned; nullopt when the child could not drop
// its privileges or did not end normally. The test process keeps its own.
inline std::optional<std::string> RunAsUser(uid_t user, gid_t group, const std::function<std::string()>& body) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) return std::nullopt;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipe[0]);
        ::close(pipe[1]);
        return std::nullopt;
    }
    if (pid == 0) {
        ::close(pipe[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(group) != 0 || ::setuid(user) != 0) ::_exit(125);
        const std::string answer = body();
        std::string_view left = answer;
        while (!left.empty()) {
            const ssize_t n = ::write(pipe[1], left.data(), left.size());
            if (n <= 0) ::_exit(126);
            left.remove_prefix(static_cast<std::size_t>(n));
        }
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0) answer.append(buffer, static_cast<std::size_t>(n));
        else if (errno != EINTR) break;
    }
    ::close(pipe[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return answer;
}

}  // namespace brimlink::testing

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers for the recovery actions' tests against real servers: a temporary
// directory, a background server process that is always ended, and a report
// that keeps what an action told it.

#include "recovery/recovery_action.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace pingvard::test {

class TScratchDir {
public:
    TScratchDir() {
        std::string pattern = "/tmp/pv-recovery-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        m_path = pattern;
        std::filesystem::permissions(m_path, std::filesystem::perms(0755));
    }
    ~TScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;

    std::string operator/(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& name, const std::string& text, int mode = 0644) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << text;
    std::filesystem::permissions(name, std::filesystem::perms(mode));
}

// Standard output of a shell command (for ssh-keygen, openssl).
inline std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            out.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return out;
}

// A program started in the background in the calling thread's namespaces;
// SIGTERM, then SIGKILL, and reaped when the object goes.
class TBackgroundProcess {
public:
    // stopSignal: what ends it first (unshare --fork ignores SIGTERM while it
    // waits; SIGKILL ends it and, with --kill-child, its whole PID namespace).
    TBackgroundProcess(const std::vector<std::string>& argv, const std::string& logFile,
                       int stopSignal = SIGTERM)
        : m_stopSignal(stopSignal) {
        m_pid = ::fork();
        if (m_pid == 0) {
            const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (log >= 0) {
                ::dup2(log, STDOUT_FILENO);
                ::dup2(log, STDERR_FILENO);
            }
            std::vector<char*> args;
            for (const std::string& arg : argv) {
                args.push_back(const_cast<char*>(arg.c_str()));
            }
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
    }
    ~TBackgroundProcess() {
        if (m_pid <= 0) {
            return;
        }
        ::kill(m_pid, m_stopSignal);
        for (int i = 0; i < 200; ++i) {
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    TBackgroundProcess(const TBackgroundProcess&) = delete;
    TBackgroundProcess& operator=(const TBackgroundProcess&) = delete;

private:
    pid_t m_pid = -1;
    int m_stopSignal;
};

// True once something accepts connections on 127.0.0.1:port.
inline bool WaitForTcp(int port, int limitMs = 5000) {
    for (int waited = 0; waited < limitMs; waited += 20) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (ok) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

class TKeptReport : public TActionReport {
public:
    void Step(const std::string& text) override { Steps.push_back(text); }
    void Transcript(const std::string& entry) override { Entries.push_back(entry); }
    std::string All() const {
        std::string text;
        for (const auto* list : {&Steps, &Entries}) {
            for (const std::string& line : *list) {
                text += line + "\n";
            }
        }
        return text;
    }
    std::vector<std::string> Steps, Entries;
};

} // namespace pingvard::test

#include "recorder_harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#ifndef QDXRECORDER_EXE
#error "QDXRECORDER_EXE must name the binary under test"
#endif

namespace rectest {

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& stdoutPath) {
    std::vector<char*> argv;
    // QDXRECORDER_EXE in the environment runs the suite against another
    // build, e.g. a script that starts the Windows build under Wine.
    const char* override = std::getenv("QDXRECORDER_EXE");
    std::string exe = override && *override ? override : QDXRECORDER_EXE;
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
            close(out);
        }
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

}  // namespace

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Recorder::~Recorder() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (!dir_.empty()) {
        for (const char* f : {"/port", "/log", "/stdout"}) unlink((dir_ + f).c_str());
        rmdir(dir_.c_str());
    }
}

bool Recorder::Start(const std::vector<std::string>& args) {
    char tmpl[] = "/tmp/qdxrec-test-XXXXXX";
    if (!mkdtemp(tmpl)) {
        ADD_FAILURE() << "mkdtemp failed";
        return false;
    }
    dir_ = tmpl;
    std::vector<std::string> all = {"--listen", "127.0.0.1:0", "--port-file", dir_ + "/port",
                                    "--log-file", dir_ + "/log"};
    all.insert(all.end(), args.begin(), args.end());
    pid_ = Spawn(all, dir_ + "/stdout");
    for (long long end = NowMs() + 5000; NowMs() < end;) {
        std::string text = ReadFile(dir_ + "/port");
        if (!text.empty()) {
            port_ = std::atoi(text.c_str());
            if (port_ > 0) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "qdxrecorder did not write its port; output:\n" << ReadFile(dir_ + "/stdout");
    return false;
}

std::string Recorder::Log() const { return ReadFile(dir_ + "/log"); }

std::string Recorder::WaitForLog(const std::string& needle, int timeoutMs) const {
    for (long long end = NowMs() + timeoutMs;;) {
        std::string log = Log();
        if (log.find(needle) != std::string::npos) return log;
        if (NowMs() >= end) {
            ADD_FAILURE() << "log lacks \"" << needle << "\"; log:\n" << log;
            return std::string();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

long long Recorder::WaitForEnd(int session, std::string* reason, int timeoutMs) const {
    std::string prefix = "session " + std::to_string(session) + " end levels ";
    std::string log = WaitForLog(prefix, timeoutMs);
    size_t pos = log.find(prefix);
    if (pos == std::string::npos) return -1;
    std::smatch m;
    std::string line = log.substr(pos, log.find('\n', pos) - pos);
    if (!std::regex_match(line, m, std::regex("session \\d+ end levels (\\d+) reason ([a-z-]+)"))) {
        ADD_FAILURE() << "bad end line: " << line;
        return -1;
    }
    if (reason) *reason = m[2];
    return std::stoll(m[1]);
}

int Recorder::WaitExit(int timeoutMs) {
    for (long long end = NowMs() + timeoutMs; NowMs() < end;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

int Recorder::OpenFds() const {
    int n = 0;
    std::string path = "/proc/" + std::to_string(pid_) + "/fd";
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

int Recorder::Threads() const {
    std::string status = ReadFile("/proc/" + std::to_string(pid_) + "/status");
    size_t pos = status.find("Threads:");
    return pos == std::string::npos ? -1 : std::atoi(status.c_str() + pos + 8);
}

int RunToEnd(const std::vector<std::string>& args, std::string* out) {
    char tmpl[] = "/tmp/qdxrec-run-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) return -1;
    close(fd);
    pid_t pid = Spawn(args, tmpl);
    int status = 0;
    waitpid(pid, &status, 0);
    *out = ReadFile(tmpl);
    unlink(tmpl);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Client::Connect(int port) {
    Close();
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) return false;
    int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

bool Client::Send(const Bytes& data) {
    return send(fd_, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
}

Bytes Client::Recv(size_t n, int timeoutMs) {
    Bytes out;
    long long end = NowMs() + timeoutMs;
    while (out.size() < n) {
        long long left = end - NowMs();
        if (left <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
        uint8_t buf[65536];
        size_t want = n - out.size() < sizeof buf ? n - out.size() : sizeof buf;
        ssize_t r = recv(fd_, buf, want, 0);
        if (r <= 0) break;
        out.insert(out.end(), buf, buf + r);
    }
    return out;
}

bool Client::ClosedWithin(int timeoutMs) {
    long long end = NowMs() + timeoutMs;
    for (;;) {
        long long left = end - NowMs();
        if (left <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        uint8_t buf[4096];
        ssize_t r = recv(fd_, buf, sizeof buf, 0);
        if (r <= 0) return true;
    }
}

bool Client::ResetWithin(int timeoutMs) {
    for (long long end = NowMs() + timeoutMs;;) {
        long long left = end - NowMs();
        if (left <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        uint8_t buf[4096];
        ssize_t r = recv(fd_, buf, sizeof buf, 0);
        if (r < 0) return errno == ECONNRESET;
        if (r == 0) return false;
    }
}

void Client::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

void Client::Reset() {
    linger l{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    Close();
}

Bytes LoginRequest(const std::string& user, const std::string& password) {
    Bytes b = {0xE2, 0x00, static_cast<uint8_t>(user.size()), static_cast<uint8_t>(password.size())};
    for (char ch : user + password) b.push_back(static_cast<uint8_t>(ch));
    return b;
}

Bytes RecordRequest(uint8_t channel, const std::string& data) {
    Bytes b = {channel, static_cast<uint8_t>(data.size())};
    for (char ch : data) b.push_back(static_cast<uint8_t>(ch));
    return b;
}

bool StartRecording(Client& c, int port, const std::string& user, const std::string& password,
                    uint8_t channel, const std::string& data) {
    if (!c.Connect(port) || !c.Send(LoginRequest(user, password))) return false;
    if (c.Recv(2, 3000) != Bytes{0xFF, 0x00}) return false;
    return c.Send(RecordRequest(channel, data));
}

}  // namespace rectest

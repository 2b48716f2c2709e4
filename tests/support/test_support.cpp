#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fahuo::testing {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/fahuo-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data())) path_ = buf.data();
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Start(const std::vector<std::string>& argv) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    setpgid(0, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  pid_ = pid;
  out_fd_ = fds[0];
  return true;
}

std::string ChildProcess::WaitForLine(const std::string& prefix, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (out_fd_ >= 0) {
    size_t nl;
    while ((nl = buffer_.find('\n')) != std::string::npos) {
      std::string line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) return {};
    pollfd p{out_fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) return {};
    char chunk[4096];
    ssize_t n = read(out_fd_, chunk, sizeof chunk);
    if (n <= 0) return {};
    buffer_.append(chunk, static_cast<size_t>(n));
  }
  return {};
}

void ChildProcess::Kill() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  Stop();  // closes the pipe
}

void ChildProcess::Stop() {
  if (pid_ > 0) {
    kill(-pid_, SIGTERM);
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50; ++i) {
      if (waitpid(pid_, &status, WNOHANG) != 0) break;
      usleep(20000);
      if (i == 49) {
        kill(-pid_, SIGKILL);
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
      }
    }
    pid_ = -1;
  }
  if (out_fd_ >= 0) {
    close(out_fd_);
    out_fd_ = -1;
  }
}

static std::string Env(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

// The build compiles the folders in, so a test run by hand from any folder finds them; the
// environment may point elsewhere.
std::string SourceDir() { return Env("FAHUO_SOURCE_DIR", FAHUO_BUILT_SOURCE_DIR); }
std::string ToolsDir() { return Env("FAHUO_TOOLS", FAHUO_BUILT_SOURCE_DIR "/tools"); }
std::string TestDataDir() { return Env("FAHUO_TEST_DATA", FAHUO_BUILT_SOURCE_DIR "/tests/data"); }
std::string BinaryDir() { return Env("FAHUO_BINARY_DIR", FAHUO_BUILT_BINARY_DIR); }

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

int StartPythonService(ChildProcess& child, const std::string& script,
                       const std::vector<std::string>& args) {
  std::vector<std::string> argv{"/usr/bin/python3", "-u", ToolsDir() + "/" + script};
  argv.insert(argv.end(), args.begin(), args.end());
  if (!child.Start(argv)) return 0;
  std::string port = child.WaitForLine("PORT ");
  return port.empty() ? 0 : std::atoi(port.c_str());
}

}  // namespace fahuo::testing

#pragma once
// Shared helpers for the tests: temporary folders and child processes (the fake records
// service, the SMTP server) started on loopback.
#include <string>
#include <vector>

namespace fahuo::testing {

// A fresh folder under $TMPDIR, removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A child process whose standard output is read line by line. Killed at destruction.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const std::vector<std::string>& argv);
  // Waits (up to timeout_ms) for a line starting with `prefix`; returns the rest of it,
  // or empty on time-out / end of output.
  std::string WaitForLine(const std::string& prefix, int timeout_ms = 15000);
  void Stop();
  // Ends the child at once with SIGKILL, as a crash or a power cut would.
  void Kill();
  bool running() const { return pid_ > 0; }

 private:
  int pid_ = -1;
  int out_fd_ = -1;
  std::string buffer_;
};

// Environment values set by ctest (source dir, tools dir, data dir).
std::string SourceDir();
std::string ToolsDir();
std::string TestDataDir();
std::string BinaryDir();

// `text` as one word of a shell command line (single-quoted).
std::string Quoted(const std::string& text);

std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// Starts tools/<script> with python3 and the given arguments and waits for its
// "PORT <n>" line. Returns the port, 0 on failure.
int StartPythonService(ChildProcess& child, const std::string& script,
                       const std::vector<std::string>& args);

}  // namespace fahuo::testing

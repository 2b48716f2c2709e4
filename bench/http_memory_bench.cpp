// Resident size of the process while a records server answers every page fetch with 150 MB
// (chunked, with a Content-Length, or as a gzip bomb): 300 fetches, as 300 delivery passes
// would make them. The counters say how far the resident size moved; it must stay within
// tens of megabytes of where it started, whether the fetches run on one long-lived worker
// thread or each on a thread of its own.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/http_client.h"

namespace fahuo {
namespace {

constexpr int kFetches = 300;
const char* const kKinds[] = {"huge", "hugelength", "gzipbomb"};

double ResidentMb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// tools/fake_records.py on a free loopback port, for the life of the object.
class RecordsServer {
 public:
  RecordsServer() {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      const std::string script = std::string(FAHUO_TOOLS) + "/fake_records.py";
      execl("/usr/bin/python3", "python3", script.c_str(), "--port", "0", "--open",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    FILE* in = fdopen(out[0], "r");
    if (in && std::fscanf(in, "PORT %d", &port_) != 1) port_ = 0;
    if (in) std::fclose(in);
  }
  ~RecordsServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  int port() const { return port_; }
  std::string Address(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// range(0): the kind of answer; range(1): 0 = one long-lived worker, 1 = a thread per fetch.
void BM_OversizedRecordsAnswers(benchmark::State& state) {
  const char* kind = kKinds[state.range(0)];
  const bool thread_per_fetch = state.range(1) != 0;
  RecordsServer server;
  if (server.port() == 0) {
    state.SkipWithError("fake_records.py did not start");
    return;
  }
  HttpClient http;
  http.Get(server.Address("/_control/fault?count=-1&kind=") + kind);
  const std::string records = server.Address("/record/standard.htm?pageNum=1");
  const double before = ResidentMb();
  double peak = before;
  int answered = 0;
  for (auto _ : state) {
    auto fetch = [&] {
      if (!http.Get(records).empty()) ++answered;
    };
    if (thread_per_fetch) {
      for (int i = 0; i < kFetches; ++i) {
        std::thread(fetch).join();
        if (i % 10 == 0) peak = std::max(peak, ResidentMb());
      }
    } else {
      std::thread([&] {
        for (int i = 0; i < kFetches; ++i) {
          fetch();
          if (i % 10 == 0) peak = std::max(peak, ResidentMb());
        }
      }).join();
    }
  }
  if (answered != 0) state.SkipWithError("an oversized answer came through");
  const double after = ResidentMb();
  state.SetLabel(std::string(kind) + (thread_per_fetch ? ", thread per fetch" : ", one worker"));
  state.counters["rss_before_MB"] = before;
  state.counters["rss_peak_MB"] = peak;
  state.counters["rss_after_MB"] = after;
  state.counters["rss_growth_MB"] = after - before;
}
BENCHMARK(BM_OversizedRecordsAnswers)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
}  // namespace fahuo

#pragma once
// The running log of what fahuo does (the box 编辑框_本地IP). Any thread may append; every
// entry is kept, in the order the appends happened, and an append costs O(entry). main()
// owns the program's one log and hands it to whoever appends; a test builds its own.
#include <functional>
#include <mutex>
#include <string>

namespace fahuo {

class ActivityLog {
 public:
  // Receives each entry, in order, under the log's lock (so entries reach the sink in the
  // order they entered the log). The sink must not block; the window posts to its thread.
  using Sink = std::function<void(const std::string& gbk_entry)>;

  void SetSink(Sink sink);
  // Where the log is kept beyond the run (the daily log files): receives each entry under
  // the same lock, after the window's sink, and may return a note (GBK, CR LF) about
  // itself, which the log shows (through the window's sink) but does not hand back to it.
  using FileSink = std::function<std::string(const std::string& gbk_entry)>;
  void SetFileSink(FileSink sink);
  // Appends one entry (GBK, callers end it with CR LF).
  void Append(const std::string& gbk_entry);
  // The whole log so far.
  std::string Text() const;

 private:
  mutable std::mutex mutex_;
  std::string text_;
  Sink sink_;
  FileSink file_sink_;
};

}  // namespace fahuo

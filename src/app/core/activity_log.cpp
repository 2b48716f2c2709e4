#include "app/core/activity_log.h"

namespace fahuo {

void ActivityLog::SetSink(Sink sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

void ActivityLog::SetFileSink(FileSink sink) {
  std::lock_guard lock(mutex_);
  file_sink_ = std::move(sink);
}

void ActivityLog::Append(const std::string& gbk_entry) {
  std::lock_guard lock(mutex_);
  text_ += gbk_entry;
  if (sink_) sink_(gbk_entry);
  if (!file_sink_) return;
  const std::string note = file_sink_(gbk_entry);
  if (note.empty()) return;
  text_ += note;
  if (sink_) sink_(note);
}

std::string ActivityLog::Text() const {
  std::lock_guard lock(mutex_);
  return text_;
}

}  // namespace fahuo

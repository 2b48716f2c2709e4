#pragma once
// Monitoring on and off (按钮1), one delivery pass per refresh tick, the elapsed-time
// clock, and the keep-alive that keeps the sign-in from lapsing.
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace fahuo {

class MainWindow;
class DeliveryWindow;

class RunControl : public QObject {
  Q_OBJECT
 public:
  explicit RunControl(MainWindow* window);
  ~RunControl() override;

  void OnStartStopClicked();
  void OnRefreshTick();
  void OnElapsedTick();
  void OnKeepAliveTick();

  bool running() const;
  int32_t elapsed_seconds() const { return elapsed_seconds_; }

  // How a pass and a keep-alive request run; tests may replace them. Both are started on
  // a new, detached thread.
  std::function<void(DeliveryWindow&)> run_pass;
  std::function<void()> keep_alive_request;

 private:
  MainWindow* window_;
  std::shared_ptr<DeliveryWindow> delivery_window_;
  int32_t elapsed_seconds_ = 0;                 // ElapsedSeconds
  std::optional<int64_t> last_keep_alive_tick_;  // LastKeepAliveTick; none sent yet
};

}  // namespace fahuo

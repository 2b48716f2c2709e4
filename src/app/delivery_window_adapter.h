#pragma once
// The main window as a delivery pass sees it: every call is carried to the UI thread.
#include <memory>

#include "delivery/delivery_pass.h"

namespace fahuo {

class MainWindow;

// The adapter outlives the passes that hold it; once the window is gone its reads give
// empty texts and its writes are dropped.
std::shared_ptr<DeliveryWindow> MakeDeliveryWindow(MainWindow* window);

}  // namespace fahuo

#pragma once
// What main() builds once and hands to the windows: one owner for each piece that would
// otherwise be process-wide. Tests build their own.
#include "platform/program_folder.h"

namespace fahuo {

class ActivityLog;
class Dialogs;

// A plain aggregate of references and values: copying it copies the references, so the
// objects it names must outlive every copy (main() and the test hold them for the run).
struct AppServices {
  Dialogs& dialogs;
  ActivityLog& log;
  DataFolder data_folder;
};

}  // namespace fahuo

#pragma once
// Application-wide set-up shared by the program and its GUI tests, so that what the tests
// see (icons, window captions) is what the seller sees.
#include <QIcon>

namespace fahuo {

// The program icon at every size it is drawn at (16 to 256 pixels).
QIcon ProgramIcon();

// Names the application and gives every window and box the program icon. Call once the
// QApplication exists. Sets no application display name: Qt would append it to the
// caption of every window and box.
void ConfigureApplication();

}  // namespace fahuo

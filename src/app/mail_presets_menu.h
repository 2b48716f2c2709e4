#pragma once
// A drop-down arrow inside the 发信服务器 field that offers the common mailboxes.
class QLineEdit;
class QMenu;

namespace fahuo {

// Adds the arrow at the field's right end; picking a mailbox sets the field to its
// "host:port" (as typing would, so the settings file follows). Typing stays free.
// Returns the menu (owned by the field); its actions are named "邮箱预设_<name>".
QMenu* AttachMailPresets(QLineEdit* server_field);

}  // namespace fahuo

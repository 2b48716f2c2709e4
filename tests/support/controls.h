#pragma once
// Reaches a window's control by its objectName (the system's control name), as the
// seller's tools and the tests see it, instead of through the window's members.
#include <gtest/gtest.h>

#include <QObject>
#include <QString>
#include <stdexcept>
#include <string>

namespace fahuo::testing {

// The child of `root` named `name` of type T. A missing control (or one of another type)
// fails the test: the exception ends the test body with a message naming the control.
template <class T>
T* Control(const QObject& root, const char* name) {
  T* found = root.findChild<T*>(QString::fromUtf8(name));
  if (!found) {
    ADD_FAILURE() << "no control named " << name << " of type " << T::staticMetaObject.className();
    throw std::runtime_error(std::string("missing control ") + name);
  }
  return found;
}

}  // namespace fahuo::testing

#pragma once
#include <string>

namespace fahuo::cli {

// Reads the whole of `path` ("-": standard input) as bytes. False with `error` set on
// failure.
bool ReadAllBytes(const std::string& path, std::string& bytes, std::string& error);

}  // namespace fahuo::cli

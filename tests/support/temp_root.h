// A fresh folder per test below the temp directory, with the library's settings pointing into
// it, so that suites running in parallel never share data, logs or run-time files.
#pragma once

#include <filesystem>
#include <string>

namespace qvptest {

// <temp>/<prefix><pid>-<n>, emptied, with data/ and run/ made.
std::filesystem::path MakeTempRoot(const std::string& prefix);

// Writes <root>/qvpapi.conf (PathName <root>/data, RunDir <root>/run, `extra` lines added to the
// library section) and loads it.
void WriteRootSettings(const std::filesystem::path& root, const std::string& extra = "");

}  // namespace qvptest

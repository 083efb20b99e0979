// The inputs a fuzz tool replays: every regular file of the folders named,
// and the files named, sorted.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

// False, after naming the culprit on stderr, when a path is neither.
inline bool CollectFuzzInputs(const std::vector<std::filesystem::path>& APaths,
                              std::vector<std::filesystem::path>& AFiles) {
  namespace fs = std::filesystem;
  for (const fs::path& p : APaths) {
    if (fs::is_directory(p)) {
      for (const auto& e : fs::directory_iterator(p))
        if (e.is_regular_file()) AFiles.push_back(e.path());
    } else if (fs::is_regular_file(p)) {
      AFiles.push_back(p);
    } else {
      std::fprintf(stderr, "no such file or folder: %s\n", p.string().c_str());
      return false;
    }
  }
  std::sort(AFiles.begin(), AFiles.end());
  return true;
}

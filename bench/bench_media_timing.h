#pragma once
// A small timing harness for the media benchmarks: the subject and its
// baseline run alternately in the same process, the best of several runs of
// each is kept, and the ratio is printed against its target.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace vesperon::bench {

struct TTiming {
  double Subject = std::numeric_limits<double>::max();
  double Baseline = std::numeric_limits<double>::max();
};

// `prepare` runs untimed before every timed call (fresh inputs).
inline TTiming Compare(int runs, const std::function<void()>& prepare,
                       const std::function<void()>& subject,
                       const std::function<void()>& baseline) {
  using clock = std::chrono::steady_clock;
  TTiming t;
  for (int i = 0; i < runs; ++i) {
    prepare();
    auto start = clock::now();
    baseline();
    t.Baseline = std::min(t.Baseline, std::chrono::duration<double>(clock::now() - start).count());
    prepare();
    start = clock::now();
    subject();
    t.Subject = std::min(t.Subject, std::chrono::duration<double>(clock::now() - start).count());
  }
  return t;
}

// Prints one result line; returns whether the ratio meets the target.
inline bool Report(const char* name, const TTiming& t, double target) {
  const double ratio = t.Subject / t.Baseline;
  std::printf("%-34s subject %9.3f ms  baseline %9.3f ms  ratio %5.2f  (target %.1f) %s\n", name,
              t.Subject * 1e3, t.Baseline * 1e3, ratio, target, ratio <= target ? "ok" : "SLOW");
  return ratio <= target;
}

// Writes 100 folders of 100 ".mp3" files under `root`, file n holding
// `contents(n)`; returns their paths in that order.
inline std::vector<std::string> WriteSongTree(const std::filesystem::path& root,
                                              const std::function<std::string(int)>& contents) {
  std::vector<std::string> files;
  for (int d = 0; d < 100; ++d) {
    const std::filesystem::path folder = root / ("Folder " + std::to_string(d));
    std::filesystem::create_directories(folder);
    for (int f = 0; f < 100; ++f) {
      const std::filesystem::path file = folder / ("Song " + std::to_string(f) + ".mp3");
      std::ofstream(file, std::ios::binary) << contents(d * 100 + f);
      files.push_back(file.string());
    }
  }
  return files;
}

}  // namespace vesperon::bench

#pragma once

#include <string>
#include <vector>

#include "par2/plan.h"
#include "par2/set_writer.h"

// A PAR2 set for files on disk, read here: each file's first 16 KiB for its
// ID, then every file in blocks, once per pass. For the tools and
// benchmarks; a posting run feeds SetWriter with the blocks it reads anyway.
namespace tidewell::par2 {

struct FileSetReport {
  SetResult result;
  Plan plan;
  unsigned threads = 0;
};

// `names` are relative to `directory` and stored so; the set goes where
// options.directory says. request.fileSizes is filled here.
[[nodiscard]] FileSetReport makeSetFromFiles(const std::string& directory, const std::vector<std::string>& names,
                                             PlanRequest request, const SetOptions& options);

}  // namespace tidewell::par2

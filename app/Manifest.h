// Flash budgets and manifests of a command-line run: what its C files put in
// flash against the budget the run sets, and a JSON record of every output
// with the input, commands and settings that made it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/SaveRecord.h"
#include "image/OutputOptions.h"
#include "sys/Sha256.h"

namespace rastra {

struct SharedPaletteRun;

// -flashbudget<EACH>[,<TOTAL>]: bytes of C flash each C file, and all of them
// together, may take.
struct FlashBudget {
  std::optional<std::int64_t> each;
  std::optional<std::int64_t> total;
  bool IsSet() const { return each.has_value() || total.has_value(); }
};

// Nothing for a parameter that is not BYTES[,TOTAL] with at least one of them.
std::optional<FlashBudget> ParseFlashBudget(const std::string& parameter);

// One text per C file over its budget, and for a total over budget one line
// for the total and one per file; empty when the saves keep the budget.
std::vector<std::string> BudgetOverruns(const FlashBudget& budget, const std::vector<SaveRecord>& saves);

struct ManifestRun {
  OutputOptions options;
  FlashBudget budget;
  const SharedPaletteRun* sharedPalette = nullptr;
};

// Keys in a fixed order, one per line, no time or machine in it: two runs of
// the same command line over the same files give the same bytes. The
// outputs' checksums are of the files as they are when it is written; a save
// whose file cannot be read (its move into place failed) is left out.
// checksumOf gives a file's SHA-256 in hex, or nothing when it cannot be
// read: the files on disk, or (in the page) the files a run holds.
using FileChecksum = std::function<std::optional<std::string>(const std::string& path)>;
std::string ManifestJson(const ManifestRun& run, const std::vector<SaveRecord>& saves,
                         const FileChecksum& checksumOf = sys::Sha256OfFile);

}  // namespace rastra

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

// One record per file, in the order the files were first saved: the last
// save to a name made the file that is there, so its record is the one kept.
std::vector<SaveRecord> FinalFiles(const std::vector<SaveRecord>& saves);

// One text per C file over its budget, and for a total over budget one line
// for the total and one per file; empty when the saves keep the budget. Each
// file counts once (see FinalFiles).
std::vector<std::string> BudgetOverruns(const FlashBudget& budget, const std::vector<SaveRecord>& saves);

struct ManifestRun {
  OutputOptions options;
  FlashBudget budget;
  const SharedPaletteRun* sharedPalette = nullptr;
};

// Keys in a fixed order, one per line, no time or machine in it: two runs of
// the same command line over the same files give the same bytes. Each file
// is listed once, with the record of its last save (see FinalFiles); the
// checksums are of the files as they are when it is written. A file that
// cannot be read is listed with a null checksum and, when unread is given, a
// text saying why goes there. checksumOf gives a file's SHA-256 in hex, or
// nothing (and why, in reason) when it cannot be read: the files on disk,
// read a piece at a time, or (in the page) the files a run holds.
using FileChecksum = std::function<std::optional<std::string>(const std::string& path, std::string* reason)>;
std::optional<std::string> ChecksumOfFileOnDisk(const std::string& path, std::string* reason);
std::string ManifestJson(const ManifestRun& run, const std::vector<SaveRecord>& saves,
                         std::vector<std::string>* unread = nullptr,
                         const FileChecksum& checksumOf = ChecksumOfFileOnDisk);

}  // namespace rastra

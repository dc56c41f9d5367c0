// How much memory converting one image takes at its peak, estimated before
// it runs, and how much a run may hand out to images converted side by side.
//
// The estimate follows the picture through the queued commands: what its
// reader makes of the file's header (size, palette or true colour) and what
// each conversion, edit and save holds beside it (a new picture, an undo
// copy, a writer's working copy). It errs on the large side; a run that
// misjudges still gives the one-by-one result, since an image that ran out
// of memory beside others is converted again alone.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/CommandTable.h"
#include "readers/ImageHeader.h"
#include "readers/ReadOptions.h"

namespace rastra {

struct ImageDocument;

// The peak bytes of opening an image whose file has fileBytes bytes and
// header (none: not recognised), then running commands on it.
std::uint64_t EstimateJobBytes(const std::optional<ImageHeader>& header, std::uint64_t fileBytes,
                               std::span<const QueuedCommand> commands, const ReadOptions& read);
// The same for the file at path, of which only the start is read.
std::uint64_t EstimateImageJob(const std::string& path, std::span<const QueuedCommand> commands,
                               const ReadOptions& read);

// The pictures a document holds (the current one, undo and redo states) and
// the file bytes it keeps.
std::uint64_t DocumentBytes(const ImageDocument& doc);

// The name of the environment variable that sets the budget in bytes.
inline constexpr const char* kMemoryBudgetVariable = "RASTRA_MEMORY_BUDGET";
// What the images of a run may take together: the variable's value when it
// is a number, else half of what the process may use (the physical memory,
// or the room left under an address-space limit), which leaves the other
// half for the estimates' misses, the threads' stacks and the allocator's
// reserves. 0 when nothing is known: images then run one at a time.
std::uint64_t MemoryBudgetBytes();

}  // namespace rastra

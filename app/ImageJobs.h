// A command line with several images: the queued commands run once per image,
// each from a fresh document, on all cores. What the user sees is what running
// the images one after the other gives: every image's reports reach the log
// and standard error in image order, and its output files replace their
// targets in that order (an image whose input an earlier image of the run
// wrote is converted again after that write).
//
// Memory is shared out the same way: an image starts only when the memory
// it is estimated to take fits the run's budget beside the images running
// (see MemoryGate, MemoryEstimate), and an image that ran out of memory
// while another ran beside it is converted again alone before its result is
// shown, so a machine short of memory gives the one-by-one result too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandTable.h"
#include "app/ImageDocument.h"
#include "app/SaveRecord.h"
#include "image/OutputOptions.h"

namespace rastra {

struct SharedPaletteRun;

struct ImageJobsResult {
  ImageDocument lastDocument;  // what the commands left of the last image
  bool exitRequested = false;
  std::vector<SaveRecord> saves;  // every image's, in order, when recorded
  bool savesRefused = false;      // the approval refused them: no file of refusedFrom on was written
  std::size_t refusedFrom = 0;    // 0, or an image that read an earlier image's output and went over
  std::vector<std::string> refusals;  // why the approval refused
  std::size_t mostAtOnce = 0;     // the most images converted at one time
  std::size_t ranAlone = 0;       // images converted again alone after running out of memory
};

// What a run gives every job beyond the queue and the options.
struct ImageJobsExtras {
  const SharedPaletteRun* sharedPalette = nullptr;
  bool recordSaves = false;
  // Off for a run of one image, whose reports do not name it.
  bool nameImages = true;
  // Asked with the saves of all images before any file replaces its target,
  // and again when an image that read an earlier image's output is converted
  // again; says why it refuses, nothing when it approves. When it refuses,
  // the reports are shown and no file (from that image on) is written.
  std::function<std::vector<std::string>(const std::vector<SaveRecord>&)> approveSaves;
  // The bytes the images running at one time may take; none: the machine's
  // (MemoryBudgetBytes).
  std::optional<std::uint64_t> memoryBudget;
};

// One job per image, at most workers at a time, each reading its image with
// readOptions. With runCommands false the images are only opened (a command
// line of image names alone).
ImageJobsResult RunImageJobs(const std::vector<std::string>& images, const std::vector<QueuedCommand>& queue,
                             const OutputOptions& options, const ReadOptions& readOptions, bool runCommands,
                             unsigned workers, const ImageJobsExtras& extras = {});

// The number of cores, at least 1.
unsigned ImageJobWorkers();

}  // namespace rastra

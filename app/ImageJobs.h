// A command line with several images: the queued commands run once per image,
// each from a fresh document, on all cores. What the user sees is what running
// the images one after the other gives: every image's reports reach the log
// and standard error in image order, and its output files replace their
// targets in that order (an image whose input an earlier image of the run
// wrote is converted again after that write).
#pragma once

#include <string>
#include <vector>

#include "app/CommandTable.h"
#include "app/ImageDocument.h"
#include "image/OutputOptions.h"

namespace rastra {

struct ImageJobsResult {
  ImageDocument lastDocument;  // what the commands left of the last image
  bool exitRequested = false;
};

// One job per image, at most workers at a time. With runCommands false the
// images are only opened (a command line of image names alone).
ImageJobsResult RunImageJobs(const std::vector<std::string>& images, const std::vector<QueuedCommand>& queue,
                             const OutputOptions& options, bool runCommands, unsigned workers);

// The number of cores, at least 1.
unsigned ImageJobWorkers();

}  // namespace rastra

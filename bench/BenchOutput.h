// Timing a writer into a real file, the way a save runs.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "sys/Context.h"
#include "sys/File.h"
#include "writers/TextOutput.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

// Runs write(out, ctx) into a fresh file per iteration, through an OutBuffer
// of its own as a save has, and reports the bytes written. write returns
// whether the writer succeeded.
template <class Write>
void IntoFile(benchmark::State& state, const char* tag, Write&& write) {
  const std::string path = "/tmp/rastra_bench_" + std::string(tag) + "_" + std::to_string(getpid());
  std::uintmax_t bytes = 0;
  for (auto _ : state) {
    auto file = sys::File::Create(path);
    if (!file) {
      state.SkipWithError("cannot create the output file");
      return;
    }
    sys::Context ctx;
    OutBuffer out(*file);
    if (!write(out, ctx) || !OutComplete(out)) {
      state.SkipWithError("writer failed");
      return;
    }
    file->Close();
    bytes = std::filesystem::file_size(path);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
  state.counters["out_MB"] = static_cast<double>(bytes) / 1e6;
  std::filesystem::remove(path);
}

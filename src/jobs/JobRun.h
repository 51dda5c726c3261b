// Runs a written-down job with the engines, on readers of its own.
#pragma once

#include "jobs/JobOrder.h"
#include "media/Compressors.h"
#include "support/JobThread.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zarvex {

// Runs order, reporting through control; every source without a reader in readers is opened
// here (its index rebuilt when it is missing or damaged). Overwrite questions go to
// control.Ask when ask is true; otherwise they were asked before and existing outputs are
// overwritten. Returns the job's warnings; raises like the engines, with every output
// completed.
std::vector<std::string> RunJobOrder(const TJobOrder& order, TJobControl& control,
                                     const TJobReaders& readers = {}, bool ask = false);

// A compressor as a job writes it down, and back (raising EZarvexError for an unknown one).
std::optional<TJobCodec> JobCodecOf(const std::optional<media::TCompressor>& compressor);
std::optional<media::TCompressor> CompressorOf(const std::optional<TJobCodec>& codec, bool audio);

} // namespace zarvex

// The WAV to 3GP conversion by the user's converter program (FFmpeg).
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "sound/process_runner.h"

namespace orvana::sound {

// How long a conversion may take before the converter is killed.
inline constexpr std::chrono::milliseconds kConverterTimeout{120000};

// "-i", input, the option words (split at blanks), output. Names are
// single arguments, blanks and quotes included.
std::vector<std::string> ConverterArguments(const std::string& input, const std::string& options,
                                            const std::string& output);

struct ConvertResult {
    enum Kind {
        kConverted,   // the output file exists
        kNotStarted,  // the converter could not be started
        kNoOutput,    // it ran (or was killed at the time-out) and made no output
    };
    Kind kind = kNotStarted;
    std::string outputPath;  // workDir/output, set when converted
    // The converter path, a blank and "-i <input> <options> <output>", as
    // the failure messages show it.
    std::string commandText;
    RunResult run;
};

// Runs `converter` in workDir with ConverterArguments(input, options,
// output) and checks for workDir/output afterwards: only a file this run
// created or rewrote counts, one left unchanged from before is kNoOutput. A
// converter killed at the time-out counts as kNoOutput and its partial
// output is removed; so is that of a run killed through `cancel` (kNoOutput
// with run.cancelled set).
// Blocks the calling thread for at most `timeout`. Any thread.
ConvertResult Convert3gp(ProcessRunner& runner, const std::string& converter,
                         const std::string& options, const std::string& workDir,
                         const std::string& input, const std::string& output,
                         std::chrono::milliseconds timeout = kConverterTimeout,
                         const std::atomic<bool>* cancel = nullptr);

}  // namespace orvana::sound

#include "sound/converter.h"

#include <filesystem>
#include <sstream>
#include <system_error>

#include "core/event_log.h"

namespace orvana::sound {

std::vector<std::string> ConverterArguments(const std::string& input, const std::string& options,
                                            const std::string& output) {
    std::vector<std::string> args{"-i", input};
    std::istringstream words(options);
    for (std::string w; words >> w;)
        args.push_back(w);
    args.push_back(output);
    return args;
}

ConvertResult Convert3gp(ProcessRunner& runner, const std::string& converter,
                         const std::string& options, const std::string& workDir,
                         const std::string& input, const std::string& output,
                         std::chrono::milliseconds timeout, const std::atomic<bool>* cancel) {
    ConvertResult r;
    r.commandText = converter + " -i " + input + " " + options + " " + output;
    const std::string outPath = joinDataPath(workDir, output);
    // An output left by an earlier run (a repeated test conversion) must not
    // pass for this run's result: only a new or rewritten file counts.
    std::error_code ec;
    const bool existedBefore = std::filesystem::exists(outPath, ec);
    const auto timeBefore = existedBefore ? std::filesystem::last_write_time(outPath, ec)
                                          : std::filesystem::file_time_type();
    const auto madeByThisRun = [&] {
        std::error_code e;
        if (!std::filesystem::exists(outPath, e))
            return false;
        return !existedBefore || std::filesystem::last_write_time(outPath, e) != timeBefore;
    };
    r.run = runner.RunCancellable(converter, ConverterArguments(input, options, output), workDir,
                                  timeout, cancel);
    if (!r.run.started) {
        r.kind = ConvertResult::kNotStarted;
        return r;
    }
    if (r.run.timedOut || r.run.cancelled) {
        if (madeByThisRun())
            std::filesystem::remove(outPath, ec);  // half-written: not a usable attachment
        r.kind = ConvertResult::kNoOutput;
        return r;
    }
    if (madeByThisRun()) {
        r.kind = ConvertResult::kConverted;
        r.outputPath = outPath;
    } else {
        r.kind = ConvertResult::kNoOutput;
    }
    return r;
}

}  // namespace orvana::sound

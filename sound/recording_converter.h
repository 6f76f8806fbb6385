// The sound monitor's side of the attachment conversion: a recording (".wav")
// becomes a 3GP file beside it, made by the user's converter program through
// the ProcessRunner backend. The mail sender calls it on its own thread just
// before it sends a mail whose recordings are to be converted.
#pragma once

#include <chrono>

#include "core/attachment_converter.h"
#include "sound/converter.h"
#include "sound/process_runner.h"

namespace orvana::sound {

class RecordingConverter final : public AttachmentConverter {
  public:
    // runner outlives the converter; timeout: when a converter that does not
    // end is killed (a failure).
    explicit RecordingConverter(ProcessRunner& runner,
                                std::chrono::milliseconds timeout = kConverterTimeout)
        : runner_(runner), timeout_(timeout) {}

    // A ".wav" file (any case) that exists is converted in its own folder:
    // "-i" name.wav, the option words, name.3gp. Returns the 3GP path when
    // this run made it (flushed to the disk, as an outbox file may name it),
    // else `path` with the start or conversion failure text in *notice.
    // Other files and missing ones come back unchanged, with no notice.
    // Blocks for at most the time-out; any thread, one at a time.
    std::string convert(const std::string& path, const std::string& converter,
                        const std::string& options, std::string* notice,
                        const std::atomic<bool>* cancel = nullptr) override;

  private:
    ProcessRunner& runner_;
    std::chrono::milliseconds timeout_;
};

// The texts the user is told when a recording could not be converted;
// commandText is the converter path, a blank and its arguments.
std::string converterStartFailedText(const std::string& commandText);
std::string conversionFailedText(const std::string& commandText);

}  // namespace orvana::sound

// Turns an attachment into the form it is mailed in, just before the mail is
// sent: a sound recording (".wav") becomes a phone-playable 3GP file made by
// the user's converter program. It lives here, on the ground level, so the
// mail sender can use what the sound monitor provides without either knowing
// the other.
#pragma once

#include <atomic>
#include <string>

namespace orvana {

class AttachmentConverter {
  public:
    virtual ~AttachmentConverter() = default;

    // Returns the path to attach instead of `path`: the 3GP file made from a
    // ".wav" file, or `path` itself when it needs no conversion (another
    // kind of file, or a file that no longer exists) or the conversion
    // failed. `converter` and `options` are "FFMPEG_PATH" and
    // "FFMPEG_OPTION". On failure *notice (when not null) receives the text
    // the user is to be told; it is left empty otherwise. A set `cancel`
    // ends a running conversion within about a tenth of a second; the
    // result is then `path` with no notice.
    //
    // Blocks the calling thread while the converter runs, at most its
    // time-out (two minutes). Not for the UI thread. One thread at a time.
    virtual std::string convert(const std::string& path, const std::string& converter,
                                const std::string& options, std::string* notice,
                                const std::atomic<bool>* cancel = nullptr) = 0;
};

}  // namespace orvana

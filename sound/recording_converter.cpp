#include "sound/recording_converter.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

namespace orvana::sound {
namespace {

bool isWav(const std::string& path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    if (ext.size() != 4)
        return false;
    std::string lower;
    for (char c : ext)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower == ".wav";
}

void flushFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

std::string converterStartFailedText(const std::string& commandText) {
    return "外部プログラムを起動中にエラーが発生しました\n\n" + commandText;
}

std::string conversionFailedText(const std::string& commandText) {
    return "3GPへの変換に失敗しました。FFmpeg.exeの場所や、実行オプションを確認してください。\n\n" +
           commandText;
}

std::string RecordingConverter::convert(const std::string& path, const std::string& converter,
                                        const std::string& options, std::string* notice,
                                        const std::atomic<bool>* cancel) {
    if (notice)
        notice->clear();
    std::error_code ec;
    // Nothing to convert: the sender skips a missing file as it always has.
    if (!isWav(path) || !std::filesystem::is_regular_file(path, ec))
        return path;
    if (cancel && cancel->load())
        return path;
    const std::filesystem::path file(path);
    const std::string folder = file.parent_path().string();
    const std::string input = file.filename().string();
    const std::string output = file.stem().string() + ".3gp";
    const ConvertResult r =
        Convert3gp(runner_, converter, options, folder, input, output, timeout_, cancel);
    switch (r.kind) {
        case ConvertResult::kConverted:
            flushFile(r.outputPath);
            return r.outputPath;
        case ConvertResult::kNotStarted:
            if (notice)
                *notice = converterStartFailedText(r.commandText);
            return path;
        case ConvertResult::kNoOutput:
            // A cancelled run is no failure of the user's converter.
            if (notice && !r.run.cancelled)
                *notice = conversionFailedText(r.commandText);
            return path;
    }
    return path;
}

}  // namespace orvana::sound

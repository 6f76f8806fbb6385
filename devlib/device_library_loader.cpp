#include "devlib/device_library_loader.h"

#include <filesystem>
#include <system_error>

namespace orvana {

std::vector<std::string> FolderLibraryLoader::candidates(const std::string& file) const {
    std::vector<std::string> list;
    for (const std::string& folder : folders_)
        if (!folder.empty())
            list.push_back((std::filesystem::path(folder) / file).string());
    if (systemSearch_)
        list.push_back(file);
    return list;
}

std::unique_ptr<DeviceLibrary> FolderLibraryLoader::load(const std::string& file,
                                                         std::string& error) {
    const std::vector<std::string> list = candidates(file);
    if (list.empty()) {
        error = file + ": no folder to look in";
        return nullptr;
    }
    return DeviceLibrary::load(list, error);
}

std::string programLibraryFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty())
        return {};
    return (exe.parent_path() / ".." / "lib" / "orvana").lexically_normal().string();
}

std::unique_ptr<DeviceLibraryLoader> makeProgramLibraryLoader() {
    return std::make_unique<FolderLibraryLoader>(std::vector<std::string>{programLibraryFolder()},
                                                 true);
}

}  // namespace orvana

// Loads arbitrary bytes as "mapping.xml" through the store's own file path,
// and checks that whatever loads is written and read back unchanged.

#include "prefs/AException.h"
#include "prefs/APrefController.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// One private folder per process for the file, in memory where possible so
// that the saves' flushes cost nothing.
class AFuzzFolder {
public:
    AFuzzFolder()
    {
        std::filesystem::path base = std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                          : std::filesystem::temp_directory_path();
        std::string pattern = (base / "nuvexa-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            abort();
        fFolder = pattern;
    }
    ~AFuzzFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(fFolder, ignored);
    }

    std::string MappingPath() const { return (fFolder / "mapping.xml").string(); }

private:
    std::filesystem::path fFolder;
};

std::string Describe(const APrefController& store)
{
    std::string text;
    for (const auto& [type, device] : store.GetDevices()) {
        text += std::to_string(type) + " " + std::to_string(device.GetDeviceVID()) + " " +
                std::to_string(device.GetDevicePID()) + " " + std::to_string(device.GetPresentationType()) + ":";
        for (const auto& [id, event] : device.GetEvents()) {
            text += " " + std::to_string(id) + "/" + std::to_string(event.GetLaunchType()) + "/" +
                    std::to_string(event.GetLaunchArg().size()) + "/" + event.GetLaunchArg();
        }
        text += "\n";
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static AFuzzFolder folder;
    const std::string path = folder.MappingPath();
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!file.flush())
            abort();
    }

    std::string loaded;
    try {
        APrefController store(path);
        loaded = Describe(store);
        store.FlushXml();
    } catch (const AException&) {
        return 0;  // a file the store refuses is an expected outcome
    }

    APrefController reread(path);
    if (Describe(reread) != loaded) {
        fprintf(stderr, "round trip changed the records:\n%s---\n%s", loaded.c_str(), Describe(reread).c_str());
        abort();
    }
    return 0;
}

#include "platform/ports/AMessagePortRegistry.h"

#include <map>
#include <mutex>
#include <thread>

namespace {

std::mutex gRegistryLock;

std::map<std::string, std::thread::id>& Registry()
{
    static std::map<std::string, std::thread::id> registry;
    return registry;
}

} // namespace

void AMessagePortRegistry::Add(const std::string& socketPath)
{
    std::lock_guard lock(gRegistryLock);
    Registry()[socketPath] = std::this_thread::get_id();
}

void AMessagePortRegistry::Remove(const std::string& socketPath)
{
    std::lock_guard lock(gRegistryLock);
    Registry().erase(socketPath);
}

bool AMessagePortRegistry::IsServedOnThisThread(const std::string& socketPath)
{
    std::lock_guard lock(gRegistryLock);
    const auto found = Registry().find(socketPath);
    return found != Registry().end() && found->second == std::this_thread::get_id();
}

#pragma once
// The local message ports this process serves, with the thread that serves
// each. A sender on that very thread must never wait for the port: the loop
// that would serve it is the one the sender is holding up.

#include <string>

class AMessagePortRegistry {
public:
    static void Add(const std::string& socketPath);
    static void Remove(const std::string& socketPath);
    static bool IsServedOnThisThread(const std::string& socketPath);
};

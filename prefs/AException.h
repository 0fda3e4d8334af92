#pragma once
// The system's named failures: an exception that carries a name (such as
// "PrefController" or "AppleScriptEvent") and a fixed reason text. what()
// gives "<name>: <reason>".

#include <stdexcept>
#include <string>

class AException : public std::runtime_error {
public:
    AException(std::string name, std::string reason)
        : std::runtime_error(name + ": " + reason), fName(std::move(name)), fReason(std::move(reason))
    {
    }

    const std::string& GetName() const { return fName; }
    const std::string& GetReason() const { return fReason; }

private:
    std::string fName;
    std::string fReason;
};

#pragma once
// ASystemLog is where the uninstaller writes its failures: authorization,
// launch and restart. The application writes to syslog(3), which journald
// collects, under the name "nuvexa-uninstaller"; tests give a subclass that
// keeps the lines.

#include <string>

class ASystemLog {
public:
    virtual ~ASystemLog() = default;
    virtual void Write(const std::string& line) = 0;
};

class ASyslog : public ASystemLog {
public:
    ASyslog();
    ~ASyslog() override;
    ASyslog(const ASyslog&) = delete;
    ASyslog& operator=(const ASyslog&) = delete;

    void Write(const std::string& line) override;
};

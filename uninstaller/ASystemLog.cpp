#include "uninstaller/ASystemLog.h"

#include <syslog.h>

ASyslog::ASyslog()
{
    openlog("nuvexa-uninstaller", LOG_PID, LOG_USER);
}

ASyslog::~ASyslog()
{
    closelog();
}

void ASyslog::Write(const std::string& line)
{
    syslog(LOG_ERR, "%s", line.c_str());
}

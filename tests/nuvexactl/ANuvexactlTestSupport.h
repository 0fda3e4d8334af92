#pragma once
// Helpers for the nuvexactl tests: the program run to its end, and JSON read
// back through an independent parser. AConfigHome gives each test its own
// configuration folder.

#include "tests/support/AChildProgram.h"
#include "tests/support/AConfigHome.h"
#include "tests/support/ATestPaths.h"

#include <string>
#include <vector>

inline AProgramResult RunNuvexactl(const std::vector<std::string>& arguments, const AProgramOptions& options = {})
{
    return RunProgram(BuildBinaryPath("nuvexactl"), arguments, options);
}

// Parses the text as JSON with Python's json module (strict UTF-8), checks
// the shape of "nuvexactl show --json" (keys, their order and value types) and
// gives one line per device, "<device_type> <type> <vid> <pid>
// <presentation_type>:" followed by " <id>/<launch_type>/<launch_arg>" per
// event. A text of another shape gives "invalid: " and the reason.
std::string DescribeShowJson(const std::string& json);

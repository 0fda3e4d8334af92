#pragma once
// AOutputReader reads the output of "uninstall.sh" as it arrives, in reads of
// any size, and turns it into whole lines: a line split between two reads is
// kept until its line feed arrives, and a last line without one is given out
// at the end of the output. A line that begins with "PROGRESS:" carries the
// progress, "done/total" in decimal numbers (floating point accepted, blanks
// before each number skipped); it never reaches the log. A progress line
// whose numbers cannot be read, or whose total is not above zero, is dropped
// and the reading goes on. Every other line is shown, with its line feed.
// Plain code over bytes: the controller does the reading and the showing.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct AProgress {
    double fValue = 0;
    double fMaximum = 0;
    bool operator==(const AProgress&) const = default;
};

// One whole line of output: text for the log (ending in a line feed), or a
// progress report.
struct AOutputLine {
    std::string fText;
    std::optional<AProgress> fProgress;
    bool operator==(const AOutputLine&) const = default;
};

// The progress a "PROGRESS:" line reports; none when it is not one or its
// numbers cannot be read.
std::optional<AProgress> ParseProgressLine(std::string_view line);
// Whether the line is a progress line (shown or not, it never reaches the log).
bool IsProgressLine(std::string_view line);

class AOutputReader {
public:
    // The lines completed by `bytes`.
    std::vector<AOutputLine> Read(std::string_view bytes);
    // At the end of the output: the last line when it had no line feed.
    std::vector<AOutputLine> Finish();

private:
    static void Complete(std::string line, std::vector<AOutputLine>& lines);

    std::string fPartial;
};

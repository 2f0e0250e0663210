#pragma once

#include <exception>
#include <filesystem>
#include <string>

/// How the window reports errors to the operator. Plain C++, so that any
/// view of the window shares the rules.
namespace app {

/// Lets one error box be open at a time. A modal box runs a nested event
/// loop, in which timers keep failing while the host is away: those errors
/// are dropped rather than stacked behind the open box.
class TErrorBoxGate {
public:
    /// True when no box is open: the caller shows its box, then calls Closed.
    bool TryOpen() {
        if (FOpen)
            return false;
        FOpen = true;
        return true;
    }
    void Closed() { FOpen = false; }
    bool IsOpen() const { return FOpen; }

private:
    bool FOpen = false;
};

/// The text of an error box. A host that has gone or does not answer is
/// described for the operator, what happened and what to do, with the
/// technical message after it; any other error keeps its own message.
std::string OperatorErrorText(const std::exception& error);

/// The text of the box that ends a start-up that failed (the host could not
/// be reached): worded as every later error box, the full stop rule applied.
std::string StartUpErrorText(const std::exception& error);

/// Where an error goes when nobody is there to answer a box (the end of a
/// session on Windows): a line at the end of file, after the time in UTC.
/// A file that cannot be written loses the line; nothing else is left to
/// tell.
void AppendLogLine(const std::filesystem::path& file, const std::string& line);

} // namespace app

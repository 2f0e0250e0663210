#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// Monitor lines out of a stream read in pieces.
namespace aprs {

/// Cuts bytes, fed in pieces of any size, into lines. A line longer than
/// kMaxLine bytes is no TNC's monitor line (a runaway file, /dev/zero, a
/// sparse file's hole): it is skipped whole, not cut, and counted. Memory
/// stays at kMaxLine whatever comes.
class TLineSplitter {
public:
    static constexpr std::size_t kMaxLine = 4096;

    /// Calls onLine(std::string_view) for each line ended in the bytes,
    /// without its line feed; empty lines too.
    template <class F> void Feed(std::string_view bytes, F&& onLine) {
        for (const char c : bytes) {
            if (c == '\n') {
                if (FOverlong)
                    ++FSkipped;
                else
                    onLine(std::string_view(FLine));
                FLine.clear();
                FOverlong = false;
            } else if (FLine.size() >= kMaxLine) {
                FOverlong = true;
            } else if (!FOverlong) {
                FLine.push_back(c);
            }
        }
    }
    /// At the end of the input: the last line when it had no line feed.
    template <class F> void Finish(F&& onLine) {
        if (FOverlong)
            ++FSkipped;
        else if (!FLine.empty())
            onLine(std::string_view(FLine));
        FLine.clear();
        FOverlong = false;
    }
    /// Lines longer than kMaxLine skipped so far.
    std::uint64_t Skipped() const { return FSkipped; }

private:
    std::string FLine;
    bool FOverlong = false;
    std::uint64_t FSkipped = 0;
};

} // namespace aprs

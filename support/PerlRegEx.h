#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// PCRE2's compiled-pattern type, declared here so that users of this header
// need not see pcre2.h.
struct pcre2_real_code_8;

/// A compiled regular expression over PCRE2 (8-bit code units, no UTF mode).
namespace support {

/// A pattern that could not be compiled, studied or matched. The message says
/// which step failed and carries PCRE2's own error text.
class EPerlRegExError : public std::runtime_error {
public:
    explicit EPerlRegExError(const std::string& message) : std::runtime_error(message) {}
};

/// Pattern options, in their declared order.
enum class TPerlRegExOption : std::uint8_t {
    preCaseLess,      ///< letters match either case
    preMultiLine,     ///< ^ and $ also match at line breaks
    preSingleLine,    ///< . matches line feeds too
    preExtended,      ///< blanks and # comments in the pattern are ignored
    preAnchored,      ///< the match must start at the start offset
    preDollarEndOnly, ///< $ matches only at the very end of the subject
    preExtra,         ///< unknown escapes are errors (always so with PCRE2)
    preUnGreedy,      ///< quantifiers are lazy unless followed by ?
};

/// A set of TPerlRegExOption values.
class TPerlRegExOptions {
public:
    constexpr TPerlRegExOptions() = default;
    constexpr TPerlRegExOptions(std::initializer_list<TPerlRegExOption> options) {
        for (const auto option : options) {
            FMask |= Bit(option);
        }
    }
    /// Whether the set holds the option.
    constexpr bool Contains(TPerlRegExOption option) const { return (FMask & Bit(option)) != 0; }
    constexpr bool Empty() const { return FMask == 0; }
    constexpr bool operator==(const TPerlRegExOptions&) const = default;

private:
    static constexpr std::uint32_t Bit(TPerlRegExOption option) {
        return std::uint32_t{1} << static_cast<unsigned>(option);
    }
    std::uint32_t FMask = 0;
};

/// The classic PCRE option bits of a set: caseless 0x1, multi-line 0x2,
/// single-line 0x4, extended 0x8, anchored 0x10, dollar-end-only 0x20,
/// extra 0x40, ungreedy 0x200, combined.
std::uint32_t PcreOptionBits(TPerlRegExOptions options);

/// The PCRE2 compile options for classic PCRE option bits. PCRE2 always
/// treats unknown escapes as errors, so the extra bit needs no PCRE2 option.
std::uint32_t Pcre2CompileOptions(std::uint32_t pcreBits);

/// The outcome of a successful match: the groups by number (0 is the whole
/// match) and by name. An unset group (one that took no part in the match)
/// is told apart from a group that matched the empty text.
class TRegExMatch {
public:
    /// Number of groups of the pattern, group 0 included.
    std::size_t GroupCount() const { return FSpans.size(); }
    /// Whether the group took part in the match; false for numbers beyond the pattern's groups.
    bool IsSet(std::size_t group) const;
    /// The text of a group; nullopt when it is unset or does not exist.
    std::optional<std::string> Group(std::size_t group) const;
    /// The text of a named group; nullopt when it is unset or no group has that name.
    std::optional<std::string> Group(std::string_view name) const;
    /// Byte offset of the group in the subject; nullopt when unset.
    std::optional<std::size_t> Offset(std::size_t group) const;
    /// Offset just past the whole match, where a search for the next match starts.
    std::size_t End() const { return FSpans.empty() ? 0 : FSpans[0]->second; }

private:
    friend class TPerlRegEx;
    using Span = std::optional<std::pair<std::size_t, std::size_t>>;
    std::string FSubject;
    std::vector<Span> FSpans;
    std::map<std::string, std::size_t, std::less<>> FNames;
};

/// A regular expression compiled with PCRE2.
///
/// The character tables are built when the object is created, from the
/// character classes and case mappings that the C library reports for bytes
/// 0-255 under the user's locale (LC_CTYPE taken from the environment). Under
/// a single-byte locale such as ISO-8859-1 the accented letters count as
/// letters for \w and caseless matching; under a UTF-8 locale no byte above
/// 127 is a letter or digit, so those classes stay ASCII.
class TPerlRegEx {
public:
    /// Builds the character tables; RegEx and Options empty; not compiled.
    TPerlRegEx();
    ~TPerlRegEx();
    TPerlRegEx(const TPerlRegEx&) = delete;
    TPerlRegEx& operator=(const TPerlRegEx&) = delete;

    /// The pattern text.
    const std::string& RegEx() const { return FRegex; }
    /// Stores a new pattern text; a different text releases the compiled state.
    void SetRegEx(std::string_view regex);

    /// The pattern options.
    TPerlRegExOptions Options() const { return FOptions; }
    /// Stores new options; a different set releases the compiled state.
    void SetOptions(TPerlRegExOptions options);

    /// Classic PCRE option bits derived from Options.
    std::uint32_t PcreOptions() const { return FPcreOptions; }

    /// Compiles RegEx with the options and the character tables.
    /// Throws EPerlRegExError when RegEx is empty or PCRE2 rejects it.
    void Compile();
    /// Compiles when needed, then JIT-compiles the pattern where it can. JIT
    /// is a speed-up: a library without it, or a system that refuses
    /// executable memory, leaves the pattern to the interpreter.
    /// Throws EPerlRegExError when compiling fails.
    void Study();

    bool Compiled() const { return FCode != nullptr; }
    bool Studied() const { return FStudied; }
    /// Whether Study produced JIT code (false where JIT was not to be had).
    bool JitCompiled() const { return FJit; }

    /// Searches the subject from the start offset (compiling first when
    /// needed). Returns the first match, or nullopt when there is none.
    /// Throws EPerlRegExError when the offset lies beyond the subject or
    /// PCRE2 reports an error (such as its match limit).
    std::optional<TRegExMatch> Match(std::string_view subject, std::size_t startOffset = 0);

private:
    struct CodeDeleter {
        void operator()(pcre2_real_code_8* code) const;
    };
    struct TablesDeleter {
        void operator()(const std::uint8_t* tables) const;
    };
    void ReleaseCompiled();

    std::string FRegex;
    TPerlRegExOptions FOptions;
    std::uint32_t FPcreOptions = 0;
    std::unique_ptr<const std::uint8_t, TablesDeleter> FTables;
    std::unique_ptr<pcre2_real_code_8, CodeDeleter> FCode;
    std::map<std::string, std::size_t, std::less<>> FNames;
    bool FStudied = false;
    bool FJit = false;
};

} // namespace support

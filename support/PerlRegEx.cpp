#define PCRE2_CODE_UNIT_WIDTH 8
#include "support/PerlRegEx.h"

#include <pcre2.h>

#include <array>
#include <clocale>
#include <string>

namespace support {

namespace {

std::string Pcre2ErrorText(int errorCode) {
    std::array<PCRE2_UCHAR, 256> buffer{};
    const int length = pcre2_get_error_message(errorCode, buffer.data(), buffer.size());
    if (length < 0) {
        return "PCRE2 error " + std::to_string(errorCode);
    }
    return std::string(reinterpret_cast<const char*>(buffer.data()),
                       static_cast<std::size_t>(length));
}

// Builds PCRE2 character tables from the user's locale. LC_CTYPE is switched
// to the environment's locale only for the table build and then restored, so
// the rest of the program keeps the locale it had.
const std::uint8_t* MakeLocaleTables() {
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = current != nullptr ? current : "C";
    // An environment naming a locale that is not installed leaves LC_CTYPE
    // unchanged; the tables then follow the program's current locale.
    std::setlocale(LC_CTYPE, "");
    const std::uint8_t* tables = pcre2_maketables(nullptr);
    std::setlocale(LC_CTYPE, saved.c_str());
    if (tables == nullptr) {
        throw EPerlRegExError("TPerlRegEx.Create() - Out of memory building the character tables");
    }
    return tables;
}

struct MatchDataDeleter {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

} // namespace

std::uint32_t PcreOptionBits(TPerlRegExOptions options) {
    struct Entry {
        TPerlRegExOption option;
        std::uint32_t bit;
    };
    static constexpr std::array<Entry, 8> kBits{{
        {TPerlRegExOption::preCaseLess, 0x1},
        {TPerlRegExOption::preMultiLine, 0x2},
        {TPerlRegExOption::preSingleLine, 0x4},
        {TPerlRegExOption::preExtended, 0x8},
        {TPerlRegExOption::preAnchored, 0x10},
        {TPerlRegExOption::preDollarEndOnly, 0x20},
        {TPerlRegExOption::preExtra, 0x40},
        {TPerlRegExOption::preUnGreedy, 0x200},
    }};
    std::uint32_t bits = 0;
    for (const auto& entry : kBits) {
        if (options.Contains(entry.option)) {
            bits |= entry.bit;
        }
    }
    return bits;
}

std::uint32_t Pcre2CompileOptions(std::uint32_t pcreBits) {
    std::uint32_t options = 0;
    if ((pcreBits & 0x1) != 0) {
        options |= PCRE2_CASELESS;
    }
    if ((pcreBits & 0x2) != 0) {
        options |= PCRE2_MULTILINE;
    }
    if ((pcreBits & 0x4) != 0) {
        options |= PCRE2_DOTALL;
    }
    if ((pcreBits & 0x8) != 0) {
        options |= PCRE2_EXTENDED;
    }
    if ((pcreBits & 0x10) != 0) {
        options |= PCRE2_ANCHORED;
    }
    if ((pcreBits & 0x20) != 0) {
        options |= PCRE2_DOLLAR_ENDONLY;
    }
    // 0x40 (strict escapes) is PCRE2's fixed behaviour.
    if ((pcreBits & 0x200) != 0) {
        options |= PCRE2_UNGREEDY;
    }
    return options;
}

bool TRegExMatch::IsSet(std::size_t group) const {
    return group < FSpans.size() && FSpans[group].has_value();
}

std::optional<std::string> TRegExMatch::Group(std::size_t group) const {
    if (!IsSet(group)) {
        return std::nullopt;
    }
    const auto& [start, end] = *FSpans[group];
    // \K in a lookahead can report an end before the start.
    return end > start ? FSubject.substr(start, end - start) : std::string();
}

std::optional<std::string> TRegExMatch::Group(std::string_view name) const {
    const auto found = FNames.find(name);
    if (found == FNames.end()) {
        return std::nullopt;
    }
    return Group(found->second);
}

std::optional<std::size_t> TRegExMatch::Offset(std::size_t group) const {
    if (!IsSet(group)) {
        return std::nullopt;
    }
    return FSpans[group]->first;
}

void TPerlRegEx::CodeDeleter::operator()(pcre2_real_code_8* code) const {
    pcre2_code_free(code);
}

void TPerlRegEx::TablesDeleter::operator()(const std::uint8_t* tables) const {
    pcre2_maketables_free(nullptr, tables);
}

TPerlRegEx::TPerlRegEx() : FTables(MakeLocaleTables()) {}

// The compiled pattern points into the tables, so it goes first.
TPerlRegEx::~TPerlRegEx() {
    ReleaseCompiled();
}

void TPerlRegEx::ReleaseCompiled() {
    FCode.reset();
    FNames.clear();
    FStudied = false;
    FJit = false;
}

void TPerlRegEx::SetRegEx(std::string_view regex) {
    if (regex == FRegex) {
        return;
    }
    FRegex = regex;
    ReleaseCompiled();
}

void TPerlRegEx::SetOptions(TPerlRegExOptions options) {
    if (options == FOptions) {
        return;
    }
    FOptions = options;
    FPcreOptions = PcreOptionBits(options);
    ReleaseCompiled();
}

void TPerlRegEx::Compile() {
    if (FRegex.empty()) {
        throw EPerlRegExError(
            "TPerlRegEx.Compile() - Please specify a regular expression in RegEx first");
    }
    ReleaseCompiled();

    std::unique_ptr<pcre2_compile_context, void (*)(pcre2_compile_context*)> context(
        pcre2_compile_context_create(nullptr), pcre2_compile_context_free);
    if (context == nullptr) {
        throw EPerlRegExError("TPerlRegEx.Compile() - Out of memory");
    }
    pcre2_set_character_tables(context.get(), FTables.get());

    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(FRegex.data()), FRegex.size(),
                      Pcre2CompileOptions(FPcreOptions), &errorCode, &errorOffset, context.get());
    if (code == nullptr) {
        throw EPerlRegExError("TPerlRegEx.Compile() - Error in regex at offset " +
                              std::to_string(errorOffset) + ": " + Pcre2ErrorText(errorCode));
    }
    FCode.reset(code);

    // Keep the group names so that a match can be read by name.
    std::uint32_t nameCount = 0;
    std::uint32_t entrySize = 0;
    PCRE2_SPTR nameTable = nullptr;
    pcre2_pattern_info(code, PCRE2_INFO_NAMECOUNT, &nameCount);
    pcre2_pattern_info(code, PCRE2_INFO_NAMEENTRYSIZE, &entrySize);
    pcre2_pattern_info(code, PCRE2_INFO_NAMETABLE, &nameTable);
    for (std::uint32_t i = 0; i < nameCount; ++i) {
        const PCRE2_SPTR entry = nameTable + static_cast<std::size_t>(i) * entrySize;
        const std::size_t number = (static_cast<std::size_t>(entry[0]) << 8) | entry[1];
        FNames.emplace(reinterpret_cast<const char*>(entry + 2), number);
    }
}

void TPerlRegEx::Study() {
    if (!Compiled()) {
        Compile();
    }
    // Machine code is only a speed-up: where it cannot be had (a library built
    // without JIT, or a system that refuses memory both writable and
    // executable) the pattern runs in the interpreter, just as correctly.
    FJit = pcre2_jit_compile(FCode.get(), PCRE2_JIT_COMPLETE) == 0;
    FStudied = true;
}

std::optional<TRegExMatch> TPerlRegEx::Match(std::string_view subject, std::size_t startOffset) {
    if (startOffset > subject.size()) {
        throw EPerlRegExError("TPerlRegEx.Match() - Start offset " + std::to_string(startOffset) +
                              " lies beyond the subject of length " +
                              std::to_string(subject.size()));
    }
    if (!Compiled()) {
        Compile();
    }
    const std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
        pcre2_match_data_create_from_pattern(FCode.get(), nullptr));
    if (data == nullptr) {
        throw EPerlRegExError("TPerlRegEx.Match() - Out of memory");
    }
    const int result = pcre2_match(FCode.get(), reinterpret_cast<PCRE2_SPTR>(subject.data()),
                                   subject.size(), startOffset, 0, data.get(), nullptr);
    if (result == PCRE2_ERROR_NOMATCH) {
        return std::nullopt;
    }
    if (result < 0) {
        throw EPerlRegExError("TPerlRegEx.Match() - Error matching the regex: " +
                              Pcre2ErrorText(result));
    }

    std::uint32_t captureCount = 0;
    pcre2_pattern_info(FCode.get(), PCRE2_INFO_CAPTURECOUNT, &captureCount);
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    const std::uint32_t pairs = pcre2_get_ovector_count(data.get());

    TRegExMatch match;
    match.FSubject = std::string(subject);
    match.FNames = FNames;
    match.FSpans.resize(static_cast<std::size_t>(captureCount) + 1);
    // Groups at or after the returned count took no part in the match.
    for (std::size_t group = 0; group < match.FSpans.size() && group < pairs; ++group) {
        const PCRE2_SIZE start = ovector[2 * group];
        const PCRE2_SIZE end = ovector[2 * group + 1];
        if (static_cast<int>(group) < result && start != PCRE2_UNSET) {
            match.FSpans[group] = std::make_pair(start, end);
        }
    }
    return match;
}

} // namespace support

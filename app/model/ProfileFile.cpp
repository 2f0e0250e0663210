#include "app/model/ProfileFile.h"

#include "app/model/ProfileLock.h"
#include "support/RegularFile.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace app {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

/// One line of the file: its text without the line end, and the line end as
/// it was ("\r\n", "\n", or empty for a last line without one).
struct TLine {
    std::string Text;
    std::string End;
};

std::vector<TLine> SplitLines(const std::string& content) {
    std::vector<TLine> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        const std::size_t nl = content.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back({content.substr(pos), ""});
            break;
        }
        std::size_t textEnd = nl;
        if (textEnd > pos && content[textEnd - 1] == '\r')
            --textEnd;
        lines.push_back(
            {content.substr(pos, textEnd - pos), content.substr(textEnd, nl + 1 - textEnd)});
        pos = nl + 1;
    }
    return lines;
}

/// The section name of a "[name]" line, or nothing for other lines.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[')
        return std::nullopt;
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

/// The key of a "key=value" line, or nothing for lines without "=".
std::optional<std::string_view> KeyOf(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(0, eq));
}

/// The file's content; nothing when it cannot be read or is not a settings
/// file at all (a pipe, a device, a directory, or far too large for one).
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file) {
    try {
        return support::ReadRegularFile(file, kMaxProfileFileBytes);
    } catch (const support::EFileRefused&) {
        return std::nullopt;
    }
}

/// Where a key lives in the file: the index of its section line, of the
/// section's last non-blank line, and of the key line (if any).
struct TKeyPlace {
    std::optional<std::size_t> Section;
    std::size_t SectionEnd = 0;
    std::optional<std::size_t> Key;
};

TKeyPlace FindKey(const std::vector<TLine>& lines, std::string_view section, std::string_view key) {
    TKeyPlace place;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& text = lines[i].Text;
        if (const auto name = SectionOf(text)) {
            // Only the first section of a name counts, as for the key.
            if (inSection)
                break;
            if (!place.Section && SameName(*name, section)) {
                inSection = true;
                place.Section = i;
                place.SectionEnd = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!Trim(text).empty())
            place.SectionEnd = i;
        if (const auto k = KeyOf(text); k && !place.Key && SameName(*k, key))
            place.Key = i;
    }
    return place;
}

[[noreturn]] void FailWrite(const std::filesystem::path& file) {
    throw EProfileWriteError("Unable to write to " + file.string());
}

constexpr std::string_view kTempSuffix = ".XXXXXX";

/// Writes the content to a fresh temporary file in the file's directory and
/// renames it over the file.
void ReplaceFile(const std::filesystem::path& file, const std::string& content) {
    // A read-only settings file stays as it is, as the user meant.
    if (::access(file.c_str(), F_OK) == 0 && ::access(file.c_str(), W_OK) != 0)
        FailWrite(file);

    std::string temp = file.string() + std::string(kTempSuffix);
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        FailWrite(file);
    bool ok = true;
    std::size_t written = 0;
    while (ok && written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            written += static_cast<std::size_t>(n);
    }
    // Keep the permissions of the file being replaced (mkstemp makes 0600).
    struct stat old {};
    const mode_t mode = ::stat(file.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    ok = ok && ::fchmod(fd, mode) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), file.c_str()) != 0) {
        ::unlink(temp.c_str());
        FailWrite(file);
    }
}

} // namespace

std::string ReadProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key, std::string_view defaultValue) {
    const std::optional<std::string> content = ReadWholeFile(file);
    if (!content)
        return std::string(defaultValue);
    const std::vector<TLine> lines = SplitLines(*content);
    const TKeyPlace place = FindKey(lines, section, key);
    if (!place.Key)
        return std::string(defaultValue);

    const std::string& text = lines[*place.Key].Text;
    std::string_view value = Trim(std::string_view(text).substr(text.find('=') + 1));
    // Quoted values are read without their quotes, so a value written by hand
    // as "30" counts as 30; the program itself never writes quotes.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    if (value.size() > kMaxProfileValue) {
        std::size_t cut = kMaxProfileValue;
        // Do not split a UTF-8 character.
        while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80)
            --cut;
        value = value.substr(0, cut);
    }
    return std::string(value);
}

void WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value,
                        std::chrono::milliseconds wait) {
    const std::filesystem::path full = std::filesystem::absolute(file);
    // Held from the read to the replace, so that another program's write
    // cannot fall between them.
    const TProfileWriteLock lock(full, full.string(), wait);
    std::error_code error;
    const bool exists = std::filesystem::exists(full, error);
    std::string content;
    if (exists) {
        std::optional<std::string> read = ReadWholeFile(full);
        if (!read)
            FailWrite(full);
        content = std::move(*read);
    }

    // A line break inside a value would split it into lines of its own and
    // corrupt the file; it is stored as a blank instead.
    std::string safeValue(value);
    for (char& c : safeValue)
        if (c == '\r' || c == '\n')
            c = ' ';
    const std::string keyLine = std::string(key) + "=" + safeValue;

    std::vector<TLine> lines = SplitLines(content);
    const TKeyPlace place = FindKey(lines, section, key);
    if (place.Key) {
        lines[*place.Key].Text = keyLine;
    } else if (place.Section) {
        TLine& last = lines[place.SectionEnd];
        if (last.End.empty())
            last.End = "\r\n";
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(place.SectionEnd + 1),
                     TLine{keyLine, "\r\n"});
    } else {
        if (!lines.empty() && lines.back().End.empty())
            lines.back().End = "\r\n";
        std::string header = "[";
        header += section;
        header += ']';
        lines.push_back({std::move(header), "\r\n"});
        lines.push_back({keyLine, "\r\n"});
    }

    std::string out;
    out.reserve(content.size() + keyLine.size() + section.size() + 8);
    for (const TLine& line : lines)
        out += line.Text + line.End;
    ReplaceFile(full, out);
}

void RemoveStaleProfileTemps(const std::filesystem::path& file) {
    namespace fs = std::filesystem;
    if (file.filename().empty())
        return;
    const fs::path full = fs::absolute(file);
    const std::string prefix = full.filename().string() + ".";
    std::error_code error;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(full.parent_path(), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + kTempSuffix.size() - 1 || !name.starts_with(prefix))
            continue;
        std::error_code statError;
        if (!it->is_regular_file(statError) || it->is_symlink(statError))
            continue;
        const auto changed = fs::last_write_time(it->path(), statError);
        if (!statError && now - changed > std::chrono::minutes(1))
            fs::remove(it->path(), statError);
    }
}

} // namespace app

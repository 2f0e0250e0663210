#include "standin/map/Coastline.h"

#include <fcntl.h>
#include <netcdf.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <type_traits>

namespace standin {

namespace {

/// An open netCDF file, closed on every way out.
class TNcFile {
public:
    explicit TNcFile(const std::filesystem::path& file) : FName(file.string()) {
        // The data is a few megabytes at most: anything far larger is not it.
        std::error_code error;
        const auto size = std::filesystem::file_size(file, error);
        if (error)
            Fail("cannot be opened (" + error.message() + ")");
        if (size > kMaxBytes)
            Fail("is " + std::to_string(size) + " bytes long, too long for coastline data");
        Check(nc_open(FName.c_str(), NC_NOWRITE, &FId), "cannot be opened");
    }
    ~TNcFile() { nc_close(FId); }
    TNcFile(const TNcFile&) = delete;
    TNcFile& operator=(const TNcFile&) = delete;

    /// A whole variable read as the type T, with its expected length.
    template <class T> std::vector<T> Read(const char* name) const {
        int var = 0;
        Check(nc_inq_varid(FId, name, &var), std::string("has no ") + name);
        int dims[NC_MAX_VAR_DIMS] = {};
        int ndims = 0;
        Check(nc_inq_varndims(FId, var, &ndims), name);
        if (ndims != 1)
            Fail(std::string(name) + " is not a list");
        nc_type type = NC_NAT;
        Check(nc_inq_vartype(FId, var, &type), name);
        if (type != (std::is_same_v<T, int> ? NC_INT : NC_SHORT))
            Fail(std::string(name) + " is not a list of " + (std::is_same_v<T, int> ? "32" : "16") +
                 "-bit integers");
        Check(nc_inq_vardimid(FId, var, dims), name);
        std::size_t length = 0;
        Check(nc_inq_dimlen(FId, dims[0], &length), name);
        if (length > (std::size_t{1} << 26))
            Fail(std::string(name) + " is too long");
        std::vector<T> values(length);
        if constexpr (std::is_same_v<T, int>)
            Check(nc_get_var_int(FId, var, values.data()), name);
        else
            Check(nc_get_var_short(FId, var, values.data()), name);
        return values;
    }
    int Scalar(const char* name) const {
        const std::vector<int> value = Read<int>(name);
        if (value.size() != 1)
            Fail(std::string(name) + " is not one number");
        return value[0];
    }
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error("coastline file " + FName + ": " + what);
    }

private:
    static constexpr std::uintmax_t kMaxBytes = 64u << 20;
    void Check(int status, const std::string& what) const {
        if (status != NC_NOERR)
            Fail(what + " (" + nc_strerror(status) + ")");
    }
    std::string FName;
    int FId = -1;
};

std::vector<TMapLine> ReadLines(const TNcFile& nc, bool border);

/// Writes all of the bytes, or returns false.
bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, at, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        at += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

/// The child's answer: 'L' and the lines, or 'E' and the error's text.
std::string Encode(const std::vector<TMapLine>& lines) {
    std::string out = "L";
    const auto put = [&out](const auto& value) {
        out.append(reinterpret_cast<const char*>(&value), sizeof value);
    };
    put(static_cast<std::uint64_t>(lines.size()));
    for (const TMapLine& line : lines) {
        put(static_cast<std::uint8_t>(line.border));
        put(static_cast<std::uint64_t>(line.lat.size()));
        out.append(reinterpret_cast<const char*>(line.lat.data()),
                   line.lat.size() * sizeof(double));
        out.append(reinterpret_cast<const char*>(line.lon.data()),
                   line.lon.size() * sizeof(double));
        for (const double edge : {line.south, line.north, line.west, line.east})
            put(edge);
    }
    return out;
}

std::vector<TMapLine> Decode(const std::string& in) {
    std::size_t at = 1;
    const auto take = [&](void* value, std::size_t size) {
        if (in.size() - at < size)
            throw std::runtime_error("the coastline reader's answer is cut short");
        std::memcpy(value, in.data() + at, size);
        at += size;
    };
    std::uint64_t count = 0;
    take(&count, sizeof count);
    std::vector<TMapLine> lines;
    for (std::uint64_t i = 0; i < count; ++i) {
        TMapLine line;
        std::uint8_t border = 0;
        std::uint64_t points = 0;
        take(&border, sizeof border);
        take(&points, sizeof points);
        if (points > (in.size() - at) / (2 * sizeof(double)))
            throw std::runtime_error("the coastline reader's answer is cut short");
        line.border = border != 0;
        line.lat.resize(points);
        line.lon.resize(points);
        take(line.lat.data(), points * sizeof(double));
        take(line.lon.data(), points * sizeof(double));
        for (double* edge : {&line.south, &line.north, &line.west, &line.east})
            take(edge, sizeof(double));
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace

std::vector<TMapLine> ReadApart(const std::function<std::vector<TMapLine>()>& read,
                                std::chrono::milliseconds limit) {
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("cannot start the coastline reader: ") +
                                 std::strerror(errno));
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        throw std::runtime_error(std::string("cannot start the coastline reader: ") +
                                 std::strerror(errno));
    }
    if (child == 0) {
        close(channel[0]);
        std::string answer;
        try {
            answer = Encode(read());
        } catch (const std::exception& error) {
            answer = std::string("E") + error.what();
        }
        _exit(WriteAll(channel[1], answer.data(), answer.size()) ? 0 : 1);
    }
    close(channel[1]);
    std::string answer;
    const auto end = std::chrono::steady_clock::now() + limit;
    bool late = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd readable{channel[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) == 0) {
            late = true;
            kill(child, SIGKILL);
            break;
        }
        char buffer[1 << 16];
        const ssize_t got = ::read(channel[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        answer.append(buffer, static_cast<std::size_t>(got));
    }
    close(channel[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (late)
        throw std::runtime_error("its reader took longer than " + std::to_string(limit.count()) +
                                 " ms and was stopped");
    if (WIFSIGNALED(status))
        throw std::runtime_error(std::string("its reader crashed (") + strsignal(WTERMSIG(status)) +
                                 ")");
    if (answer.empty() || WEXITSTATUS(status) != 0)
        throw std::runtime_error("its reader ended without an answer");
    if (answer[0] == 'E')
        throw std::runtime_error(answer.substr(1));
    return Decode(answer);
}

std::vector<TMapLine> LinesOfBins(const TBins& bins, bool border) {
    const auto& [binMinutes, binsAcross, firstSegment, segmentsInBin, firstPoint, points, dx, dy] =
        bins;
    if (binMinutes <= 0 || binsAcross <= 0 || 360 * 60 % binMinutes != 0 ||
        binsAcross != 360 * 60 / binMinutes || firstSegment.size() != segmentsInBin.size() ||
        points.size() != firstPoint.size() || dx.size() != dy.size())
        throw std::runtime_error("its bins, segments or points do not agree");

    std::vector<TMapLine> lines;
    const double binSize = binMinutes; // host units are minutes
    for (std::size_t bin = 0; bin < firstSegment.size(); ++bin) {
        // Bins run west to east from 0°, in rows from the north pole down.
        const double west =
            static_cast<double>(bin % static_cast<std::size_t>(binsAcross)) * binSize;
        const double south =
            90.0 * 60 -
            static_cast<double>(bin / static_cast<std::size_t>(binsAcross) + 1) * binSize;
        const double shift = west >= 180.0 * 60 ? -360.0 * 60 : 0.0;
        for (int k = 0; k < segmentsInBin[bin]; ++k) {
            const long long segment = static_cast<long long>(firstSegment[bin]) + k;
            if (segment < 0 || segment >= static_cast<long long>(firstPoint.size()))
                throw std::runtime_error("a bin names a segment that is not there");
            const long long first = firstPoint[static_cast<std::size_t>(segment)];
            const long long count = points[static_cast<std::size_t>(segment)];
            if (first < 0 || count < 0 || first + count > static_cast<long long>(dx.size()))
                throw std::runtime_error("a segment names points that are not there");
            if (count < 2)
                continue;
            TMapLine line;
            line.border = border;
            for (auto p = static_cast<std::size_t>(first);
                 p < static_cast<std::size_t>(first + count); ++p) {
                line.lon.push_back(west + shift +
                                   static_cast<std::uint16_t>(dx[p]) * binSize / 65535.0);
                line.lat.push_back(south + static_cast<std::uint16_t>(dy[p]) * binSize / 65535.0);
            }
            const auto [s, n] = std::minmax_element(line.lat.begin(), line.lat.end());
            const auto [w, e] = std::minmax_element(line.lon.begin(), line.lon.end());
            line.south = *s;
            line.north = *n;
            line.west = *w;
            line.east = *e;
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

std::vector<TMapLine> ReadBinnedLines(const std::filesystem::path& file, bool border) {
    return ReadLines(TNcFile(file), border);
}

namespace {

std::vector<TMapLine> ReadLines(const TNcFile& nc, bool border) {
    TBins bins;
    bins.binMinutes = nc.Scalar("Bin_size_in_minutes");
    bins.binsAcross = nc.Scalar("N_bins_in_360_longitude_range");
    bins.firstSegment = nc.Read<int>("Id_of_first_segment_in_a_bin");
    bins.segmentsInBin = nc.Read<short>("N_segments_in_a_bin");
    bins.firstPoint = nc.Read<int>("Id_of_first_point_in_a_segment");
    bins.dx = nc.Read<short>("Relative_longitude_from_SW_corner_of_bin");
    bins.dy = nc.Read<short>("Relative_latitude_from_SW_corner_of_bin");
    // Shores pack the point count with level and edge codes; borders keep it apart.
    if (border) {
        for (const short n : nc.Read<short>("N_points_for_a_segment"))
            bins.points.push_back(static_cast<std::uint16_t>(n));
    } else {
        for (const int packed : nc.Read<int>("Embedded_npts_levels_exit_entry_for_a_segment"))
            bins.points.push_back(packed >> 9);
    }
    try {
        return LinesOfBins(bins, border);
    } catch (const std::runtime_error& error) {
        nc.Fail(error.what());
    }
}

} // namespace

namespace {

/// Reads the shores and borders of folder with read, one file at a time.
std::vector<TMapLine>
LoadEach(const std::filesystem::path& folder, std::string* warning,
         const std::function<std::vector<TMapLine>(const std::filesystem::path&, bool)>& read) {
    std::vector<TMapLine> lines;
    for (const bool border : {false, true}) {
        const std::filesystem::path file =
            folder / (border ? "binned_border_l.nc" : "binned_GSHHS_l.nc");
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error))
            continue;
        try {
            std::vector<TMapLine> more = read(file, border);
            lines.insert(lines.end(), std::make_move_iterator(more.begin()),
                         std::make_move_iterator(more.end()));
        } catch (const std::exception& failure) {
            if (!warning)
                continue;
            // The reader's own errors name the file already.
            const std::string what = failure.what();
            *warning = what.starts_with("coastline file ")
                           ? what
                           : "coastline file " + file.string() + ": " + what;
        }
    }
    return lines;
}

} // namespace

std::vector<TMapLine> LoadCoastlines(const std::filesystem::path& folder, std::string* warning) {
    return LoadEach(folder, warning, [](const std::filesystem::path& file, bool border) {
        return ReadBinnedLines(file, border);
    });
}

std::vector<TMapLine> LoadCoastlinesApart(const std::filesystem::path& folder,
                                          std::string* warning) {
    return LoadEach(folder, warning, [](const std::filesystem::path& file, bool border) {
        return ReadApart([&] { return ReadBinnedLines(file, border); });
    });
}

} // namespace standin

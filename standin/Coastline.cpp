#include "standin/Coastline.h"

#include <netcdf.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <type_traits>

namespace standin {

namespace {

/// An open netCDF file, closed on every way out.
class TNcFile {
public:
    explicit TNcFile(const std::filesystem::path& file) : FName(file.string()) {
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
    void Check(int status, const std::string& what) const {
        if (status != NC_NOERR)
            Fail(what + " (" + nc_strerror(status) + ")");
    }
    std::string FName;
    int FId = -1;
};

} // namespace

std::vector<TMapLine> ReadBinnedLines(const std::filesystem::path& file, bool border) {
    const TNcFile nc(file);
    const int binMinutes = nc.Scalar("Bin_size_in_minutes");
    const int binsAcross = nc.Scalar("N_bins_in_360_longitude_range");
    const std::vector<int> firstSegment = nc.Read<int>("Id_of_first_segment_in_a_bin");
    const std::vector<short> segmentsInBin = nc.Read<short>("N_segments_in_a_bin");
    const std::vector<int> firstPoint = nc.Read<int>("Id_of_first_point_in_a_segment");
    const std::vector<short> dx = nc.Read<short>("Relative_longitude_from_SW_corner_of_bin");
    const std::vector<short> dy = nc.Read<short>("Relative_latitude_from_SW_corner_of_bin");
    // Shores pack the point count with level and edge codes; borders keep it apart.
    std::vector<int> points;
    if (border) {
        for (const short n : nc.Read<short>("N_points_for_a_segment"))
            points.push_back(static_cast<std::uint16_t>(n));
    } else {
        for (const int packed : nc.Read<int>("Embedded_npts_levels_exit_entry_for_a_segment"))
            points.push_back(packed >> 9);
    }
    if (binMinutes <= 0 || binsAcross <= 0 || 360 * 60 % binMinutes != 0 ||
        binsAcross != 360 * 60 / binMinutes || firstSegment.size() != segmentsInBin.size() ||
        points.size() != firstPoint.size() || dx.size() != dy.size())
        nc.Fail("its bins, segments or points do not agree");

    std::vector<TMapLine> lines;
    const double binSize = binMinutes; // host units are minutes
    for (std::size_t bin = 0; bin < firstSegment.size(); ++bin) {
        // Bins run west to east from 0°, in rows from the north pole down.
        const double west = static_cast<double>(bin % binsAcross) * binSize;
        const double south = 90.0 * 60 - static_cast<double>(bin / binsAcross + 1) * binSize;
        const double shift = west >= 180.0 * 60 ? -360.0 * 60 : 0.0;
        for (int k = 0; k < segmentsInBin[bin]; ++k) {
            const long long segment = static_cast<long long>(firstSegment[bin]) + k;
            if (segment < 0 || segment >= static_cast<long long>(firstPoint.size()))
                nc.Fail("a bin names a segment that is not there");
            const long long first = firstPoint[segment];
            const long long count = points[segment];
            if (first < 0 || count < 0 || first + count > static_cast<long long>(dx.size()))
                nc.Fail("a segment names points that are not there");
            if (count < 2)
                continue;
            TMapLine line;
            line.border = border;
            for (long long p = first; p < first + count; ++p) {
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

std::vector<TMapLine> LoadCoastlines(const std::filesystem::path& folder, std::string* warning) {
    std::vector<TMapLine> lines;
    for (const bool border : {false, true}) {
        const std::filesystem::path file =
            folder / (border ? "binned_border_l.nc" : "binned_GSHHS_l.nc");
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error))
            continue;
        try {
            std::vector<TMapLine> more = ReadBinnedLines(file, border);
            lines.insert(lines.end(), std::make_move_iterator(more.begin()),
                         std::make_move_iterator(more.end()));
        } catch (const std::exception& failure) {
            if (warning)
                *warning = failure.what();
        }
    }
    return lines;
}

} // namespace standin

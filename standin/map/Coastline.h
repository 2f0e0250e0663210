#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

/// Coastlines and borders for the stand-in host's map, from the GSHHG data in
/// its binned netCDF form (Debian's gmt-gshhg-low). An optional layer: the map
/// goes without it when the data is not installed.
namespace standin {

/// One line of the layer, in host units (60 a degree; north and east
/// positive, longitude from -10800 to 10800), with its bounding box.
struct TMapLine {
    std::vector<double> lat, lon;
    double south = 0, north = 0, west = 0, east = 0;
    bool border = false; ///< a national border rather than a shore
};

/// Where Debian installs the data.
inline constexpr const char* kGshhgFolder = "/usr/share/gmt-gshhg";

/// Reads the shore lines of one binned GSHHG file (binned_GSHHS_*.nc, or
/// binned_border_*.nc for borders). Throws std::runtime_error naming the file
/// and what is wrong when it cannot be read or is not of that form.
std::vector<TMapLine> ReadBinnedLines(const std::filesystem::path& file, bool border);
/// What a binned file holds: bins of a size in minutes, 360° across, in rows
/// from the north pole down; each bin names its segments, each segment its
/// points, which are offsets from the bin's south-west corner in 65535ths.
struct TBins {
    int binMinutes = 0;
    int binsAcross = 0;
    std::vector<int> firstSegment;    ///< per bin
    std::vector<short> segmentsInBin; ///< per bin
    std::vector<int> firstPoint;      ///< per segment
    std::vector<int> points;          ///< per segment
    std::vector<short> dx, dy;        ///< per point
};
/// The lines of the bins. Throws std::runtime_error saying what does not
/// agree when the bins, segments and points do not fit together.
std::vector<TMapLine> LinesOfBins(const TBins& bins, bool border);

/// The low-resolution shores and borders from folder, or nothing when they are
/// not installed. A file that is there but cannot be read is reported through
/// warning and left out.
std::vector<TMapLine> LoadCoastlines(const std::filesystem::path& folder,
                                     std::string* warning = nullptr);

/// As LoadCoastlines, but each file is read in a child process: the netCDF and
/// HDF5 libraries can crash on a damaged file, and the caller lives on and is
/// told why through warning. Call it before starting threads.
std::vector<TMapLine> LoadCoastlinesApart(const std::filesystem::path& folder,
                                          std::string* warning = nullptr);

/// Runs read in a child process and hands back its lines. Throws
/// std::runtime_error with what read threw, or saying how the child ended when
/// it crashed or took longer than limit.
std::vector<TMapLine> ReadApart(const std::function<std::vector<TMapLine>()>& read,
                                std::chrono::milliseconds limit = std::chrono::seconds(30));

} // namespace standin

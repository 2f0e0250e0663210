#pragma once

#include <filesystem>
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

/// The low-resolution shores and borders from folder, or nothing when they are
/// not installed. A file that is there but cannot be read is reported through
/// warning and left out.
std::vector<TMapLine> LoadCoastlines(const std::filesystem::path& folder,
                                     std::string* warning = nullptr);

} // namespace standin

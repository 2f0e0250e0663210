#include "standin/Coastline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

/// How far the nearest line passes from a position, in host units (flat, as
/// lines this short allow).
double NearestPoint(const std::vector<standin::TMapLine>& lines, double lat, double lon,
                    bool border) {
    double best = INFINITY;
    for (const standin::TMapLine& line : lines) {
        if (line.border != border)
            continue;
        for (std::size_t i = 0; i + 1 < line.lat.size(); ++i) {
            const double ax = line.lon[i], ay = line.lat[i];
            const double dx = line.lon[i + 1] - ax, dy = line.lat[i + 1] - ay;
            const double length = dx * dx + dy * dy;
            const double t =
                length > 0 ? std::clamp(((lon - ax) * dx + (lat - ay) * dy) / length, 0.0, 1.0)
                           : 0.0;
            best = std::min(best, std::hypot(ax + t * dx - lon, ay + t * dy - lat));
        }
    }
    return best;
}

TEST(Coastline, DebiansLowResolutionShoresAndBordersLieWhereTheyShould) {
    const fs::path folder = standin::kGshhgFolder;
    if (!fs::exists(folder / "binned_GSHHS_l.nc"))
        GTEST_SKIP() << "gmt-gshhg-low is not installed";
    std::string warning;
    const std::vector<standin::TMapLine> lines = standin::LoadCoastlines(folder, &warning);
    EXPECT_EQ(warning, "");
    ASSERT_GT(lines.size(), 1000u);
    // New Haven harbour (41.28°N 72.91°W), Cape Town (33.92°S 18.42°E), and
    // the Connecticut-Massachusetts border (42.02°N 72.5°W), within 6'.
    EXPECT_LT(NearestPoint(lines, 41.28 * 60, -72.91 * 60, false), 6);
    EXPECT_LT(NearestPoint(lines, -33.92 * 60, 18.42 * 60, false), 6);
    EXPECT_LT(NearestPoint(lines, 42.02 * 60, -72.5 * 60, true), 6);
    // Inland Hartford is no shore.
    EXPECT_GT(NearestPoint(lines, 41.76 * 60, -72.68 * 60, false), 6);
    for (const standin::TMapLine& line : lines) {
        ASSERT_EQ(line.lat.size(), line.lon.size());
        ASSERT_GE(line.lat.size(), 2u);
        ASSERT_TRUE(line.west >= -180 * 60 && line.east <= 180 * 60);
        ASSERT_TRUE(line.south >= -90 * 60 && line.north <= 90 * 60);
    }
}

TEST(Coastline, AMissingLayerIsNoneAndABrokenFileIsNamed) {
    const fs::path folder =
        fs::temp_directory_path() / ("velloran-coast-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::string warning;
    EXPECT_TRUE(standin::LoadCoastlines(folder, &warning).empty());
    EXPECT_EQ(warning, "");

    std::ofstream(folder / "binned_GSHHS_l.nc") << "not a netCDF file";
    EXPECT_TRUE(standin::LoadCoastlines(folder, &warning).empty());
    EXPECT_NE(warning.find((folder / "binned_GSHHS_l.nc").string()), std::string::npos) << warning;
    fs::remove_all(folder);
}

} // namespace

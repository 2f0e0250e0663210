#include "standin/map/Coastline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <thread>
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

namespace {

std::string FailureOf(const std::function<std::vector<standin::TMapLine>()>& read,
                      std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    try {
        standin::ReadApart(read, limit);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "(no failure)";
}

} // namespace

TEST(Coastline, AReaderInAChildProcessHandsBackItsLinesOrSaysWhyItFailed) {
    standin::TMapLine line;
    line.lat = {1, 2, 3};
    line.lon = {-4, -5, 6.5};
    line.south = 1;
    line.north = 3;
    line.west = -5;
    line.east = 6.5;
    line.border = true;
    const auto lines = standin::ReadApart([&] { return std::vector{line, line}; });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].lat, line.lat);
    EXPECT_EQ(lines[1].lon, line.lon);
    EXPECT_EQ(lines[1].east, 6.5);
    EXPECT_TRUE(lines[1].border);

    EXPECT_EQ(FailureOf([]() -> std::vector<standin::TMapLine> {
                  throw std::runtime_error("coastline file x.nc: has no y");
              }),
              "coastline file x.nc: has no y");
    EXPECT_EQ(FailureOf([]() -> std::vector<standin::TMapLine> { std::abort(); }),
              "its reader crashed (Aborted)");
    EXPECT_EQ(FailureOf(
                  []() -> std::vector<standin::TMapLine> {
                      std::this_thread::sleep_for(std::chrono::seconds(30));
                      return {};
                  },
                  std::chrono::milliseconds(300)),
              "its reader took longer than 300 ms and was stopped");
}

TEST(Coastline, DamagedCopiesOfTheShoresAreReadOrRefusedButNeverFatal) {
    const fs::path original = fs::path(standin::kGshhgFolder) / "binned_GSHHS_l.nc";
    if (!fs::exists(original))
        GTEST_SKIP() << "gmt-gshhg-low is not installed";
    std::ifstream in(original, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const fs::path folder =
        fs::temp_directory_path() / ("velloran-damaged-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    // Cut short, zeroed and scrambled in the header, the tables and the data.
    std::vector<std::string> damaged;
    for (const std::size_t keep : {std::size_t{100}, std::size_t{4096}, bytes.size() / 2})
        damaged.push_back(bytes.substr(0, keep));
    std::uint32_t seed = 19;
    for (const std::size_t from : {std::size_t{0}, std::size_t{512}, std::size_t{2048},
                                   std::size_t{8192}, bytes.size() / 3}) {
        std::string zeroed = bytes;
        std::fill_n(zeroed.begin() + static_cast<std::ptrdiff_t>(from), 1024, '\0');
        damaged.push_back(zeroed);
        std::string scrambled = bytes;
        for (std::size_t i = from; i < from + 4096 && i < scrambled.size(); i += 7) {
            seed = seed * 1664525 + 1013904223;
            scrambled[i] = static_cast<char>(seed >> 24);
        }
        damaged.push_back(scrambled);
    }
    // These two make the libraries of Debian 12 crash (a double free, a
    // segmentation fault) when read in the reading process itself.
    for (const std::size_t from : {std::size_t{19412}, std::size_t{27008}}) {
        std::string overwritten = bytes;
        std::fill_n(overwritten.begin() + static_cast<std::ptrdiff_t>(from), 64, '\xff');
        damaged.push_back(overwritten);
    }
    int refused = 0;
    for (const std::string& copy : damaged) {
        std::ofstream(folder / "binned_GSHHS_l.nc", std::ios::binary | std::ios::trunc) << copy;
        std::string warning;
        const auto lines = standin::LoadCoastlinesApart(folder, &warning);
        if (!warning.empty()) {
            ++refused;
            EXPECT_TRUE(lines.empty());
            EXPECT_NE(warning.find((folder / "binned_GSHHS_l.nc").string()), std::string::npos)
                << warning;
        }
    }
    EXPECT_GE(refused, 5); // at least the cut and the overwritten copies
    fs::remove_all(folder);
}

#include "app/model/ChannelModel.h"
#include "app/model/ChannelTimeline.h"
#include "aprs/packets/Ax25.h"
#include "aprs/packets/Kiss.h"
#include "support/APRSParser.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class ChannelModel : public testing::Test {
protected:
    void SetUp() override {
        support::InitializeAprsPatterns();
        FDir = fs::temp_directory_path() /
               ("velloran-channel-model-" +
                std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(FDir);
    }
    void TearDown() override {
        support::FinalizeAprsPatterns();
        fs::remove_all(FDir);
    }
    fs::path Settings(const std::string& text) {
        std::ofstream(FDir / "velloran.INI", std::ios::binary) << text;
        return FDir / "velloran.INI";
    }
    fs::path FDir;
};

/// Draws nothing, counts what would be drawn.
struct TCountingCanvas : app::IChannelCanvas {
    int rects = 0, lines = 0, texts = 0;
    std::vector<std::string> words;
    std::vector<app::TCanvasColour> fills;
    void FillRect(double, double, double, double, app::TCanvasColour colour) override {
        ++rects;
        fills.push_back(colour);
    }
    void Line(double, double, double, double, app::TCanvasColour) override { ++lines; }
    void Text(double, double, std::string_view text, app::TCanvasColour) override {
        ++texts;
        words.emplace_back(text);
    }
};

bool Same(app::TCanvasColour a, app::TCanvasColour b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

} // namespace

TEST_F(ChannelModel, TheChannelSectionOfTheSettingsFile) {
    const app::TChannelSettings none = app::ReadChannelSettings(Settings("[Settings]\nx=1\n"));
    EXPECT_FALSE(none.Tnc);
    EXPECT_EQ(none.TxDelayMs, 300);
    EXPECT_EQ(none.Problem, "");

    const app::TChannelSettings agw = app::ReadChannelSettings(
        Settings("[channel]\r\nTnc=agw://localhost:8000\r\nTxDelay=250\r\n"));
    ASSERT_TRUE(agw.Tnc);
    EXPECT_EQ(agw.Tnc->protocol, aprs::TTncProtocol::Agw);
    EXPECT_EQ(agw.Tnc->port, "8000");
    EXPECT_EQ(agw.TxDelayMs, 250);

    // Every key not taken is named, each with what it should be.
    const app::TChannelSettings bad = app::ReadChannelSettings(
        Settings("[Channel]\nTnc=localhost:8001\nTxDelay=-5\nDrawMeasured=2\n"));
    EXPECT_FALSE(bad.Tnc);
    for (const char* named :
         {"[Channel] Tnc=localhost:8001", "; DrawMeasured=2: 0 or 1",
          "; TxDelay=-5: not a number of milliseconds from 0 to 2000, 300 used"})
        EXPECT_NE(bad.Problem.find(named), std::string::npos) << bad.Problem;
    EXPECT_EQ(bad.TxDelayMs, 300);
    {
        // On a line of its own: the link's status does not take its place.
        const app::TChannelPicture said = app::TChannelModel(bad).Picture({}, {});
        EXPECT_EQ(said.Problem, bad.Problem);
        EXPECT_NE(said.Status.find("no TNC set"), std::string::npos) << said.Status;
    }
    const app::TChannelSettings delay =
        app::ReadChannelSettings(Settings("[Channel]\nTnc=kiss://localhost:8001\nTxDelay=soon\n"));
    EXPECT_TRUE(delay.Tnc);
    EXPECT_NE(delay.Problem.find("TxDelay=soon"), std::string::npos) << delay.Problem;
    const fs::path drawn = Settings("[Channel]\nDrawMeasured=yes\n");
    EXPECT_EQ(app::ReadChannelSettings(drawn).Problem, "[Channel] DrawMeasured=yes: 0 or 1");
    EXPECT_FALSE(app::ReadDrawMeasured(drawn));

    // Without a TNC nothing listens, and the window says how to set one.
    app::TChannelModel model(none);
    model.Start();
    const app::TChannelPicture picture = model.Picture({}, {});
    EXPECT_NE(picture.Status.find("Tnc=kiss://HOST:PORT"), std::string::npos) << picture.Status;
}

TEST_F(ChannelModel, ThePictureSetsTheMeasuredRadiusBesideTheEstimateAndDrawsTheTimeline) {
    double now = 1'800'000'000.0;
    app::TChannelSettings settings;
    settings.TxDelayMs = 0;
    app::TChannelModel model(settings, [&now] { return now; });
    const std::string position =
        aprs::EncodeAx25("CAR-9", "APRS", {"WIDE1-1"}, "=4230.00N/07100.00W>");
    const std::string copy = aprs::EncodeAx25("CAR-9", "APRS", {"DIGI*"}, "=4230.00N/07100.00W>");
    const std::string weather =
        aprs::EncodeAx25("WX1", "APRS", {}, "_10090556c220s004g005t077r000p000P000h50b09900");
    const std::string message = aprs::EncodeAx25("HAM", "APRS", {}, ":CAR-9    :hello{1");
    const double start = now;
    model.AddFrame(position); // 40 minutes ago: out of the window by the end
    now += 630;               // stations are counted in 30-second steps
    for (int i = 0; i < 3; ++i) {
        model.AddFrame(position);
        model.AddFrame(copy);
    }
    now += 870;
    model.AddFrame(weather);
    model.AddFrame(message);
    now = start + 2400;

    aloha::TRunState run;
    run.PacketTotal = 1900;
    run.RadiusKm = 47.5;
    const app::TChannelPicture picture = model.Picture({{"CAR-9", 5, 15}, {"WX1", 9, 6}}, run, 2);
    EXPECT_EQ(picture.MeasuredRadius, "Measured ALOHA radius: not reached (7 frames)");
    EXPECT_EQ(picture.EstimatedRadius, "Estimated ALOHA radius: 48 km");
    EXPECT_EQ(picture.Figures[0], "Frames heard: 8 of 1800 in 30 minutes");
    ASSERT_EQ(picture.Listed.size(), 2u);
    EXPECT_EQ(picture.Listed[0].Measured, 6u);
    EXPECT_EQ(picture.Unlisted, std::vector<std::string>{"HAM"});

    // The window starts 30 minutes before now, 10 minutes after the start:
    // the six frames of CAR-9 fall in its first minute, the others 15 later.
    const app::TChannelTimeline& timeline = picture.Timeline;
    EXPECT_GT(timeline.airtimePerMinute[0], 0.0);
    EXPECT_GT(timeline.airtimePerMinute[15], 0.0);
    EXPECT_EQ(timeline.airtimePerMinute[1], 0.0);
    ASSERT_EQ(timeline.talkers.size(), 2u); // the two most heard
    EXPECT_EQ(timeline.talkers[0].name, "CAR-9");
    EXPECT_EQ(timeline.talkers[0].frames, 6u);
    EXPECT_EQ(timeline.talkers[1].name, "HAM");
    EXPECT_EQ(timeline.talkers[1].transmissions[0].second, aprs::TFrameKind::Message);

    TCountingCanvas canvas;
    app::PaintChannelTimeline(canvas, 600, 300, timeline);
    int messages = 0, positions = 0;
    for (const app::TCanvasColour colour : canvas.fills) {
        messages += Same(colour, app::FrameKindColour(aprs::TFrameKind::Message)) ? 1 : 0;
        positions += Same(colour, app::FrameKindColour(aprs::TFrameKind::Position)) ? 1 : 0;
    }
    EXPECT_EQ(messages, 1 + 1);  // its mark and the legend's
    EXPECT_EQ(positions, 1 + 1); // CAR-9's six in one 30-second step, and the legend's
    EXPECT_NE(std::find(canvas.words.begin(), canvas.words.end(), "CAR-9"), canvas.words.end());
    EXPECT_NE(std::find(canvas.words.begin(), canvas.words.end(), "telemetry"), canvas.words.end());

    // A window too small for rows still paints its frame and legend, and
    // nothing strange comes of a tiny one.
    TCountingCanvas tiny;
    app::PaintChannelTimeline(tiny, 1, 1, timeline);
    EXPECT_GT(tiny.rects, 0);
}

// Configured in the settings file, the model listens to the TNC itself and
// the picture says so and counts what it hears.
TEST_F(ChannelModel, ListensToTheTncTheSettingsFileNames) {
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(server, 1), 0);
    socklen_t length = sizeof address;
    getsockname(server, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string port = std::to_string(ntohs(address.sin_port));

    app::TChannelModel model(app::ReadChannelSettings(
        Settings("[Channel]\nTnc=kiss://127.0.0.1:" + port + "\nTxDelay=100\n")));
    model.SetSilenceLimit(std::chrono::seconds(1));
    model.Start();
    const int client = accept(server, nullptr, nullptr);
    ASSERT_GE(client, 0);
    const std::string frame =
        aprs::KissEncode(aprs::EncodeAx25("N0ABC", "APRS", {}, "!4237.14N/07120.83W-home"));
    ASSERT_EQ(send(client, frame.data(), frame.size(), 0), static_cast<ssize_t>(frame.size()));
    app::TChannelPicture picture;
    for (int i = 0; i < 1000; ++i) {
        picture = model.Picture({{"N0ABC", 4, 2}}, {});
        if (!picture.Listed.empty())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(picture.Status.starts_with("connected to kiss://127.0.0.1:" + port))
        << picture.Status;
    ASSERT_EQ(picture.Listed.size(), 1u);
    EXPECT_EQ(picture.Listed[0].Measured, 1u);
    EXPECT_NE(picture.Figures[1].find("TX delay 100 ms"), std::string::npos) << picture.Figures[1];

    // Then the TNC falls silent, and the window's status line says so.
    const std::string silent = "connected to kiss://127.0.0.1:" + port + ", nothing heard for ";
    for (int i = 0; i < 1000 && !picture.Status.starts_with(silent); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        picture = model.Picture({{"N0ABC", 4, 2}}, {});
    }
    EXPECT_TRUE(picture.Status.starts_with(silent)) << picture.Status;
    model.Stop();
    close(client);
    close(server);
}

// A flood: millions of frames in the window. The counts are exact, and what
// the model keeps (the window it would save) does not grow with the frames.
TEST_F(ChannelModel, AFloodOfFramesIsCountedWithoutKeepingTheFrames) {
    double now = 1'800'000'010.0;
    app::TChannelSettings settings;
    settings.TxDelayMs = 0;
    app::TChannelModel model(settings, [&now] { return now; });
    std::vector<std::string> frames;
    for (int i = 0; i < 50; ++i)
        frames.push_back(aprs::EncodeAx25("N" + std::to_string(i) + "AB", "APRS", {"WIDE1-1"},
                                          i % 2 ? "=4230.00N/07100.00W>" : ">status"));
    const auto feed = [&](std::int64_t count, double seconds) {
        const double start = now;
        for (std::int64_t i = 0; i < count; ++i) {
            now = start + seconds * static_cast<double>(i) / static_cast<double>(count);
            model.AddFrame(frames[static_cast<std::size_t>(i % 50)]);
        }
        now = start + seconds;
    };
    const auto kept = [&] {
        model.SaveWindow(FDir / "window.txt");
        return fs::file_size(FDir / "window.txt");
    };
    feed(20'000, 1800);
    const std::uintmax_t few = kept();
    now += 1800;           // those leave the window
    feed(2'000'000, 1500); // all in the window at the end
    const std::uintmax_t many = kept();
    // Only the counts' digits grow.
    EXPECT_LT(many, 2 * few) << few << " bytes after 20,000 frames, " << many << " after more";

    const app::TChannelPicture picture = model.Picture({{"N1AB", 3, 2}}, {}, 50);
    EXPECT_EQ(picture.Figures[0], "Frames heard: 2000000 of 1800 in 30 minutes");
    ASSERT_EQ(picture.Listed.size(), 1u);
    EXPECT_EQ(picture.Listed[0].Measured, 40'000u);
    ASSERT_EQ(picture.Timeline.talkers.size(), 50u);
    // A mark per 30-second step with frames: the window's last 25 minutes.
    const auto& marks = picture.Timeline.talkers[0].transmissions;
    EXPECT_GE(marks.size(), 50u);
    EXPECT_LE(marks.size(), 51u);
    double airtime = 0;
    for (const double minute : picture.Timeline.airtimePerMinute)
        airtime += minute;
    EXPECT_GT(airtime, 1800.0); // far more than one channel carries
}

// The window kept at the end of a run is there again at the next start; a
// kept window that cannot be trusted is left aside and said.
TEST_F(ChannelModel, TheMeasuredWindowSurvivesARestart) {
    double now = 1'800'000'000.0;
    app::TChannelSettings settings;
    const std::string position =
        aprs::EncodeAx25("CAR-9", "APRS", {"WIDE1-1"}, "=4230.00N/07100.00W>");
    const fs::path file = FDir / app::kChannelWindowFile;
    {
        app::TChannelModel model(settings, [&now] { return now; });
        for (int i = 0; i < 5; ++i) {
            model.AddFrame(position);
            now += 60;
        }
        model.SaveWindow(file);
    }
    const app::TChannelPicture before =
        app::TChannelModel(settings, [&now] { return now; }).Picture({{"CAR-9", 5, 15}}, {});
    const auto restored = [&](double at) {
        now = at;
        app::TChannelModel model(settings, [&now] { return now; });
        model.RestoreWindow(file);
        return model.Picture({{"CAR-9", 5, 15}}, {});
    };
    const double saved = now;
    app::TChannelPicture after = restored(saved + 120);
    EXPECT_EQ(after.Problem, "");
    ASSERT_EQ(after.Listed.size(), 1u);
    EXPECT_EQ(after.Listed[0].Measured, 5u);
    EXPECT_EQ(after.Figures[0], "Frames heard: 5 of 1800 in 30 minutes");
    EXPECT_TRUE(before.Listed.empty());
    ASSERT_EQ(after.Timeline.talkers.size(), 1u);
    EXPECT_EQ(after.Timeline.talkers[0].transmissions.size(), 5u);

    const std::string good = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    struct TCase {
        const char* what;
        std::string text;
        double at;
        const char* said;
    };
    const TCase cases[] = {
        {"old", good, saved + 1800, "older than 30 minutes"},
        {"ahead", good, saved - 3600, "ahead of this machine's clock"},
        {"cut short", good.substr(0, good.size() - 10), saved, "damaged"},
        {"not ours", "[Settings]\r\nx=1\r\n", saved, "damaged"},
        {"a count too big", std::string(good).replace(good.find("seconds "), 9, "seconds 9"), saved,
         "damaged"},
        {"too large", std::string(17u << 20, 'x'), saved, "larger than a kept window can be"},
    };
    for (const TCase& c : cases) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << c.text;
        after = restored(c.at);
        EXPECT_NE(after.Problem.find(c.said), std::string::npos) << c.what << ": " << after.Problem;
        EXPECT_NE(after.Problem.find(file.string()), std::string::npos) << c.what;
        EXPECT_EQ(after.Figures[0], "Frames heard: 0 of 1800 in 30 minutes") << c.what;
    }
    fs::remove(file);
    EXPECT_EQ(restored(saved).Problem, ""); // none kept yet: nothing to say
}

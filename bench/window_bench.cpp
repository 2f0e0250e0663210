// The window's report panes under a long run: appending a line and letting
// the event loop run after each one, as a run does. A plain QPlainTextEdit is
// measured beside the pane the window uses; then a whole run through the
// window.
#include "app/qt/MainForm.h"
#include "app/qt/ReportPane.h"
#include "bench/BenchScenarios.h"
#include "standin/model/StandinHost.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>

#include <random>

namespace {

constexpr int kLines = 20000;

QString LineText(int i) {
    return QStringLiteral("  Moving. Adding 15 packets to running total - new total is: ") +
           QString::number(i * 15);
}

void NaivePane(benchmark::State& state) {
    for (auto _ : state) {
        QPlainTextEdit pane;
        pane.setReadOnly(true);
        pane.resize(500, 350);
        pane.show();
        QCoreApplication::processEvents();
        for (int i = 0; i < kLines; ++i) {
            pane.appendPlainText(LineText(i));
            QCoreApplication::processEvents();
        }
        if (pane.blockCount() != kLines)
            state.SkipWithError("lines lost");
    }
    state.counters["lines_per_s"] =
        benchmark::Counter(kLines, benchmark::Counter::kIsIterationInvariantRate);
}

void ReportPane(benchmark::State& state) {
    for (auto _ : state) {
        app::TReportPane pane;
        pane.resize(500, 350);
        pane.show();
        QCoreApplication::processEvents();
        for (int i = 0; i < kLines; ++i) {
            pane.AppendLine(LineText(i));
            QCoreApplication::processEvents();
        }
        if (pane.LineCount() != kLines)
            state.SkipWithError("lines lost");
    }
    state.counters["lines_per_s"] =
        benchmark::Counter(kLines, benchmark::Counter::kIsIterationInvariantRate);
}

/// A whole run through the window, its panes shown, with a threshold high
/// enough that every station is counted and reported.
void WindowRun(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    auto host = std::make_shared<standin::TStandinHost>(BenchScenario(count));
    app::TMainFormSetup setup;
    setup.Connector = std::make_shared<standin::TEmbeddedConnector>(host);
    setup.SettingsFile = "/nonexistent/velloran-bench.INI";
    app::TMainForm form(std::move(setup));
    form.Calculation.State.PacketDensity = 1000000;
    form.Calculation.ReadOwnStation();
    form.PageControl1->setCurrentWidget(form.TabSheet4); // the busiest pane in view
    form.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        form.Model.btnCalculateClick();
        benchmark::DoNotOptimize(form.Calculation.State.PacketTotal);
    }
    state.counters["detail_lines"] = form.Memo4->LineCount();
    form.Memo1->Clear();
}

} // namespace

BENCHMARK(NaivePane)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ReportPane)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(WindowRun)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velloran"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#pragma once

// A view of the main window that records what the model tells it, with a
// timer and a tray that do nothing of their own: the model's tests drive
// them by hand.
#include "app/model/FormModel.h"

#include <array>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class TFakeTimer : public app::TWindowTimer {
public:
    TFakeTimer() : app::TWindowTimer(1000, false) {}
    void Fire() {
        if (OnTimer)
            OnTimer();
    }

protected:
    void Restart(bool) override {}
};

class TFakeTray : public app::TTrayShell {
public:
    std::vector<std::pair<std::uint32_t, std::string>> Calls;
    bool Shown = true;
    bool IconShown() const override { return Shown; }
    bool Shell_NotifyIconA(std::uint32_t message, const app::TNotifyIconData& data) override {
        Calls.emplace_back(message, data.szTip);
        return true;
    }
};

/// A view with the designed Options values that records the model's calls.
class TFakeView : public app::IFormView {
public:
    std::map<app::TOption, bool> Checks{{app::TOption::cbMinimizeToTray, true},
                                        {app::TOption::cbShowALOHARadius, true},
                                        {app::TOption::rbDrawCircle, true},
                                        {app::TOption::rbDrawEllispe, false},
                                        {app::TOption::cbUseInternet, false}};
    std::map<app::TOption, std::string> Texts{{app::TOption::edRecalculateRate, "30"},
                                              {app::TOption::edPacketDensity, "1800"}};
    std::array<std::vector<std::string>, 3> Panes;
    std::string Caption = "Velloran";
    std::string Status;
    bool DebugShown = false;
    bool CalculateEnabled = true;
    bool OnTaskbar = true;
    int Restores = 0, Popups = 0, Terminations = 0, DeferredRuns = 0;
    std::vector<std::string> Errors;
    std::function<void()> WhileErrorShown;
    int Runs = 0; ///< each run clears the summary pane first

    bool Checked(app::TOption control) const override { return Checks.at(control); }
    void SetChecked(app::TOption control, bool checked) override { Checks[control] = checked; }
    /// What a toolkit does when the user clicks a shape button: it is checked
    /// and the other cleared, then the model hears of the click.
    void ClickShape(app::TFormModel& model, app::TOption shape) {
        Checks[app::TOption::rbDrawCircle] = shape == app::TOption::rbDrawCircle;
        Checks[app::TOption::rbDrawEllispe] = shape == app::TOption::rbDrawEllispe;
        model.ShapeClicked(shape);
    }
    std::string Text(app::TOption control) const override { return Texts.at(control); }
    void SetText(app::TOption control, const std::string& text) override { Texts[control] = text; }
    void AppendLine(app::TPane pane, const std::string& line) override {
        Panes[static_cast<std::size_t>(pane)].push_back(line);
    }
    void ClearPane(app::TPane pane) override {
        Runs += pane == app::TPane::Summary;
        Panes[static_cast<std::size_t>(pane)].clear();
    }
    void SetCaption(const std::string& caption) override { Caption = caption; }
    void SetStatusText(const std::string& text) override { Status = text; }
    void ShowFirstPage() override {}
    void ShowDebugOptions() override { DebugShown = true; }
    void SetCalculateEnabled(bool enabled) override { CalculateEnabled = enabled; }
    std::function<void()> OnProcessMessages;
    void ProcessMessages() override {
        if (OnProcessMessages)
            OnProcessMessages();
    }
    void PostDeferredRun() override { ++DeferredRuns; }
    void ShowErrorBox(const std::string& caption, const std::string& message) override {
        Errors.push_back(caption + ": " + message);
        if (WhileErrorShown)
            WhileErrorShown();
    }
    void RequestTermination() override { ++Terminations; }
    void SetTaskbarEntryVisible(bool visible) override { OnTaskbar = visible; }
    void RestoreWindow() override { ++Restores; }
    void PopupTrayMenu() override { ++Popups; }

    app::TWindowPlacement GetPlacement() const override { return Placement; }
    void SetPlacement(const app::TWindowPlacement& placement) override { Placement = placement; }
    void SetStartState(std::int32_t) override {}
    bool ApplicationMinimized() const override { return false; }
    std::int32_t PixelsPerInch() const override { return 96; }
    app::TWindowPlacement Placement{0, app::kSwShowNormal, {235, 174, 762, 640}};

    bool SummaryHas(const std::string& text) const {
        for (const std::string& line : Panes[0])
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }
};

} // namespace testsupport

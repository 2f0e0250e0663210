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
    std::map<app::EOption, bool> Checks{{app::EOption::cbMinimizeToTray, true},
                                        {app::EOption::cbShowALOHARadius, true},
                                        {app::EOption::rbDrawCircle, true},
                                        {app::EOption::rbDrawEllispe, false},
                                        {app::EOption::cbUseInternet, false}};
    std::map<app::EOption, std::string> Texts{{app::EOption::edRecalculateRate, "30"},
                                              {app::EOption::edPacketDensity, "1800"}};
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

    bool Checked(app::EOption control) const override { return Checks.at(control); }
    void SetChecked(app::EOption control, bool checked) override { Checks[control] = checked; }
    /// What a toolkit does when the user clicks a shape button: it is checked
    /// and the other cleared, then the model hears of the click.
    void ClickShape(app::TFormModel& model, app::EOption shape) {
        Checks[app::EOption::rbDrawCircle] = shape == app::EOption::rbDrawCircle;
        Checks[app::EOption::rbDrawEllispe] = shape == app::EOption::rbDrawEllispe;
        model.ShapeClicked(shape);
    }
    std::string Text(app::EOption control) const override { return Texts.at(control); }
    void SetText(app::EOption control, const std::string& text) override { Texts[control] = text; }
    void AppendLine(app::EPane pane, const std::string& line) override {
        Panes[static_cast<std::size_t>(pane)].push_back(line);
    }
    void ClearPane(app::EPane pane) override {
        Runs += pane == app::EPane::Summary;
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
    app::TWindowPlacement Placement{0, app::SW_SHOWNORMAL, {235, 174, 762, 640}};

    bool SummaryHas(const std::string& text) const {
        for (const std::string& line : Panes[0])
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }
};

} // namespace testsupport

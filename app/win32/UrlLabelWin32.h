#pragma once

#include "support/LinkLabelLogic.h"

#include <windows.h>

#include <functional>
#include <string>

/// The link labels of the Win32 window.
namespace app::win32 {

/// The window class name of the link labels.
inline constexpr const wchar_t* kLinkLabelClass = L"TVelloranLinkLabel";

/// A text label that behaves like a link in a web page, sized to its caption,
/// underlined as its font says, with the hand cursor. The colours are those of
/// a support::TLinkState, which the label feeds with the mouse: any button
/// down presses it (the mouse is captured so that the release is seen off the
/// label too), entering and leaving make it hot and rest it, and a release
/// inside (the right and bottom edge included) completes a click, which opens
/// URL, or the caption when URL is empty.
class TUrlLabelWin32 {
public:
    /// Opens a link target; the default asks the shell to open it.
    using TOpener = std::function<void(const std::string& target)>;

    /// Creates the label as a child of parent with the given id. The shell
    /// request of a click names owner, the window of the form that holds the
    /// label.
    /// The caption is UTF-8.
    TUrlLabelWin32(HWND parent, HWND owner, const std::string& caption, int id, int left, int top);
    virtual ~TUrlLabelWin32();
    TUrlLabelWin32(const TUrlLabelWin32&) = delete;
    TUrlLabelWin32& operator=(const TUrlLabelWin32&) = delete;

    HWND Handle() const { return FWindow; }
    /// The colours and the visited, pressed and hot flags.
    support::TLinkState& State() { return FState; }
    const support::TLinkState& State() const { return FState; }
    const std::string& URL() const { return FURL; }
    void SetURL(std::string url) { FURL = std::move(url); }
    /// Replaces the way targets are opened (tests record them instead).
    void SetOpener(TOpener opener);

protected:
    /// Called on every mouse button release, before the release is judged.
    virtual void Released() {}

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HDC dc) const;
    void FitToCaption();
    void TrackLeave();
    void ButtonDown();
    void ButtonUp(LPARAM at);
    void MouseMove(LPARAM at);

    HWND FOwner;
    HWND FWindow = nullptr;
    HFONT FFont = nullptr;
    std::string FURL;
    support::TLinkState FState;
    TOpener FOpener;
};

/// The donation link: its URL is the donation address, rebuilt from Email,
/// Company and Product on every mouse button release.
class TPayPalLabelWin32 : public TUrlLabelWin32 {
public:
    using TUrlLabelWin32::TUrlLabelWin32;

    void SetCompany(std::string company) { FCompany = std::move(company); }
    void SetProduct(std::string product) { FProduct = std::move(product); }
    void SetEmail(std::string email) { FEmail = std::move(email); }

protected:
    void Released() override { SetURL(support::DonationUrl(FEmail, FCompany, FProduct)); }

private:
    std::string FProduct;
    std::string FCompany;
    std::string FEmail;
};

} // namespace app::win32

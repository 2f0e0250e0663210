#pragma once

#include <QLabel>
#include <QString>

#include <functional>

#include "support/LinkLabelLogic.h"

class QEnterEvent;
class QEvent;
class QMouseEvent;

namespace support {

/// A text label that behaves like a link in a web page: blue and underlined at
/// rest, red while the mouse is over it or a button is held on it, navy once
/// visited. A click (press and release on the label, any button) opens URL,
/// or the caption when URL is empty, with the desktop's URL opener.
///
/// Colours are 0x00BBGGRR values. The colour logic lives in TLinkState; this
/// widget feeds it Qt's mouse, font and palette notifications and shows its
/// font colour as the label's text colour.
class TUrlLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString URL READ URL WRITE SetURL)
    Q_PROPERTY(quint32 LinkColor READ LinkColor WRITE SetLinkColor)
    Q_PROPERTY(quint32 ALinkColor READ ALinkColor WRITE SetALinkColor)
    Q_PROPERTY(quint32 VLinkColor READ VLinkColor WRITE SetVLinkColor)
    Q_PROPERTY(quint32 HotColor READ HotColor WRITE SetHotColor)

public:
    /// Opens a link target; the default hands it to QDesktopServices::openUrl.
    using TUrlOpener = std::function<void(const QString& target)>;

    explicit TUrlLabel(QWidget* parent = nullptr);
    TUrlLabel(const QString& caption, QWidget* parent);

    QString URL() const { return FUrl; }
    void SetURL(const QString& url) { FUrl = url; }
    TColor LinkColor() const { return FState.LinkColor(); }
    /// See TLinkState::SetLinkColor.
    void SetLinkColor(TColor color) { FState.SetLinkColor(color); }
    TColor ALinkColor() const { return FState.ALinkColor(); }
    void SetALinkColor(TColor color) { FState.SetALinkColor(color); }
    TColor VLinkColor() const { return FState.VLinkColor(); }
    /// See TLinkState::SetVLinkColor.
    void SetVLinkColor(TColor color) { FState.SetVLinkColor(color); }
    TColor HotColor() const { return FState.HotColor(); }
    void SetHotColor(TColor color) { FState.SetHotColor(color); }

    bool Visited() const { return FState.Visited(); }
    bool Pressed() const { return FState.Pressed(); }
    bool Hot() const { return FState.Hot(); }

    /// The text colour shown now.
    TColor FontColor() const { return FState.FontColor(); }
    /// Gives the text a colour, as a form's font settings do.
    void SetFontColor(TColor color) { FState.SetFontColor(color); }

    /// Replaces the way targets are opened (tests record them instead).
    void SetUrlOpener(TUrlOpener opener);

    /// The desktop's opener: the target as a web address, file or the like.
    static void OpenWithDesktop(const QString& target);

protected:
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void ApplyColor(TColor color);

    QString FUrl;
    TLinkState FState;
    TUrlOpener FOpener;
    bool FApplyingColor = false;
};

/// QColor-free conversion of a label's text colour: 0x00BBGGRR from r, g, b.
constexpr TColor ColorFromRgb(int r, int g, int b) {
    return static_cast<TColor>(r & 0xFF) | (static_cast<TColor>(g & 0xFF) << 8) |
           (static_cast<TColor>(b & 0xFF) << 16);
}

} // namespace support

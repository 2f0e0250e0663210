#include "support/qt/URLLabel.h"

#include <QDesktopServices>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QUrl>

#include <cmath>

namespace support {

TUrlLabel::TUrlLabel(QWidget* parent) : TUrlLabel(QString(), parent) {}

TUrlLabel::TUrlLabel(const QString& caption, QWidget* parent)
    : QLabel(caption, parent), FOpener(&TUrlLabel::OpenWithDesktop) {
    FState.SetColorSink([this](TColor color) { ApplyColor(color); });
    // Colour first, then the underline: the font change then records the
    // link colour, not the toolkit's default text colour.
    FState.SetFontColor(FState.LinkColor());
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
}

void TUrlLabel::SetUrlOpener(TUrlOpener opener) {
    FOpener = opener ? std::move(opener) : TUrlOpener(&TUrlLabel::OpenWithDesktop);
}

void TUrlLabel::OpenWithDesktop(const QString& target) {
    // The desktop reports no failure that the label could act on.
    QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

void TUrlLabel::ApplyColor(TColor color) {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText,
                     QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
    FApplyingColor = true;
    setPalette(colours);
    FApplyingColor = false;
}

void TUrlLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    // A colour or font given from outside: the state machine decides whether
    // it becomes the link colour of the current state.
    if (!FApplyingColor &&
        (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange)) {
        const QColor shown = palette().color(QPalette::WindowText);
        FState.FontColorChanged(ColorFromRgb(shown.red(), shown.green(), shown.blue()));
    }
}

void TUrlLabel::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    // Accepting keeps the release with this label rather than its parent.
    event->accept();
    FState.MouseDown();
}

void TUrlLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    event->accept();
    const QPointF at = event->position();
    const bool click = FState.MouseUp(static_cast<int>(std::floor(at.x())),
                                      static_cast<int>(std::floor(at.y())), width(), height());
    if (click) {
        FOpener(FUrl.isEmpty() ? text() : FUrl);
    }
}

void TUrlLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    FState.MouseEnter();
}

void TUrlLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    FState.MouseLeave();
}

} // namespace support

#include "app/qt/ReportPane.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace app {

namespace {

/// Splits a line into rows of at most columns characters, breaking after the
/// last blank that fits, or inside a word that is longer than a row. Calls
/// row(start, length) for each row and returns the number of rows.
template <class RowFn> int WrapLine(const QString& line, int columns, RowFn&& row) {
    const int length = static_cast<int>(line.size());
    if (columns < 1)
        columns = 1;
    int pos = 0, rows = 0;
    while (length - pos > columns) {
        int cut = -1;
        for (int i = pos + columns; i > pos; --i)
            if (line[i] == u' ') {
                cut = i;
                break;
            }
        const int end = cut > pos ? cut + 1 : pos + columns;
        row(pos, std::min(end, length) - pos);
        pos = end;
        ++rows;
    }
    row(pos, length - pos);
    return rows + 1;
}

QFont PaneFont() {
    // "Courier New" where the system has it, else its own fixed-pitch font,
    // both at 12 pixels.
    QFont font;
    if (QFontDatabase::hasFamily(QStringLiteral("Courier New")))
        font = QFont(QStringLiteral("Courier New"));
    else
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(12);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

} // namespace

TReportPane::TReportPane(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(PaneFont());
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setBackgroundRole(QPalette::Button);
    viewport()->setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    const QFontMetrics metrics(font());
    FLineHeight = std::max(1, metrics.lineSpacing());
    FCharWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
    FFrameTimer.setSingleShot(true);
    connect(&FFrameTimer, &QTimer::timeout, this, [this] { Frame(); });
}

int TReportPane::RowsOf(const QString& line) const {
    if (line.size() <= FColumns)
        return 1;
    return WrapLine(line, FColumns, [](int, int) {});
}

void TReportPane::AppendLine(const QString& line) {
    FLines.push_back(line);
    FRowEnd.push_back(TotalRows() + RowsOf(line));
    FScrollDirty = true;
    RequestFrame();
}

void TReportPane::Clear() {
    FLines.clear();
    FRowEnd.clear();
    FFollowEnd = true;
    FScrollDirty = true;
    RequestFrame();
}

void TReportPane::SetText(const QString& text) {
    Clear();
    for (const QString& line : text.split(QLatin1Char('\n')))
        AppendLine(line);
    FFollowEnd = false;
    FScrollDirty = true;
    verticalScrollBar()->setValue(0);
}

QString TReportPane::Text() const {
    QString text;
    for (std::size_t i = 0; i < FLines.size(); ++i) {
        if (i > 0)
            text += QLatin1Char('\n');
        text += FLines[i];
    }
    return text;
}

void TReportPane::RequestFrame() {
    if (!isVisible())
        return;
    if (!FSincePaint.isValid() || FSincePaint.elapsed() >= kFrameMs) {
        Frame();
    } else if (!FFrameTimer.isActive()) {
        FFrameTimer.start(static_cast<int>(kFrameMs - FSincePaint.elapsed()));
    }
}

void TReportPane::Frame() {
    SyncScrollBar();
    viewport()->update();
    FSincePaint.start();
}

void TReportPane::SyncScrollBar() {
    if (!FScrollDirty)
        return;
    FScrollDirty = false;
    FSyncing = true;
    QScrollBar* bar = verticalScrollBar();
    const int visible = std::max(1, viewport()->height() / FLineHeight);
    const int maximum = std::max(0, TotalRows() - visible);
    const bool follow = FFollowEnd;
    bar->setPageStep(visible);
    bar->setSingleStep(1);
    bar->setRange(0, maximum);
    if (follow)
        bar->setValue(maximum);
    FFollowEnd = follow;
    FSyncing = false;
}

void TReportPane::Rewrap() {
    const int columns = std::max(1, (viewport()->width() - 4) / FCharWidth);
    if (columns == FColumns)
        return;
    // Keep the line at the top of the view in view.
    const int topRow = verticalScrollBar()->value();
    const auto topLine = std::upper_bound(FRowEnd.begin(), FRowEnd.end(), topRow) - FRowEnd.begin();
    FColumns = columns;
    int total = 0;
    for (std::size_t i = 0; i < FLines.size(); ++i) {
        total += RowsOf(FLines[i]);
        FRowEnd[i] = total;
    }
    FScrollDirty = true;
    SyncScrollBar();
    if (!FFollowEnd && topLine > 0)
        verticalScrollBar()->setValue(FRowEnd[static_cast<std::size_t>(topLine) - 1]);
}

void TReportPane::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    Rewrap();
    FScrollDirty = true;
    SyncScrollBar();
}

void TReportPane::showEvent(QShowEvent* event) {
    QAbstractScrollArea::showEvent(event);
    Rewrap();
    FScrollDirty = true;
    SyncScrollBar();
}

void TReportPane::scrollContentsBy(int, int) {
    const QScrollBar* bar = verticalScrollBar();
    FFollowEnd = bar->value() >= bar->maximum();
    // A move by the frame's own update is painted by that frame.
    if (!FSyncing)
        viewport()->update();
}

void TReportPane::paintEvent(QPaintEvent*) {
    // The scroll bar is brought up to date by the frame, not here: changing it
    // from a paint would ask for another paint, and so on after every line.
    FSincePaint.start();
    QPainter painter(viewport());
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::ButtonText));
    const int firstRow = verticalScrollBar()->value();
    const int rowsShown = viewport()->height() / FLineHeight + 1;
    const QFontMetrics metrics(font());
    const int ascent = metrics.ascent();

    std::size_t line = static_cast<std::size_t>(
        std::upper_bound(FRowEnd.begin(), FRowEnd.end(), firstRow) - FRowEnd.begin());
    int row = line == 0 ? 0 : FRowEnd[line - 1];
    for (; line < FLines.size() && row < firstRow + rowsShown; ++line) {
        WrapLine(FLines[line], FColumns, [&](int start, int length) {
            if (row >= firstRow && row < firstRow + rowsShown)
                painter.drawText(2, (row - firstRow) * FLineHeight + ascent,
                                 FLines[line].mid(start, length));
            ++row;
        });
    }
}

void TReportPane::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll)) {
        QApplication::clipboard()->setText(Text());
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void TReportPane::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(tr("Copy All"), this, [this] { QApplication::clipboard()->setText(Text()); });
    menu.exec(event->globalPos());
}

} // namespace app

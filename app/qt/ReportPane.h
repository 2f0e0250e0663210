#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <vector>

/// The read-only text panes of the main window.
namespace app {

/// A read-only, word-wrapped pane of text lines in a fixed-pitch font, with a
/// vertical scroll bar and the window's face colour as background.
///
/// Built for a log that grows one line at a time while the event loop runs
/// after every line: an append only stores the line, and the pane is painted
/// at most once per frame (a line is on screen within one frame). While the
/// view is at the end it follows new lines. Ctrl+A and Ctrl+C, and the context
/// menu, copy the whole text.
class TReportPane : public QAbstractScrollArea {
public:
    explicit TReportPane(QWidget* parent = nullptr);

    /// Appends one line as the new last line.
    void AppendLine(const QString& line);
    /// Removes all lines.
    void Clear();
    /// Replaces the contents with the lines of the text.
    void SetText(const QString& text);

    int LineCount() const { return static_cast<int>(FLines.size()); }
    const QString& Line(int index) const { return FLines[static_cast<std::size_t>(index)]; }
    /// All lines joined with line feeds.
    QString Text() const;

    /// The interval between two paints while lines keep coming, in ms.
    static constexpr int kFrameMs = 16;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    int RowsOf(const QString& line) const;
    void Rewrap();
    void SyncScrollBar();
    void RequestFrame();
    void Frame();
    int TotalRows() const { return FRowEnd.empty() ? 0 : FRowEnd.back(); }

    std::vector<QString> FLines;
    std::vector<int> FRowEnd; // rows of lines 0..i together
    int FColumns = 80;
    int FLineHeight = 14;
    int FCharWidth = 7;
    bool FFollowEnd = true;
    bool FScrollDirty = false;
    bool FSyncing = false;
    QElapsedTimer FSincePaint;
    QTimer FFrameTimer;
};

} // namespace app

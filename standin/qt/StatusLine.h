#pragma once

#include <QLabel>

namespace standin {

/// The host window's status line: what the host serves, and what the map
/// shows, in one line that is cut with "…" at the window's edge instead of
/// running past it (the whole text is its tool tip).
class TStatusLine : public QLabel {
public:
    explicit TStatusLine(QWidget* parent = nullptr);

    void SetSource(const QString& text);
    void SetMap(const QString& text);
    /// Both parts, joined.
    QString FullText() const;

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Refresh();
    QString FSource, FMap;
};

} // namespace standin

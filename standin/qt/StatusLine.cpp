#include "standin/qt/StatusLine.h"

#include <QResizeEvent>

namespace standin {

TStatusLine::TStatusLine(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void TStatusLine::SetSource(const QString& text) {
    FSource = text;
    Refresh();
}

void TStatusLine::SetMap(const QString& text) {
    FMap = text;
    Refresh();
}

QString TStatusLine::FullText() const {
    if (FSource.isEmpty() || FMap.isEmpty())
        return FSource + FMap;
    return FSource + QStringLiteral(" · ") + FMap;
}

QSize TStatusLine::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

void TStatusLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Refresh();
}

void TStatusLine::Refresh() {
    const QString full = FullText();
    setText(fontMetrics().elidedText(full, Qt::ElideRight, contentsRect().width()));
    setToolTip(full);
}

} // namespace standin

#include "app/qt/ChannelWindow.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace app {

namespace {

QColor ToQt(TCanvasColour colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

/// Paints with a painter, measures in the widget's font; without a painter
/// it only measures.
class TQtChannelCanvas : public IChannelCanvas {
public:
    TQtChannelCanvas(const QFont& font, QPainter* painter) : FMetrics(font), FPainter(painter) {}
    void FillRect(double x, double y, double width, double height, TCanvasColour colour) override {
        if (FPainter)
            FPainter->fillRect(QRectF(x, y, width, height), ToQt(colour));
    }
    void Line(double x1, double y1, double x2, double y2, TCanvasColour colour) override {
        if (!FPainter)
            return;
        FPainter->setPen(ToQt(colour));
        FPainter->drawLine(QPointF(x1, y1), QPointF(x2, y2));
    }
    void Text(double x, double y, std::string_view text, TCanvasColour colour) override {
        if (!FPainter)
            return;
        FPainter->setPen(ToQt(colour));
        FPainter->drawText(QPointF(x, y), FromUtf8(text));
    }
    double TextWidth(std::string_view text) override {
        return FMetrics.horizontalAdvance(FromUtf8(text));
    }
    double LineHeight() override { return std::ceil(FMetrics.height() * 1.15); }

private:
    static QString FromUtf8(std::string_view text) {
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    QFontMetricsF FMetrics;
    QPainter* FPainter;
};

/// Talker rows the timeline is made tall enough for.
constexpr std::size_t kTimelineRows = 10;
/// Station rows the table shows when the window opens, where the screen allows.
constexpr int kTableRows = 15;

} // namespace

TTimelineWidget::TTimelineWidget(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize TTimelineWidget::minimumSizeHint() const {
    TQtChannelCanvas canvas(font(), nullptr);
    const double width = std::max(480.0, static_cast<double>(this->width()));
    return QSize(static_cast<int>(canvas.TextWidth("telemetry") * 8),
                 static_cast<int>(std::ceil(ChannelTimelineHeight(canvas, width, 3))));
}

QSize TTimelineWidget::sizeHint() const {
    TQtChannelCanvas canvas(font(), nullptr);
    const double width = std::max(60.0 * canvas.LineHeight(), 480.0);
    return QSize(static_cast<int>(width),
                 static_cast<int>(std::ceil(ChannelTimelineHeight(canvas, width, kTimelineRows))));
}

void TTimelineWidget::SetTimeline(TChannelTimeline timeline) {
    FTimeline = std::move(timeline);
    update();
}

void TTimelineWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TQtChannelCanvas canvas(font(), &painter);
    PaintChannelTimeline(canvas, width(), height(), FTimeline);
}

TChannelWindow::TChannelWindow(std::function<TChannelPicture()> picture, QWidget* parent)
    : QDialog(parent), FPicture(std::move(picture)) {
    setWindowTitle(QStringLiteral("Channel"));
    auto* layout = new QVBoxLayout(this);
    FStatus = new QLabel(this);
    FProblem = new QLabel(this);
    FProblem->setObjectName(QStringLiteral("problem"));
    FProblem->setWordWrap(true);
    FProblem->setStyleSheet(QStringLiteral("color: #B00000"));
    FEstimated = new QLabel(this);
    FMeasured = new QLabel(this);
    FFigures = new QLabel(this);
    FTable = new QTableWidget(0, 4, this);
    FTable->setHorizontalHeaderLabels({QStringLiteral("Call"), QStringLiteral("km"),
                                       QStringLiteral("Estimated"), QStringLiteral("Measured")});
    FTable->verticalHeader()->hide();
    FTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Columns as wide as their words; the call's takes what is left.
    FTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    FTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    FTable->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    FUnlisted = new QLabel(this);
    FUnlisted->setWordWrap(true);
    FTimeline = new TTimelineWidget(this);
    // The table and the timeline share the height; the splitter between
    // them moves it.
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName(QStringLiteral("height"));
    auto* listed = new QWidget(split);
    auto* listedLayout = new QVBoxLayout(listed);
    listedLayout->setContentsMargins(0, 0, 0, 0);
    listedLayout->addWidget(FTable);
    listedLayout->addWidget(FUnlisted);
    split->addWidget(listed);
    split->addWidget(FTimeline);
    split->setChildrenCollapsible(false);
    // The path beside them, in a fixed-pitch font so that its table of
    // stations from beyond the radius keeps its columns.
    auto* beside = new QSplitter(Qt::Horizontal, this);
    beside->addWidget(split);
    FPath = new QPlainTextEdit(beside);
    FPath->setObjectName(QStringLiteral("path"));
    FPath->setReadOnly(true);
    FPath->setLineWrapMode(QPlainTextEdit::NoWrap);
    FPath->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    FPath->setMinimumWidth(
        QFontMetrics(FPath->font()).horizontalAdvance(QString(40, QLatin1Char('M'))));
    beside->addWidget(FPath);
    beside->setChildrenCollapsible(false);
    beside->setStretchFactor(0, 1);
    for (QWidget* widget : {static_cast<QWidget*>(FStatus), static_cast<QWidget*>(FProblem),
                            static_cast<QWidget*>(FEstimated), static_cast<QWidget*>(FMeasured),
                            static_cast<QWidget*>(FFigures)})
        layout->addWidget(widget);
    layout->addWidget(beside, 1);
    FTimer = new QTimer(this);
    FTimer->setInterval(2000);
    connect(FTimer, &QTimer::timeout, this, [this] { Refresh(); });
    FTimer->start();
    Refresh();
    FitToScreen();
}

void TChannelWindow::FitToScreen() {
    // 15 rows of the table, the timeline's rows and its whole legend, as far
    // as the screen holds them: the layout's size with both held that tall.
    const int tableHeight = FTable->horizontalHeader()->sizeHint().height() +
                            kTableRows * FTable->verticalHeader()->defaultSectionSize() +
                            2 * FTable->frameWidth();
    const int timelineHeight = FTimeline->sizeHint().height();
    FTable->setMinimumHeight(tableHeight);
    FTimeline->setMinimumHeight(timelineHeight);
    // Beside them the path, wide enough for a row of its table with a path.
    const int pathWidth =
        QFontMetrics(FPath->font()).horizontalAdvance(QString(64, QLatin1Char('M'))) +
        2 * FPath->frameWidth();
    QSize wanted = sizeHint().expandedTo(QSize(FTimeline->sizeHint().width() + pathWidth, 0));
    FTable->setMinimumHeight(3 * FTable->verticalHeader()->defaultSectionSize());
    FTimeline->setMinimumHeight(FTimeline->minimumSizeHint().height());
    if (const QScreen* shown = screen())
        wanted = wanted.boundedTo(shown->availableGeometry().size() - QSize(40, 80));
    resize(wanted);
    FSplit = {tableHeight + FUnlisted->sizeHint().height(), timelineHeight};
    FWidths = {wanted.width() - pathWidth, pathWidth};
}

void TChannelWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The share of each, once the splitter has its height.
    if (auto* split = findChild<QSplitter*>(QStringLiteral("height")); split && !FSplit.isEmpty()) {
        split->setSizes(FSplit);
        FSplit.clear();
    }
    if (auto* beside = qobject_cast<QSplitter*>(FPath->parentWidget());
        beside && !FWidths.isEmpty()) {
        beside->setSizes(FWidths);
        FWidths.clear();
    }
}

void TChannelWindow::Refresh() {
    const TChannelPicture picture = FPicture();
    FStatus->setText(QString::fromStdString(picture.Status));
    FProblem->setText(QString::fromStdString(picture.Problem));
    FProblem->setVisible(!picture.Problem.empty());
    FEstimated->setText(QString::fromStdString(picture.EstimatedRadius));
    FMeasured->setText(QString::fromStdString(picture.MeasuredRadius));
    QStringList figures;
    for (const std::string& line : picture.Figures)
        figures << QString::fromStdString(line);
    FFigures->setText(figures.join(QLatin1Char('\n')));
    FTable->setRowCount(static_cast<int>(picture.Listed.size()));
    int row = 0;
    for (const aloha::TMeasuredStation& station : picture.Listed) {
        const QStringList cells = {
            QString::fromStdString(station.Call), QString::number(station.Distance),
            QString::number(station.Estimated), QString::number(station.Measured)};
        for (int column = 0; column < cells.size(); ++column)
            FTable->setItem(row, column, new QTableWidgetItem(cells[column]));
        ++row;
    }
    QStringList unlisted;
    for (const std::string& name : picture.Unlisted)
        unlisted << QString::fromStdString(name);
    FUnlisted->setText(unlisted.isEmpty() ? QString()
                                          : QStringLiteral("Heard, not in the station list: ") +
                                                unlisted.join(QStringLiteral(", ")));
    FTimeline->SetTimeline(picture.Timeline);
    QStringList path;
    for (const std::string& line : picture.Path)
        path << QString::fromStdString(line);
    const QString text = path.join(QLatin1Char('\n'));
    // Set only when it changed, so that a refresh keeps where the operator scrolled to.
    if (FPath->toPlainText() != text)
        FPath->setPlainText(text);
}

} // namespace app

#include "app/ChannelWindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace app {

namespace {

QColor ToQt(TCanvasColour colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

class TQtChannelCanvas : public IChannelCanvas {
public:
    explicit TQtChannelCanvas(QPainter& painter) : FPainter(painter) {}
    void FillRect(double x, double y, double width, double height, TCanvasColour colour) override {
        FPainter.fillRect(QRectF(x, y, width, height), ToQt(colour));
    }
    void Line(double x1, double y1, double x2, double y2, TCanvasColour colour) override {
        FPainter.setPen(ToQt(colour));
        FPainter.drawLine(QPointF(x1, y1), QPointF(x2, y2));
    }
    void Text(double x, double y, std::string_view text, TCanvasColour colour) override {
        FPainter.setPen(ToQt(colour));
        FPainter.drawText(QPointF(x, y),
                          QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }

private:
    QPainter& FPainter;
};

} // namespace

TTimelineWidget::TTimelineWidget(QWidget* parent) : QWidget(parent) {
    setMinimumSize(480, 260);
}

void TTimelineWidget::SetTimeline(TChannelTimeline timeline) {
    FTimeline = std::move(timeline);
    update();
}

void TTimelineWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TQtChannelCanvas canvas(painter);
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
    FUnlisted = new QLabel(this);
    FUnlisted->setWordWrap(true);
    FTimeline = new TTimelineWidget(this);
    for (QWidget* widget : {static_cast<QWidget*>(FStatus), static_cast<QWidget*>(FProblem),
                            static_cast<QWidget*>(FEstimated), static_cast<QWidget*>(FMeasured),
                            static_cast<QWidget*>(FFigures), static_cast<QWidget*>(FTable),
                            static_cast<QWidget*>(FUnlisted), static_cast<QWidget*>(FTimeline)})
        layout->addWidget(widget);
    FTimer = new QTimer(this);
    FTimer->setInterval(2000);
    connect(FTimer, &QTimer::timeout, this, [this] { Refresh(); });
    FTimer->start();
    Refresh();
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
}

} // namespace app

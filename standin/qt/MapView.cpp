#include "standin/qt/MapView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QWheelEvent>

#include <cmath>
#include <optional>

namespace standin {

namespace {

constexpr int kRepaintIntervalMs = 250;

QColor ToQt(TMapColour colour) {
    return QColor(colour.red, colour.green, colour.blue, colour.alpha);
}

QPen ToQt(const TMapStroke& stroke) {
    return QPen(ToQt(stroke.colour), stroke.width, stroke.dashed ? Qt::DashLine : Qt::SolidLine);
}

QPointF ToQt(map::TPoint point) {
    return {point.x, point.y};
}

} // namespace

TQtMapCanvas::TQtMapCanvas(QPainter& painter)
    : FPainter(painter), FBase(painter.font()), FSmall(FBase), FOwn(FBase), FSmallMetrics(FBase),
      FOwnMetrics(FBase) {
    FSmall.setPointSizeF(7.0);
    FOwn.setPointSizeF(9.0);
    FOwn.setBold(true);
    FSmallMetrics = QFontMetricsF(FSmall);
    FOwnMetrics = QFontMetricsF(FOwn);
    FPainter.save();
    FPainter.setRenderHint(QPainter::Antialiasing);
}

TQtMapCanvas::~TQtMapCanvas() {
    FPainter.restore();
}

const QFont& TQtMapCanvas::Font(TMapFont font) const {
    return font == TMapFont::Own ? FOwn : FSmall;
}

void TQtMapCanvas::Line(map::TPoint from, map::TPoint to, const TMapStroke& stroke) {
    FPainter.setPen(ToQt(stroke));
    FPainter.drawLine(ToQt(from), ToQt(to));
}

void TQtMapCanvas::Polyline(const std::vector<map::TPoint>& points, const TMapStroke& stroke) {
    QPolygonF polyline;
    polyline.reserve(static_cast<qsizetype>(points.size()));
    for (const map::TPoint point : points)
        polyline << ToQt(point);
    FPainter.setPen(ToQt(stroke));
    FPainter.drawPolyline(polyline);
}

void TQtMapCanvas::EllipseOutline(map::TPoint centre, double rx, double ry,
                                  const TMapStroke& stroke) {
    FPainter.setPen(ToQt(stroke));
    FPainter.setBrush(Qt::NoBrush);
    FPainter.drawEllipse(ToQt(centre), rx, ry);
}

void TQtMapCanvas::FillEllipse(map::TPoint centre, double rx, double ry, TMapColour fill) {
    FPainter.setPen(Qt::NoPen);
    FPainter.setBrush(ToQt(fill));
    FPainter.drawEllipse(ToQt(centre), rx, ry);
}

void TQtMapCanvas::Rectangle(const map::TBox& box, TMapColour fill,
                             const std::optional<TMapStroke>& stroke) {
    FPainter.setPen(stroke ? ToQt(*stroke) : QPen(Qt::NoPen));
    FPainter.setBrush(ToQt(fill));
    FPainter.drawRect(QRectF(box.left, box.top, box.width, box.height));
}

void TQtMapCanvas::Text(map::TPoint at, std::string_view utf8, TMapFont font, TMapColour colour) {
    FPainter.setFont(Font(font));
    FPainter.setPen(ToQt(colour));
    FPainter.drawText(ToQt(at),
                      QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

map::TBox TQtMapCanvas::TextBox(std::string_view utf8, TMapFont font) {
    const QFontMetricsF& metrics = font == TMapFont::Own ? FOwnMetrics : FSmallMetrics;
    const QRectF box =
        metrics.boundingRect(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    return {box.left(), box.top(), box.width(), box.height()};
}

void PaintMap(QPainter& painter, QSizeF size, const TMapPicture& picture,
              const map::TViewport* view) {
    TQtMapCanvas canvas(painter);
    PaintMap(canvas, size.width(), size.height(), picture, view);
}

TMapView::TMapView(const TStandinHost& host, std::mutex& modelMutex, QWidget* parent)
    : QWidget(parent), FHost(host), FModelMutex(modelMutex) {
    setMinimumSize(320, 320);
    setAutoFillBackground(true);
    setMouseTracking(false);
    setCursor(Qt::OpenHandCursor);
    setToolTip(QStringLiteral("Wheel: zoom. Drag: move. Double click: back to the own station."));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, ToQt(kMapBackground));
    setPalette(palette);
    FRepaintTimer.setSingleShot(true);
    FRepaintTimer.setInterval(kRepaintIntervalMs);
    connect(&FRepaintTimer, &QTimer::timeout, this, [this] { update(); });
}

TMapPicture TMapView::Take() {
    TMapPicture picture;
    {
        std::lock_guard lock(FModelMutex);
        picture = TakeMapPicture(FHost);
    }
    picture.coastlines = FCoastlines;
    return picture;
}

void TMapView::SetCoastlines(std::shared_ptr<const std::vector<TMapLine>> lines) {
    FCoastlines = std::move(lines);
    update();
}

void TMapView::ModelChanged() {
    if (!FRepaintTimer.isActive())
        FRepaintTimer.start();
}

QImage TMapView::Render() {
    const TMapPicture picture = Take();
    QImage image(size(), QImage::Format_RGB32);
    image.fill(ToQt(kMapBackground));
    QPainter painter(&image);
    PaintMap(painter, QSizeF(size()), picture, FNavigation.Chosen());
    return image;
}

void TMapView::paintEvent(QPaintEvent*) {
    const TMapPicture picture = Take();
    {
        QPainter painter(this);
        PaintMap(painter, QSizeF(size()), picture, FNavigation.Chosen());
    }
    FNavigation.Painted(picture, width(), height());
    const std::optional<int> inside = StationsInsideFigure(picture);
    if (!FInsideTold || inside != FInside) {
        FInsideTold = true;
        FInside = inside;
        if (OnInsideCountChanged)
            OnInsideCountChanged(inside);
    }
}

map::TViewport TMapView::CurrentView() const {
    return FNavigation.Current(width(), height());
}

void TMapView::SetView(std::optional<map::TViewport> view) {
    FNavigation.Choose(view);
    update();
}

void TMapView::wheelEvent(QWheelEvent* event) {
    const QPointF at = event->position();
    if (FNavigation.Zoom(event->angleDelta().y() / 120.0, at.x(), at.y(), width(), height())) {
        update();
        event->accept();
    }
}

void TMapView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    FDragFrom = event->position();
    setCursor(Qt::ClosedHandCursor);
}

void TMapView::mouseMoveEvent(QMouseEvent* event) {
    if (!FDragFrom)
        return;
    const QPointF delta = event->position() - *FDragFrom;
    FDragFrom = event->position();
    FNavigation.Drag(delta.x(), delta.y(), width(), height());
    update();
}

void TMapView::mouseReleaseEvent(QMouseEvent*) {
    FDragFrom.reset();
    setCursor(Qt::OpenHandCursor);
}

void TMapView::mouseDoubleClickEvent(QMouseEvent*) {
    SetView(std::nullopt);
}

} // namespace standin

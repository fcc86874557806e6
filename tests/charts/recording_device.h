#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QTextItem>

#include <vector>

// A paint device that keeps every drawing call with the pen, brush and font in force, so tests
// can check what a chart drew and where.
struct DrawOp {
    enum Kind { Line, Rect, Polygon, Polyline, Ellipse, Path, Text, Image };
    Kind kind;
    QPen pen;
    QBrush brush;
    QFont font;
    QLineF line;
    QRectF rect;
    QPolygonF points;
    QPainterPath path;
    QString text;
    QPointF at; // text baseline start, image top-left

    bool hasPen() const { return pen.style() != Qt::NoPen; }
    bool filled() const { return brush.style() != Qt::NoBrush; }
    QColor penColor() const { return pen.color(); }
    QColor fill() const { return brush.color(); }
};

class RecordingEngine : public QPaintEngine {
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    std::vector<DrawOp> ops;

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState& state) override {
        if (state.state() & DirtyPen)
            pen_ = state.pen();
        if (state.state() & DirtyBrush)
            brush_ = state.brush();
        if (state.state() & DirtyFont)
            font_ = state.font();
    }
    void drawLines(const QLineF* lines, int count) override {
        for (int i = 0; i < count; ++i) {
            DrawOp op = make(DrawOp::Line);
            op.line = lines[i];
            ops.push_back(op);
        }
    }
    void drawRects(const QRectF* rects, int count) override {
        for (int i = 0; i < count; ++i) {
            DrawOp op = make(DrawOp::Rect);
            op.rect = rects[i];
            ops.push_back(op);
        }
    }
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        DrawOp op = make(mode == PolylineMode ? DrawOp::Polyline : DrawOp::Polygon);
        for (int i = 0; i < count; ++i)
            op.points << points[i];
        ops.push_back(op);
    }
    void drawEllipse(const QRectF& r) override {
        DrawOp op = make(DrawOp::Ellipse);
        op.rect = r;
        ops.push_back(op);
    }
    void drawPath(const QPainterPath& path) override {
        DrawOp op = make(DrawOp::Path);
        op.path = path;
        ops.push_back(op);
    }
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        DrawOp op = make(DrawOp::Text);
        op.text = item.text();
        op.at = p;
        op.font = item.font();
        ops.push_back(op);
    }
    void drawPixmap(const QRectF& r, const QPixmap&, const QRectF&) override {
        DrawOp op = make(DrawOp::Image);
        op.rect = r;
        op.at = r.topLeft();
        ops.push_back(op);
    }
    void drawImage(const QRectF& r, const QImage&, const QRectF&,
                   Qt::ImageConversionFlags) override {
        DrawOp op = make(DrawOp::Image);
        op.rect = r;
        op.at = r.topLeft();
        ops.push_back(op);
    }

private:
    DrawOp make(DrawOp::Kind kind) const {
        DrawOp op{kind, pen_, brush_, font_, {}, {}, {}, {}, {}, {}};
        return op;
    }
    QPen pen_;
    QBrush brush_;
    QFont font_;
};

class RecordingDevice : public QPaintDevice {
public:
    RecordingDevice(int width, int height) : width_(width), height_(height) {}
    QPaintEngine* paintEngine() const override { return &engine_; }
    const std::vector<DrawOp>& ops() const { return engine_.ops; }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
        case PdmWidth:
            return width_;
        case PdmHeight:
            return height_;
        case PdmWidthMM:
            return width_ * 254 / 960;
        case PdmHeightMM:
            return height_ * 254 / 960;
        case PdmNumColors:
            return 0x7fffffff;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(QPaintDevice::devicePixelRatioFScale());
        }
        return 0;
    }

private:
    int width_;
    int height_;
    mutable RecordingEngine engine_;
};

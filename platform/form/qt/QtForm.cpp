#include "platform/form/qt/QtForm.h"

#include <QApplication>
#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <array>

#include "platform/debug/DebugOutput.h"
#include "platform/form/Form.h"

namespace form {

namespace {

constexpr UINT WM_KEYUP = 0x0101;

QCursor CursorFromPicture(const CursorShape& shape) {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(0);
    for (int y = 0; y < 32 && y < static_cast<int>(shape.picture.size()); ++y) {
        const std::string& row = shape.picture[static_cast<std::size_t>(y)];
        for (int x = 0; x < 32 && x < static_cast<int>(row.size()); ++x) {
            if (row[static_cast<std::size_t>(x)] == '#') image.setPixel(x, y, 0xFF000000u);
            else if (row[static_cast<std::size_t>(x)] == '.') image.setPixel(x, y, 0xFFFFFFFFu);
        }
    }
    return QCursor(QPixmap::fromImage(image), shape.hotX, shape.hotY);
}

WPARAM KeyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    WPARAM keys = 0;
    if (buttons & Qt::LeftButton) keys |= MK_LBUTTON;
    if (buttons & Qt::RightButton) keys |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton) keys |= MK_MBUTTON;
    if (modifiers & Qt::ShiftModifier) keys |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier) keys |= MK_CONTROL;
    if (modifiers & Qt::AltModifier) keys |= MK_ALT;
    return keys;
}

// The message of a button going down, up or double-clicking; 0 for buttons a form has not.
UINT ButtonMessage(Qt::MouseButton button, int kind) {  // kind: 0 down, 1 up, 2 double
    switch (button) {
        case Qt::LeftButton: return static_cast<UINT>(WM_LBUTTONDOWN + kind);
        case Qt::RightButton: return static_cast<UINT>(WM_RBUTTONDOWN + kind);
        case Qt::MiddleButton: return static_cast<UINT>(WM_MBUTTONDOWN + kind);
        default: return 0;
    }
}

// Virtual-key codes of the keys whose Qt code differs from them.
int VirtualKey(int qtKey) {
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 0x70 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
        case Qt::Key_Backspace: return 0x08;
        case Qt::Key_Tab: return 0x09;
        case Qt::Key_Return:
        case Qt::Key_Enter: return 0x0D;
        case Qt::Key_Shift: return 0x10;
        case Qt::Key_Control: return 0x11;
        case Qt::Key_Alt: return 0x12;
        case Qt::Key_Escape: return 0x1B;
        case Qt::Key_Space: return 0x20;
        case Qt::Key_PageUp: return 0x21;
        case Qt::Key_PageDown: return 0x22;
        case Qt::Key_End: return 0x23;
        case Qt::Key_Home: return 0x24;
        case Qt::Key_Left: return 0x25;
        case Qt::Key_Up: return 0x26;
        case Qt::Key_Right: return 0x27;
        case Qt::Key_Down: return 0x28;
        case Qt::Key_Insert: return 0x2D;
        case Qt::Key_Delete: return 0x2E;
        default: return 0;
    }
}

class QtFormView;

// The widget of one form. It keeps no state of its own beyond the Qt objects: sizes, scroll
// positions and pixels are read from the form each time.
class FormWidget final : public QWidget {
public:
    FormWidget(Form& form, QtFormView& view);
    ~FormWidget() override;

    // The view is going away before the widget: no more calls into the form.
    void Detach() { form_ = nullptr; }
    void FormChanged(FormChange change);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override { Mouse(event, 0); }
    void mouseReleaseEvent(QMouseEvent* event) override { Mouse(event, 1); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { Mouse(event, 2); }
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // Sends a message through the form's window procedure; an error that a host's event
    // handler raised ends here, as it would in a desktop message loop.
    void Send(UINT msg, WPARAM wParam, LPARAM lParam);
    void Mouse(QMouseEvent* event, int kind);
    // The client size a widget size leaves beside the scroll bars that it needs.
    QSize ClientFor(QSize widget, bool& showHorz, bool& showVert) const;
    // The form's client size and scroll bars onto the widget; a client size the form set
    // itself resizes the widget.
    void SyncLayout();
    void PlaceScrollBars(bool showHorz, bool showVert);
    void SyncAttributes();
    void SyncCursor();
    void ScrollAction(bool horizontal, int action);

    Form* form_;
    QtFormView& view_;
    QScrollBar horz_{Qt::Horizontal, this};
    QScrollBar vert_{Qt::Vertical, this};
    QTimer attributeTimer_{this};
    QPoint lastMouse_{-1, -1};
    bool painting_ = false;
    bool resizing_ = false;
};

class QtFormView final : public FormView {
public:
    explicit QtFormView(Form& form) : widget_(std::make_unique<FormWidget>(form, *this)) {}
    ~QtFormView() override {
        if (widget_) widget_->Detach();
    }
    void FormChanged(FormChange change) override {
        if (widget_) widget_->FormChanged(change);
    }
    void* NativeWidget() override { return static_cast<QWidget*>(widget_.get()); }
    // Qt destroyed the widget (its parent went away): the form goes on headless.
    void WidgetGone() { (void)widget_.release(); }

private:
    std::unique_ptr<FormWidget> widget_;
};

FormWidget::FormWidget(Form& form, QtFormView& view) : form_(&form), view_(view) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    horz_.hide();
    vert_.hide();
    // Scroll-bar actions become WM_HSCROLL / WM_VSCROLL; the bar then shows the position the
    // form settled on, not the one Qt computed.
    connect(&horz_, &QAbstractSlider::actionTriggered, this,
            [this](int action) { ScrollAction(true, action); });
    connect(&vert_, &QAbstractSlider::actionTriggered, this,
            [this](int action) { ScrollAction(false, action); });
    // Caption and font are plain fields of the form that members write directly.
    connect(&attributeTimer_, &QTimer::timeout, this, [this] { SyncAttributes(); });
    attributeTimer_.start(200);
}

FormWidget::~FormWidget() {
    if (form_) view_.WidgetGone();
}

void FormWidget::Send(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!form_) return;
    try {
        form_->Perform(msg, wParam, lParam);
    } catch (const std::exception& e) {
        OutputDebugStringA((std::string("form message failed: ") + e.what()).c_str());
    }
}

void FormWidget::FormChanged(FormChange change) {
    if (!form_) return;
    switch (change) {
        case FormChange::Paint:
            if (!painting_) update();
            break;
        case FormChange::Layout:
            if (!resizing_) SyncLayout();
            update();
            break;
        case FormChange::Cursor: SyncCursor(); break;
    }
}

QSize FormWidget::ClientFor(QSize widget, bool& showHorz, bool& showVert) const {
    const ScrollBar& h = form_->HorzScrollBar();
    const ScrollBar& v = form_->VertScrollBar();
    const int hExtent = horz_.sizeHint().height(), vExtent = vert_.sizeHint().width();
    int width = widget.width(), height = widget.height();
    showHorz = showVert = false;
    // A bar that appears takes room from the other direction, which may then need its bar.
    for (int pass = 0; pass < 2; ++pass) {
        showHorz = h.visible && h.range > width;
        showVert = v.visible && v.range > height;
        width = widget.width() - (showVert ? vExtent : 0);
        height = widget.height() - (showHorz ? hExtent : 0);
    }
    return QSize(std::max(width, 0), std::max(height, 0));
}

void FormWidget::PlaceScrollBars(bool showHorz, bool showVert) {
    const ScrollBar& h = form_->HorzScrollBar();
    const ScrollBar& v = form_->VertScrollBar();
    const int clientW = form_->ClientWidth(), clientH = form_->ClientHeight();
    const auto setUp = [](QScrollBar& bar, const ScrollBar& model, int page) {
        const QSignalBlocker block(bar);
        bar.setRange(0, std::max(model.range - page, 0));
        bar.setPageStep(std::max(page, 1));
        bar.setSingleStep(model.increment);
        bar.setValue(model.position);
    };
    setUp(horz_, h, clientW);
    setUp(vert_, v, clientH);
    const int hExtent = horz_.sizeHint().height(), vExtent = vert_.sizeHint().width();
    horz_.setGeometry(0, height() - hExtent, width() - (showVert ? vExtent : 0), hExtent);
    vert_.setGeometry(width() - vExtent, 0, vExtent, height() - (showHorz ? hExtent : 0));
    horz_.setVisible(showHorz);
    vert_.setVisible(showVert);
}

void FormWidget::SyncLayout() {
    bool showHorz = false, showVert = false;
    const QSize client = ClientFor(size(), showHorz, showVert);
    const QSize wanted(form_->ClientWidth(), form_->ClientHeight());
    if (client != wanted) {
        // The form sized its client area itself (a fit to the image): the widget follows.
        const ScrollBar& h = form_->HorzScrollBar();
        const ScrollBar& v = form_->VertScrollBar();
        showHorz = h.visible && h.range > wanted.width();
        showVert = v.visible && v.range > wanted.height();
        resizing_ = true;
        resize(wanted.width() + (showVert ? vert_.sizeHint().width() : 0),
               wanted.height() + (showHorz ? horz_.sizeHint().height() : 0));
        resizing_ = false;
        updateGeometry();
    }
    PlaceScrollBars(showHorz, showVert);
}

void FormWidget::resizeEvent(QResizeEvent*) {
    if (!form_ || resizing_) return;
    bool showHorz = false, showVert = false;
    QSize client = ClientFor(size(), showHorz, showVert);
    resizing_ = true;
    Send(WM_SIZE, 0, MAKELPARAM(client.width(), client.height()));
    resizing_ = false;
    // The new client size may have changed the ranges (a fit mode recomputes them).
    client = ClientFor(size(), showHorz, showVert);
    if (client != QSize(form_->ClientWidth(), form_->ClientHeight())) {
        resizing_ = true;
        Send(WM_SIZE, 0, MAKELPARAM(client.width(), client.height()));
        resizing_ = false;
    }
    PlaceScrollBars(showHorz, showVert);
}

void FormWidget::ScrollAction(bool horizontal, int action) {
    QScrollBar& bar = horizontal ? horz_ : vert_;
    WORD code = 0;
    switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: code = SB_LINEDOWN; break;
        case QAbstractSlider::SliderSingleStepSub: code = SB_LINEUP; break;
        case QAbstractSlider::SliderPageStepAdd: code = SB_PAGEDOWN; break;
        case QAbstractSlider::SliderPageStepSub: code = SB_PAGEUP; break;
        case QAbstractSlider::SliderToMinimum: code = SB_TOP; break;
        case QAbstractSlider::SliderToMaximum: code = SB_BOTTOM; break;
        case QAbstractSlider::SliderMove: code = SB_THUMBTRACK; break;
        default: return;
    }
    Send(horizontal ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(code, bar.sliderPosition()), 0);
    if (!form_) return;
    bar.setSliderPosition((horizontal ? form_->HorzScrollBar() : form_->VertScrollBar()).position);
}

void FormWidget::paintEvent(QPaintEvent* event) {
    if (!form_) return;
    painting_ = true;
    // An expose is a paint request of the window system: the form paints itself again.
    if (event->spontaneous()) form_->Invalidate();
    try {
        form_->Update();
    } catch (const std::exception& e) {
        OutputDebugStringA((std::string("form paint failed: ") + e.what()).c_str());
    }
    painting_ = false;
    const int width = form_->ClientWidth(), height = form_->ClientHeight();
    const std::vector<std::uint32_t> pixels = form_->CaptureClient();
    QPainter painter(this);
    const COLORREF background = ColorToRGB(form_->color);
    painter.fillRect(
        rect(), QColor(background & 0xFF, (background >> 8) & 0xFF, (background >> 16) & 0xFF));
    if (width > 0 && height > 0 && pixels.size() == static_cast<std::size_t>(width) * height) {
        // The buffers hold 0x00RRGGBB words: Qt's RGB32 layout, so the image is shown as is.
        const QImage image(reinterpret_cast<const uchar*>(pixels.data()), width, height, width * 4,
                           QImage::Format_RGB32);
        painter.drawImage(QPoint(0, 0), image);
    }
}

void FormWidget::Mouse(QMouseEvent* event, int kind) {
    const UINT msg = ButtonMessage(event->button(), kind);
    if (!msg) return;
    const QPoint at = event->position().toPoint();
    lastMouse_ = at;
    Send(msg, KeyState(event->buttons(), event->modifiers()), MAKELPARAM(at.x(), at.y()));
}

void FormWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    lastMouse_ = at;
    Send(WM_MOUSEMOVE, KeyState(event->buttons(), event->modifiers()), MAKELPARAM(at.x(), at.y()));
    SyncCursor();
}

void FormWidget::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) return;
    const QPoint global = event->globalPosition().toPoint();
    Send(WM_MOUSEWHEEL,
         MAKEWPARAM(static_cast<int>(KeyState(event->buttons(), event->modifiers())), delta),
         MAKELPARAM(global.x(), global.y()));
    event->accept();
}

void FormWidget::keyPressEvent(QKeyEvent* event) {
    if (const int vk = VirtualKey(event->key())) Send(WM_KEYDOWN, static_cast<WPARAM>(vk), 1);
    // WM_CHAR carries the typed characters in the 8-bit code page; others are not typed.
    for (const QChar c : event->text())
        if (c.unicode() > 0 && c.unicode() < 256) Send(WM_CHAR, c.unicode(), 1);
    event->accept();
}

void FormWidget::keyReleaseEvent(QKeyEvent* event) {
    if (const int vk = VirtualKey(event->key())) Send(WM_KEYUP, static_cast<WPARAM>(vk), 1);
}

void FormWidget::focusInEvent(QFocusEvent*) { Send(WM_ACTIVATE, WA_ACTIVE, 0); }
void FormWidget::focusOutEvent(QFocusEvent*) { Send(WM_ACTIVATE, WA_INACTIVE, 0); }

void FormWidget::leaveEvent(QEvent*) {
    if (form_ && form_->mouseInClient) Send(WM_MOUSELEAVE, 0, 0);
}

void FormWidget::SyncCursor() {
    if (!form_) return;
    // The cursor of the topmost visible child under the mouse, else the form's own.
    std::int16_t number = form_->Cursor();
    const auto& children = form_->Children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        const Control* child = *it;
        if (child->Visible() && lastMouse_.x() >= child->Left() &&
            lastMouse_.x() < child->Left() + child->Width() && lastMouse_.y() >= child->Top() &&
            lastMouse_.y() < child->Top() + child->Height()) {
            number = child->Cursor();
            break;
        }
    }
    setCursor(QtCursorFor(number));
}

void FormWidget::SyncAttributes() {
    if (!form_) return;
    const QString caption = QString::fromLocal8Bit(form_->caption.c_str());
    if (windowTitle() != caption) setWindowTitle(caption);
    QFont font(QString::fromLocal8Bit(form_->font.name.c_str()));
    if (form_->font.height < 0) font.setPixelSize(-form_->font.height);
    else if (form_->font.height > 0) font.setPixelSize(form_->font.height);
    font.setBold(form_->font.bold);
    font.setItalic(form_->font.italic);
    font.setUnderline(form_->font.underline);
    font.setStrikeOut(form_->font.strikeout);
    if (this->font() != font) setFont(font);
    if (isEnabled() != form_->enabled) setEnabled(form_->enabled);
}

}  // namespace

QCursor QtCursorFor(std::int16_t number) {
    // The standard numbers 0 … −22 in order.
    static constexpr std::array<Qt::CursorShape, 23> kStandard{
        Qt::ArrowCursor,     Qt::BlankCursor,        Qt::ArrowCursor,     Qt::CrossCursor,
        Qt::IBeamCursor,     Qt::SizeAllCursor,      Qt::SizeBDiagCursor, Qt::SizeVerCursor,
        Qt::SizeFDiagCursor, Qt::SizeHorCursor,      Qt::UpArrowCursor,   Qt::WaitCursor,
        Qt::DragMoveCursor,  Qt::ForbiddenCursor,    Qt::SplitHCursor,    Qt::SplitVCursor,
        Qt::DragCopyCursor,  Qt::WaitCursor,         Qt::ForbiddenCursor, Qt::BusyCursor,
        Qt::WhatsThisCursor, Qt::PointingHandCursor, Qt::SizeAllCursor};
    if (number <= 0 && number >= -22) return QCursor(kStandard[static_cast<std::size_t>(-number)]);
    const CursorShape& shape = CursorShapeOf(number);
    // A number nobody registered falls back to the default arrow.
    if (shape.name == "crDefault" || shape.picture.empty()) return QCursor(Qt::ArrowCursor);
    return CursorFromPicture(shape);
}

void RegisterQtFormBackend() {
    RegisterFormBackend("qt", [](Form& form) -> std::unique_ptr<FormView> {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
        return std::make_unique<QtFormView>(form);
    });
    SelectFormBackend("qt");
}

}  // namespace form

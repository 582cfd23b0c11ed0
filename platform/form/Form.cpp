#include "platform/form/Form.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace form {

std::uint8_t ShiftStateFromKeys(WPARAM keys) {
    std::uint8_t state = 0;
    if (keys & MK_SHIFT) state |= ssShift;
    if (keys & MK_ALT) state |= ssAlt;
    if (keys & MK_CONTROL) state |= ssCtrl;
    if (keys & MK_LBUTTON) state |= ssLeft;
    if (keys & MK_RBUTTON) state |= ssRight;
    if (keys & MK_MBUTTON) state |= ssMiddle;
    return state;
}

namespace {

bool IsMouseMessage(UINT msg) { return msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK; }

MouseButton ButtonOf(UINT msg) {
    switch (msg) {
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK: return MouseButton::Right;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK: return MouseButton::Middle;
        default: return MouseButton::Left;
    }
}

}  // namespace

// ---- Control ----------------------------------------------------------------------------------

Control::Control() {
    windowProc = [this](Message& message) { DefaultWindowProc(message); };
}

Control::~Control() {
    SetParent(nullptr);
    for (Control* child : children_) child->parent_ = nullptr;
}

LRESULT Control::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
    Message message{msg, wParam, lParam, 0};
    Perform(message);
    return message.result;
}

void Control::DefaultWindowProc(Message& message) {
    if (IsMouseMessage(message.msg)) HandleMouse(message);
}

void Control::HandleMouse(Message& message) {
    const int x = GET_X_LPARAM(message.lParam), y = GET_Y_LPARAM(message.lParam);
    std::uint8_t shift = ShiftStateFromKeys(message.wParam);
    const MouseButton button = ButtonOf(message.msg);
    switch (message.msg) {
        case WM_MOUSEMOVE:
            if (onMouseMove) onMouseMove(shift, x, y);
            break;
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK:
            if (button == MouseButton::Left && onDblClick) onDblClick();
            shift |= ssDouble;
            [[fallthrough]];
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            if (button == MouseButton::Left) pressed_ = true;
            if (onMouseDown) onMouseDown(button, shift, x, y);
            break;
        default:  // button released
            if (onMouseUp) onMouseUp(button, shift, x, y);
            if (button == MouseButton::Left && pressed_) {
                pressed_ = false;
                if (onClick) onClick();
            }
            break;
    }
}

void Control::SetParent(Control* parent) {
    if (parent_ == parent) return;
    if (parent_) {
        auto& siblings = parent_->children_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    parent_ = parent;
    if (parent_) {
        parent_->children_.push_back(this);
        if (auto* form = dynamic_cast<Form*>(parent_)) form->Realign();
    }
}

void Control::BringToFront() {
    if (!parent_) return;
    auto& siblings = parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    siblings.push_back(this);
}

void Control::SetBounds(int left, int top, int width, int height) {
    const bool resized = width != width_ || height != height_;
    left_ = left;
    top_ = top;
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    if (resized) Resized();
}

void Control::SetCursor(std::int16_t cursor) {
    if (cursor_ == cursor) return;
    cursor_ = cursor;
    Perform(CM_CURSORCHANGED);
    // The view shows the cursor whatever a hook made of the notification.
    for (Control* c = this; c; c = c->parent_)
        if (auto* form = dynamic_cast<Form*>(c)) {
            form->Notify(FormChange::Cursor);
            break;
        }
}

// ---- PaintBox ---------------------------------------------------------------------------------

PaintBox::PaintBox() { AttachBuffer(&canvas_, nullptr, 0, 0, 0); }

void PaintBox::Invalidate() {
    invalid_ = true;
    if (auto* form = dynamic_cast<Form*>(Parent())) form->Notify(FormChange::Paint);
}

void PaintBox::Resized() {
    buffer_.assign(static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height()), 0);
    AttachBuffer(&canvas_, buffer_.empty() ? nullptr : buffer_.data(), Width(), Height(), Width());
    invalid_ = true;
}

RECT PaintBox::VisibleRect() const {
    RECT r{0, 0, Width(), Height()};
    if (const Control* parent = Parent()) {
        r.left = std::max<LONG>(r.left, -Left());
        r.top = std::max<LONG>(r.top, -Top());
        r.right = std::min<LONG>(r.right, parent->ClientWidth() - Left());
        r.bottom = std::min<LONG>(r.bottom, parent->ClientHeight() - Top());
    }
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

void PaintBox::Update() {
    if (!invalid_ || !Visible()) return;
    invalid_ = false;
    if (buffer_.empty()) return;
    canvas_.clip = VisibleRect();
    if (onPaintBuffer) onPaintBuffer(*this);
}

// ---- Form -------------------------------------------------------------------------------------

int FontAttributes::Size() const { return MulDiv(-height, 72, pixelsPerInch); }
void FontAttributes::SetSize(int points) { height = -MulDiv(points, pixelsPerInch, 72); }

Form::Form() {
    AttachBuffer(&surfaceDC_, nullptr, 0, 0, 0);
    view_ = CreateFormView(*this);
}

Form::~Form() {
    view_.reset();
    // Children belong to their owners; they only lose their parent here.
    while (!Children().empty()) Children().back()->SetParent(nullptr);
}

void Form::SetBounds(int left, int top, int width, int height) {
    Control::SetBounds(left, top, width, height);
    SetClientSize(width, height);
}

void Form::SetClientSize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == clientWidth_ && height == clientHeight_) return;
    clientWidth_ = width;
    clientHeight_ = height;
    surface_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    AttachBuffer(&surfaceDC_, surface_.empty() ? nullptr : surface_.data(), width, height, width);
    SetScrollPosition(true, horz_.position);
    SetScrollPosition(false, vert_.position);
    Realign();
    Invalidate();
    Notify(FormChange::Layout);
    if (onResize) onResize();
}

void Form::SetScrollRange(bool horizontal, int range) {
    ScrollBar& bar = horizontal ? horz_ : vert_;
    bar.range = std::max(range, 0);
    SetScrollPosition(horizontal, bar.position);
    Realign();
    Notify(FormChange::Layout);
}

void Form::SetScrollPosition(bool horizontal, int position) {
    ScrollBar& bar = horizontal ? horz_ : vert_;
    const int page = horizontal ? clientWidth_ : clientHeight_;
    const int limit = std::max(bar.range - page, 0);
    const int clamped = std::clamp(position, 0, limit);
    if (clamped == bar.position) return;
    bar.position = clamped;
    Realign();
    Notify(FormChange::Layout);
}

void Form::SetScrollVisible(bool horizontal, bool visible) {
    ScrollBar& bar = horizontal ? horz_ : vert_;
    if (bar.visible == visible) return;
    bar.visible = visible;
    Notify(FormChange::Layout);
}

void Form::Realign() {
    const int width = std::max(clientWidth_, horz_.range);
    const int height = std::max(clientHeight_, vert_.range);
    for (Control* child : Children()) {
        if (child->align != Align::Client) continue;
        child->SetBounds(-horz_.position, -vert_.position, width, height);
        if (auto* box = dynamic_cast<PaintBox*>(child)) box->Invalidate();
    }
}

void Form::Scroll(bool horizontal, WORD code, int thumb) {
    const ScrollBar& bar = horizontal ? horz_ : vert_;
    const int page = std::max(horizontal ? clientWidth_ : clientHeight_, 1);
    int position = bar.position;
    switch (code) {
        case SB_LINEUP: position -= bar.increment; break;
        case SB_LINEDOWN: position += bar.increment; break;
        case SB_PAGEUP: position -= page; break;
        case SB_PAGEDOWN: position += page; break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: position = thumb; break;
        case SB_TOP: position = 0; break;
        case SB_BOTTOM: position = bar.range; break;
        default: return;
    }
    SetScrollPosition(horizontal, position);
}

void Form::RouteMouse(Message& message) {
    const int x = GET_X_LPARAM(message.lParam), y = GET_Y_LPARAM(message.lParam);
    if (message.msg == WM_MOUSEMOVE && !mouseInClient) {
        mouseInClient = true;
        if (onMouseEnter) onMouseEnter();
    }
    Control* target = capture_;
    if (!target) {
        const auto& children = Children();
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            Control* child = *it;
            if (child->Visible() && x >= child->Left() && x < child->Left() + child->Width() &&
                y >= child->Top() && y < child->Top() + child->Height()) {
                target = child;
                break;
            }
        }
    }
    const bool down = message.msg == WM_LBUTTONDOWN || message.msg == WM_RBUTTONDOWN ||
                      message.msg == WM_MBUTTONDOWN || message.msg == WM_LBUTTONDBLCLK ||
                      message.msg == WM_RBUTTONDBLCLK || message.msg == WM_MBUTTONDBLCLK;
    const bool up =
        message.msg == WM_LBUTTONUP || message.msg == WM_RBUTTONUP || message.msg == WM_MBUTTONUP;
    if (down) capture_ = target;
    if (up) capture_ = nullptr;
    if (!target) {
        HandleMouse(message);
        return;
    }
    Message forwarded = message;
    forwarded.lParam = MAKELPARAM(x - target->Left(), y - target->Top());
    target->Perform(forwarded);
    message.result = forwarded.result;
}

void Form::PaintSelf() {
    invalid_ = false;
    FillSolidRect(&surfaceDC_, RECT{0, 0, clientWidth_, clientHeight_}, ColorToRGB(color));
    if (onPaint) onPaint();
    for (Control* child : Children())
        if (auto* box = dynamic_cast<PaintBox*>(child)) box->Update();
}

void Form::Update() {
    bool needed = invalid_;
    for (Control* child : Children())
        if (auto* box = dynamic_cast<PaintBox*>(child)) needed = needed || box->Invalid();
    if (needed) Perform(WM_PAINT);
}

HDC Form::GetDC() { return &surfaceDC_; }

std::vector<std::uint32_t> Form::CaptureClient() const {
    std::vector<std::uint32_t> pixels(surface_);
    for (const Control* child : Children()) {
        const auto* box = dynamic_cast<const PaintBox*>(child);
        if (!box || !box->Visible() || box->Buffer().empty()) continue;
        const RECT visible = box->VisibleRect();
        for (LONG y = visible.top; y < visible.bottom; ++y) {
            const std::uint32_t* from =
                box->Buffer().data() + static_cast<std::size_t>(y) * box->Width();
            std::uint32_t* to =
                pixels.data() + static_cast<std::size_t>(y + box->Top()) * clientWidth_;
            std::copy(from + visible.left, from + visible.right, to + visible.left + box->Left());
        }
    }
    return pixels;
}

void Form::Destroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (onDestroy) onDestroy();
}

void Form::DefaultWindowProc(Message& message) {
    if (IsMouseMessage(message.msg)) {
        RouteMouse(message);
        return;
    }
    switch (message.msg) {
        case WM_SIZE:
            SetClientSize(LOWORD(static_cast<std::uintptr_t>(message.lParam)),
                          HIWORD(static_cast<std::uintptr_t>(message.lParam)));
            break;
        case WM_HSCROLL:
        case WM_VSCROLL:
            Scroll(message.msg == WM_HSCROLL, LOWORD(message.wParam), HIWORD(message.wParam));
            break;
        case WM_MOUSEWHEEL: {
            const int delta = static_cast<std::int16_t>(HIWORD(message.wParam));
            SetScrollPosition(false, vert_.position - delta * 3 * vert_.increment / WHEEL_DELTA);
            break;
        }
        case WM_PAINT: PaintSelf(); break;
        case WM_ACTIVATE:
            active = LOWORD(message.wParam) != WA_INACTIVE;
            if (onActivate) onActivate(active);
            break;
        case WM_CHAR: {
            char key = static_cast<char>(message.wParam & 0xFF);
            if (onKeyPress) onKeyPress(key);
            if (key != 0) processedKeys += key;
            break;
        }
        case WM_MOUSELEAVE:
        case CM_MOUSELEAVE:
            mouseInClient = false;
            if (onMouseLeave) onMouseLeave();
            break;
        case CM_MOUSEENTER:
            mouseInClient = true;
            if (onMouseEnter) onMouseEnter();
            break;
        case CM_CURSORCHANGED:
            if (onCursorChanged) onCursorChanged();
            break;
        case WM_DESTROY: Destroy(); break;
        default: break;
    }
}

}  // namespace form

LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    return window ? window->Perform(msg, wParam, lParam) : 0;
}

void UpdateWindow(HWND window) {
    if (auto* form = dynamic_cast<form::Form*>(window)) form->Update();
    else if (auto* box = dynamic_cast<form::PaintBox*>(window)) box->Update();
}

// ---- cursors ----------------------------------------------------------------------------------

namespace {

std::mutex g_cursorMutex;
std::map<std::int16_t, CursorShape>& RegisteredCursors() {
    static std::map<std::int16_t, CursorShape> cursors;
    return cursors;
}

const std::vector<std::string>& ArrowPicture() {
    static const std::vector<std::string> picture = [] {
        std::vector<std::string> rows(32, std::string(32, ' '));
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x <= y && x < 12; ++x)
                rows[y][x] = (x == 0 || x == y || y == 16) ? '#' : '.';
        return rows;
    }();
    return picture;
}

const std::map<std::int16_t, CursorShape>& StandardCursors() {
    static const std::map<std::int16_t, CursorShape> cursors = [] {
        std::map<std::int16_t, CursorShape> table;
        const char* names[] = {"crDefault", "crNone",      "crArrow",   "crCross",    "crIBeam",
                               "",          "crSizeNESW",  "crSizeNS",  "crSizeNWSE", "crSizeWE",
                               "crUpArrow", "crHourGlass", "crDrag",    "crNoDrop",   "crHSplit",
                               "crVSplit",  "crMultiDrag", "crSQLWait", "crNo",       "crAppStart",
                               "crHelp",    "crHandPoint", "crSizeAll"};
        for (int i = 0; i <= 22; ++i) {
            CursorShape shape;
            shape.name = names[i];
            if (i != 1) shape.picture = ArrowPicture();
            table.emplace(static_cast<std::int16_t>(-i), shape);
        }
        return table;
    }();
    return cursors;
}

}  // namespace

void RegisterCursor(std::int16_t number, const CursorShape& shape) {
    std::lock_guard lock(g_cursorMutex);
    RegisteredCursors()[number] = shape;
}

void UnregisterCursor(std::int16_t number) {
    std::lock_guard lock(g_cursorMutex);
    RegisteredCursors().erase(number);
}

const CursorShape& CursorShapeOf(std::int16_t number) {
    {
        std::lock_guard lock(g_cursorMutex);
        auto& registered = RegisteredCursors();
        if (auto it = registered.find(number); it != registered.end()) return it->second;
    }
    const auto& standard = StandardCursors();
    if (auto it = standard.find(number); it != standard.end()) return it->second;
    return standard.at(0);
}

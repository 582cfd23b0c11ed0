// Headless form library: windows that receive messages through a window procedure that can be
// hooked, a scrolling form with two scroll bars, child controls laid out by alignment, a label,
// a paint box with a 32-bit off-screen buffer, and the cursor table. A host or a test drives it
// by sending messages; "the screen" is the form's surface with the paint box's buffer on top.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/Unknown.h"
#include "platform/form/FormView.h"
#include "platform/gdi/Gdi.h"

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_MOUSELEAVE = 0x02A3;
constexpr UINT WM_QUERYNEWPALETTE = 0x030F;
// Notifications of the form library itself.
constexpr UINT CM_CURSORCHANGED = 0xB00F;
constexpr UINT CM_MOUSEENTER = 0xB013;
constexpr UINT CM_MOUSELEAVE = 0xB014;

constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;

// Scroll codes (low word of wParam of WM_HSCROLL / WM_VSCROLL).
constexpr WORD SB_LINEUP = 0, SB_LINEDOWN = 1, SB_PAGEUP = 2, SB_PAGEDOWN = 3, SB_THUMBPOSITION = 4,
               SB_THUMBTRACK = 5, SB_TOP = 6, SB_BOTTOM = 7;
constexpr int WHEEL_DELTA = 120;

// Key state in wParam of mouse messages. MK_ALT stands in for the keyboard query a desktop
// would make for the Alt key.
constexpr WPARAM MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08,
                 MK_MBUTTON = 0x10, MK_ALT = 0x20;

constexpr LPARAM MAKELPARAM(int low, int high) {
    return static_cast<LPARAM>(
        static_cast<std::uint32_t>(static_cast<std::uint16_t>(low)) |
        (static_cast<std::uint32_t>(static_cast<std::uint16_t>(high)) << 16));
}
constexpr WPARAM MAKEWPARAM(int low, int high) {
    return static_cast<WPARAM>(MAKELPARAM(low, high) & 0xFFFFFFFF);
}
constexpr int GET_X_LPARAM(LPARAM l) { return static_cast<std::int16_t>(l & 0xFFFF); }
constexpr int GET_Y_LPARAM(LPARAM l) { return static_cast<std::int16_t>((l >> 16) & 0xFFFF); }
constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }

struct Message {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
};

namespace form {

enum class MouseButton : std::int32_t { Left = 0, Right = 1, Middle = 2 };
// Shift-state bits as handed to mouse handlers.
constexpr std::uint8_t ssShift = 0x01, ssAlt = 0x02, ssCtrl = 0x04, ssLeft = 0x08, ssRight = 0x10,
                       ssMiddle = 0x20, ssDouble = 0x40;
std::uint8_t ShiftStateFromKeys(WPARAM keys);

enum class Align { None, Client };

class Form;

// A control: bounds in its parent's client coordinates, a hookable window procedure, mouse
// events. Children are not owned.
class Control {
public:
    using WindowProc = std::function<void(Message&)>;
    using MouseEvent = std::function<void(MouseButton, std::uint8_t, int, int)>;
    using MoveEvent = std::function<void(std::uint8_t, int, int)>;
    using NotifyEvent = std::function<void()>;

    Control();
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // Sends a message through the current window procedure.
    LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    void Perform(Message& message) { windowProc(message); }
    // The form library's own handling; hooks call it through the procedure they replaced.
    virtual void DefaultWindowProc(Message& message);

    void SetParent(Control* parent);
    Control* Parent() const { return parent_; }
    const std::vector<Control*>& Children() const { return children_; }
    void BringToFront();
    virtual void SetBounds(int left, int top, int width, int height);
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    virtual int ClientWidth() const { return width_; }
    virtual int ClientHeight() const { return height_; }
    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible) { visible_ = visible; }
    void SetCursor(std::int16_t cursor);
    std::int16_t Cursor() const { return cursor_; }

    std::string name;
    Align align = Align::None;
    WindowProc windowProc;
    MouseEvent onMouseDown, onMouseUp;
    MoveEvent onMouseMove;
    NotifyEvent onClick, onDblClick;

protected:
    virtual void Resized() {}
    // Mouse messages already in this control's client coordinates.
    void HandleMouse(Message& message);

private:
    friend class Form;
    Control* parent_ = nullptr;
    std::vector<Control*> children_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    std::int16_t cursor_ = 0;
    bool pressed_ = false;  // a button went down here: its release is a click
};

class Label : public Control {
public:
    std::string caption;
};

// A paint box with an off-screen 32-bit buffer the size of the box. Painting raises
// onPaintBuffer with the buffer's context clipped to the part the parent shows; the buffer is
// then what the screen shows.
class PaintBox : public Control {
public:
    PaintBox();
    std::function<void(PaintBox&)> onPaintBuffer;
    bool opaque = false;

    HDC CanvasDC() { return buffer_.empty() ? nullptr : &canvas_; }
    const std::vector<std::uint32_t>& Buffer() const { return buffer_; }
    void Invalidate();
    bool Invalid() const { return invalid_; }
    // Paints now when invalid (what the parent's paint cycle does for it).
    void Update();
    // Invalidate and paint now.
    void Repaint() {
        Invalidate();
        Update();
    }
    // The box's rectangle that its parent's client area shows, in box coordinates.
    RECT VisibleRect() const;

protected:
    void Resized() override;

private:
    std::vector<std::uint32_t> buffer_;
    DeviceContext canvas_;
    bool invalid_ = true;
};

struct ScrollBar {
    int range = 0;
    int position = 0;
    bool visible = true;
    int increment = 8;  // one line
};

struct FontAttributes {
    std::string name = "Tahoma";
    int height = -11;  // negative: character height in pixels
    int charset = 1;   // DEFAULT_CHARSET
    OLE_COLOR color = kSystemColorFlag | COLOR_WINDOWTEXT;
    bool bold = false, italic = false, underline = false, strikeout = false;
    int pixelsPerInch = 96;
    // Size in points from the height, and back.
    int Size() const;
    void SetSize(int points);
};

// A scrolling form. Children aligned to the client area fill the rectangle from (−horizontal
// position, −vertical position) of size max(client, range), so they cover the whole scroll
// range and move against the scroll position.
class Form : public Control {
public:
    Form();
    ~Form() override;

    void DefaultWindowProc(Message& message) override;

    int ClientWidth() const override { return clientWidth_; }
    int ClientHeight() const override { return clientHeight_; }
    void SetClientWidth(int width) { SetClientSize(width, clientHeight_); }
    void SetClientHeight(int height) { SetClientSize(clientWidth_, height); }
    void SetClientSize(int width, int height);
    void SetBounds(int left, int top, int width, int height) override;

    ScrollBar& HorzScrollBar() { return horz_; }
    ScrollBar& VertScrollBar() { return vert_; }
    void SetScrollRange(bool horizontal, int range);
    void SetScrollPosition(bool horizontal, int position);
    void SetScrollVisible(bool horizontal, bool visible);

    // Lays the children out by alignment.
    void Realign();
    // Sends WM_PAINT when the form or a child needs painting.
    void Update();
    void Invalidate() {
        invalid_ = true;
        Notify(FormChange::Paint);
    }
    // The view that shows the form in a window system (none headless), made by the backend
    // selected when the form was created.
    FormView* View() const { return view_.get(); }
    void Notify(FormChange change) {
        if (view_) view_->FormChanged(change);
    }
    // A context over the form's own surface (underneath its children).
    HDC GetDC();
    // What the client area shows: the surface with the visible children's buffers on top.
    std::vector<std::uint32_t> CaptureClient() const;
    // Raises onDestroy once.
    void Destroy();
    bool Destroyed() const { return destroyed_; }

    OLE_COLOR color = kSystemColorFlag | COLOR_ACTIVECAPTION;
    FontAttributes font;
    std::string caption = "axLumora";
    // Properties a host may read and write that change nothing headless.
    bool autoScroll = true, autoSize = false, scaled = true, dockSite = false,
         useDockManager = false, enabled = true, alignWithMargins = false, keyPreview = false,
         screenSnap = false, doubleBuffered = false, dropTarget = false, active = false,
         alignDisabled = false, mouseInClient = false;
    std::int32_t borderStyle = 0, pixelsPerInch = 96, popupMode = 0, printScale = 1,
                 snapBuffer = 10, visibleDockClientCount = 0;
    std::string helpFile;
    int explicitLeft = 0, explicitTop = 0, explicitWidth = 0, explicitHeight = 0;
    // Characters the form went on to process after OnKeyPress (what a focused edit would get).
    std::string processedKeys;

    std::function<void(bool active)> onActivate;
    NotifyEvent onCreate, onDestroy, onMouseEnter, onMouseLeave, onPaint, onResize, onCursorChanged;
    std::function<void(char& key)> onKeyPress;

private:
    void RouteMouse(Message& message);
    void Scroll(bool horizontal, WORD code, int thumb);
    void PaintSelf();

    int clientWidth_ = 0, clientHeight_ = 0;
    ScrollBar horz_, vert_;
    Control* capture_ = nullptr;
    std::vector<std::uint32_t> surface_;
    DeviceContext surfaceDC_;
    bool invalid_ = true;
    bool destroyed_ = false;
    std::unique_ptr<FormView> view_;
};

}  // namespace form

// The window handle of the desktop: here the control itself.
using HWND = form::Control*;
LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// Paints what is invalid now (the paint cycle a message loop runs when idle).
void UpdateWindow(HWND window);

// The cursor table: numbers to shapes. A shape is a 32 × 32 picture: '#' black, '.' white,
// ' ' transparent, with a hot spot.
struct CursorShape {
    std::string name;
    int hotX = 0, hotY = 0;
    std::vector<std::string> picture;
};
// Registers a shape under a number (the module's own cursors); replaces what was there.
void RegisterCursor(std::int16_t number, const CursorShape& shape);
void UnregisterCursor(std::int16_t number);
// The shape a number shows: a registered one, a standard one, else the default arrow.
const CursorShape& CursorShapeOf(std::int16_t number);

// The interface through which a container asks an embedded object for its window.
constexpr IID IID_IOleWindow{
    0x00000114, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
struct IOleWindow : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) = 0;
    virtual HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL fEnterMode) = 0;

protected:
    ~IOleWindow() = default;
};

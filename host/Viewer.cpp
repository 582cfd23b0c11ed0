#include "host/Viewer.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMainWindow>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>

#include "control/cvaxLumora_TLB.h"
#include "host/ControlLoader.h"
#include "host/EventSink.h"
#include "host/ViewerSupport.h"
#include "platform/form/FormView.h"
#include "platform/form/qt/QtForm.h"
#include "platform/handles/GlobalMemory.h"

namespace host {

namespace {

constexpr const char* kUsage =
    "usage: axlumora view [FILE] [--raw WIDTH HEIGHT [FLAGS]] [--mode fit|normal|stretch]\n"
    "                     [--size WIDTH HEIGHT] [--events] [--trace]\n"
    "keys: f fit, n normal, s stretch, i invert, h mirror, v flip, r rotate 90, a auto-window,\n"
    "      0 reset window/level, c next cursor, q quit; right-drag: window/level\n";

// The Cursor property's custom shapes, then the default arrow.
constexpr std::int16_t kCursorCycle[] = {5, 6, 7, 8, 9, 11, 12, 13, 0};

enum class Mode { Fit, Normal, Stretch };

const char* ModeName(Mode mode) {
    switch (mode) {
        case Mode::Fit: return "fit";
        case Mode::Normal: return "normal";
        case Mode::Stretch: return "stretch";
    }
    return "?";
}

struct Options {
    std::string file;
    int rawWidth = 0, rawHeight = 0;
    std::uint64_t rawFlags = 255;  // headerless: the size comes from the command line
    Mode mode = Mode::Fit;
    int width = 800, height = 600;
    bool events = false, trace = false;
};

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    const auto number = [&](std::size_t& i, long long& out) {
        if (i + 1 >= args.size()) return false;
        try {
            out = std::stoll(args[++i], nullptr, 0);
        } catch (...) {
            return false;
        }
        return true;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        long long a = 0, b = 0;
        if (arg == "--raw" || arg == "--size") {
            if (!number(i, a) || !number(i, b) || a <= 0 || b <= 0 || a > 65535 || b > 65535) {
                error = arg + " needs a width and a height";
                return false;
            }
            if (arg == "--raw") {
                options.rawWidth = static_cast<int>(a);
                options.rawHeight = static_cast<int>(b);
                std::size_t next = i;
                if (next + 1 < args.size() && args[next + 1].rfind("--", 0) != 0 &&
                    number(next, a)) {
                    options.rawFlags = static_cast<std::uint64_t>(a);
                    i = next;
                }
            } else {
                options.width = static_cast<int>(a);
                options.height = static_cast<int>(b);
            }
        } else if (arg == "--mode") {
            const std::string mode = i + 1 < args.size() ? args[++i] : "";
            if (mode == "fit") options.mode = Mode::Fit;
            else if (mode == "normal") options.mode = Mode::Normal;
            else if (mode == "stretch") options.mode = Mode::Stretch;
            else {
                error = "--mode takes fit, normal or stretch";
                return false;
            }
        } else if (arg == "--events") {
            options.events = true;
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg.rfind("--", 0) == 0 || !options.file.empty()) {
            error = "unexpected " + arg;
            return false;
        } else {
            options.file = arg;
        }
    }
    if (options.rawWidth && options.file.empty()) {
        error = "--raw needs a FILE";
        return false;
    }
    return true;
}

class Viewer;

// The viewer's sink for IaxLumoraEvents: prints the events when asked, then lets the viewer
// act on them. Owned by the viewer; the reference count only counts.
class ViewerSink final : public IDispatch {
public:
    ViewerSink(Viewer& viewer, bool print) : viewer_(viewer), printer_(std::cout), print_(print) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_IaxLumoraEvents) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return printer_.GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID lcid, ITypeInfo** info) override {
        return printer_.GetTypeInfo(i, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override {
        return printer_.GetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argError) override;

private:
    Viewer& viewer_;
    EventSink printer_;
    bool print_;
    ULONG references_ = 0;
};

class Viewer {
public:
    explicit Viewer(Options options)
        : options_(std::move(options)), sink_(*this, options_.events) {}

    int Run(const std::string& libraryPath);
    // Event handlers (from the sink).
    void MouseDown(int button, int shift, int x, int y);
    void MouseMove(int shift, int x, int y);
    void MouseUp(int button);
    // A typed character; returns true when it was a shortcut (the control then drops it).
    bool Key(char key);

private:
    bool Open();
    void FetchSamples();
    void ApplyMode(Mode mode);
    void ImageChanged();
    void PlaceControl();
    void ApplyWindowLevel();
    void UpdateStatus();
    std::string State() const;
    void Trace(const std::string& line) {
        if (!options_.trace) return;
        std::cout << line << std::endl;
    }

    Options options_;
    ViewerSink sink_;
    ControlLoader loader_;
    EventConnection connection_;
    std::unique_ptr<LateBound> control_;
    // The window: the control's area above a status line. Children are declared after their
    // parents, so each goes before its parent does.
    struct Window {
        QMainWindow main;
        QWidget central;
        QVBoxLayout layout{&central};
        QWidget area;  // the control's parent
        QLabel status;
    };
    std::unique_ptr<Window> window_;
    QWidget* area_ = nullptr;
    QLabel* status_ = nullptr;
    QWidget* widget_ = nullptr;  // the control's widget
    Mode mode_ = Mode::Fit;
    std::optional<SampleImage> samples_;
    std::vector<std::uint32_t> lut_;
    double level_ = 0.5, width_ = 1.0;
    bool dragging_ = false;
    int dragX_ = 0, dragY_ = 0;
    double dragLevel_ = 0, dragWidth_ = 0;
    std::size_t cursorIndex_ = 0;
    std::int16_t cursor_ = 0;
    std::string position_;
    std::string lastState_;
};

HRESULT ViewerSink::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* argError) {
    if (print_) printer_.Invoke(id, riid, lcid, flags, params, nullptr, exception, argError);
    if (result) VariantInit(result);
    const UINT count = params ? params->cArgs : 0;
    if (count && !params->rgvarg) return E_INVALIDARG;
    // Arguments arrive last first.
    const auto arg = [&](UINT i) {
        Variant number;
        VariantChangeType(&number, &params->rgvarg[count - 1 - i], 0, VT_I4);
        return static_cast<int>(number.lVal);
    };
    switch (id) {
        case DISPID_OnMouseDown:
            if (count == 4) viewer_.MouseDown(arg(0), arg(1), arg(2), arg(3));
            break;
        case DISPID_OnMouseMove:
            if (count == 3) viewer_.MouseMove(arg(0), arg(1), arg(2));
            break;
        case DISPID_OnMouseUp:
            if (count == 4) viewer_.MouseUp(arg(0));
            break;
        case DISPID_OnKeyPress:
            if (count == 1 && params->rgvarg[0].vt == (VT_I2 | VT_BYREF) &&
                params->rgvarg[0].piVal &&
                viewer_.Key(static_cast<char>(*params->rgvarg[0].piVal & 0xFF)))
                *params->rgvarg[0].piVal = 0;
            break;
        default: break;
    }
    return S_OK;
}

bool Viewer::Open() {
    if (options_.file.empty()) return true;
    Variant value;
    if (options_.rawWidth) {
        // A raw frame in a file: LoadFnRAW converts it into the control's bitmap.
        value = control_->Call(
            "LoadFnRAW",
            {Variant::String(options_.file), Variant::String(""), Variant::I4(options_.rawWidth),
             Variant::I4(options_.rawHeight), Variant::UI8(options_.rawFlags)});
    } else {
        value = control_->Call("Load", {Variant::String(options_.file), Variant::I4(0),
                                        Variant::I4(1), Variant::I4(1)});
    }
    // Load reports success as 0, LoadFnRAW as 1.
    Variant code;
    const LONG loaded = options_.rawWidth ? 1 : 0;
    if (FAILED(control_->lastResult()) || FAILED(VariantChangeType(&code, &value, 0, VT_I4)) ||
        code.lVal != loaded) {
        std::cerr << "axlumora view: cannot open " << options_.file << " (Value "
                  << (SUCCEEDED(control_->lastResult()) ? std::to_string(code.lVal) : "none")
                  << ")\n";
        return false;
    }
    return true;
}

// The samples behind the read-out: the image as the control saves it into a memory block
// (16-bit DICOM for grey images, a 24-bit bitmap for colour ones).
void Viewer::FetchSamples() {
    samples_.reset();
    if (control_->Number("BitmapWidth") <= 0) return;
    const bool grey = control_->Number("IsGrayscale") != 0;
    ULONG block = 0;
    LONG size = 0;
    Variant blockArg, sizeArg;
    blockArg.vt = VT_UI4 | VT_BYREF;
    blockArg.pulVal = &block;
    sizeArg.vt = VT_I4 | VT_BYREF;
    sizeArg.plVal = &size;
    Variant value =
        control_->Call("SaveMemory", {blockArg, Variant::I2(grey ? FILE_DICOM_GRAY : FILE_BMP),
                                      Variant::I2(grey ? 16 : 24), Variant::I2(0), sizeArg});
    // The block is the host's from here, whatever the outcome.
    std::vector<std::uint8_t> file;
    if (block) {
        if (const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(block))) {
            const std::size_t length = std::min<std::size_t>(
                GlobalSize(block), size > 0 ? static_cast<std::size_t>(size) : 0);
            file.assign(bytes, bytes + length);
            GlobalUnlock(block);
        }
        GlobalFree(block);
    }
    if (file.empty()) return;
    samples_ = grey ? ReadDicomSamples(file) : ReadBmpSamples(file);
}

void Viewer::PlaceControl() {
    if (!widget_ || !area_) return;
    if (mode_ == Mode::Fit) {
        // The whole area first, then the control fits itself to the image's proportions inside it.
        widget_->setGeometry(area_->rect());
        control_->Call("ForceRepaint");
        const QSize fitted = widget_->size();
        widget_->move((area_->width() - fitted.width()) / 2,
                      (area_->height() - fitted.height()) / 2);
    } else if (mode_ == Mode::Normal) {
        widget_->setGeometry(area_->rect());
    } else {
        widget_->setGeometry(area_->rect());
        control_->Call("SetDstRect", {Variant::I4(0), Variant::I4(0), Variant::I4(area_->width()),
                                      Variant::I4(area_->height())});
        control_->Call("Repaint");
    }
    UpdateStatus();
}

void Viewer::ApplyMode(Mode mode) {
    mode_ = mode;
    // Stretch keeps the rectangles a host sets: the fit mode first clears the scroll ranges,
    // then the destination is the whole area.
    control_->Put("PAINTSIZEMODE",
                  Variant::I4(mode == Mode::Normal ? PAINTSIZEMODE_NORMAL : PAINTSIZEMODE_FIT));
    control_->Call("ForceRepaint");
    if (mode == Mode::Stretch) control_->Put("PAINTSIZEMODE", Variant::I4(PAINTSIZEMODE_STRETCH));
    PlaceControl();
}

void Viewer::ImageChanged() {
    FetchSamples();
    ApplyMode(mode_);
}

void Viewer::ApplyWindowLevel() {
    lut_ = WindowLevelTable(level_, width_);
    // The table stays alive in the viewer for as long as the control may paint through it.
    control_->Call("SetPaintLUT", {Variant::UI8(reinterpret_cast<std::uintptr_t>(lut_.data())),
                                   Variant::I4(static_cast<LONG>(lut_.size()))});
    control_->Call("Repaint");
    UpdateStatus();
}

void Viewer::MouseDown(int button, int, int x, int y) {
    if (button != 1) return;  // mbRight
    dragging_ = true;
    dragX_ = x;
    dragY_ = y;
    dragLevel_ = level_;
    dragWidth_ = width_;
}

void Viewer::MouseMove(int shift, int x, int y) {
    // The event's coordinates are the paint box's: the destination rectangle maps them back
    // onto the image.
    const double dstLeft = control_->Number("DstLeft"), dstTop = control_->Number("DstTop");
    const double dstWidth = control_->Number("DstWidth"), dstHeight = control_->Number("DstHeight");
    const double srcLeft = control_->Number("SrcLeft"), srcTop = control_->Number("SrcTop");
    const double srcWidth = control_->Number("SrcWidth"), srcHeight = control_->Number("SrcHeight");
    position_.clear();
    if (dstWidth > 0 && dstHeight > 0) {
        const int ix = static_cast<int>(std::floor((x - dstLeft) * srcWidth / dstWidth + srcLeft));
        const int iy = static_cast<int>(std::floor((y - dstTop) * srcHeight / dstHeight + srcTop));
        const std::string value = samples_ ? samples_->ValueText(ix, iy) : std::string();
        if (!value.empty())
            position_ = std::to_string(ix) + "," + std::to_string(iy) + " = " + value;
    }
    if (dragging_ && (shift & 0x10)) {  // ssRight: the right button is held
        const double span = std::max(area_ ? area_->width() : 1, 1);
        width_ = std::clamp(dragWidth_ + (x - dragX_) / span, 0.002, 2.0);
        level_ = std::clamp(dragLevel_ - (y - dragY_) / span, -0.5, 1.5);
        ApplyWindowLevel();
        return;
    }
    UpdateStatus();
}

void Viewer::MouseUp(int button) {
    if (button == 1) dragging_ = false;
}

bool Viewer::Key(char key) {
    const auto imageOp = [this](const char* member, std::initializer_list<Variant> args = {}) {
        control_->Call(member, args);
        ImageChanged();
    };
    switch (key) {
        case 'f': ApplyMode(Mode::Fit); break;
        case 'n': ApplyMode(Mode::Normal); break;
        case 's': ApplyMode(Mode::Stretch); break;
        case 'i': imageOp("Invert"); break;
        case 'h': imageOp("HorizontalMirror"); break;
        case 'v': imageOp("Flip"); break;
        case 'r': imageOp("FastRotate", {Variant::I4(90)}); break;
        case 'a': imageOp("AutoWindowing", {Variant::I4(1), Variant::I4(1), Variant::I4(1)}); break;
        case '0':
            level_ = 0.5;
            width_ = 1.0;
            ApplyWindowLevel();
            break;
        case 'c':
            cursor_ = kCursorCycle[cursorIndex_++ % std::size(kCursorCycle)];
            control_->Put("Cursor", Variant::I2(cursor_));
            UpdateStatus();
            break;
        case 'q':
        case 27:
            if (window_) window_->main.close();
            break;
        default: return false;
    }
    return true;
}

std::string Viewer::State() const {
    std::ostringstream state;
    // What the user sees: the widget less the scroll bars it shows.
    int h = 0, v = 0, width = widget_->width(), height = widget_->height();
    for (const QScrollBar* bar : widget_->findChildren<QScrollBar*>()) {
        const bool horizontal = bar->orientation() == Qt::Horizontal;
        (horizontal ? h : v) = bar->value();
        if (bar->isVisible())
            (horizontal ? height : width) -= horizontal ? bar->height() : bar->width();
    }
    const QPoint origin = widget_->mapToGlobal(QPoint(0, 0));
    const QCursor cursor = widget_->cursor();
    state.precision(17);
    state << "state mode=" << ModeName(mode_) << " area=" << area_->width() << ","
          << area_->height() << " client=" << origin.x() << "," << origin.y() << "," << width << ","
          << height << " scroll=" << h << "," << v << " cursor=" << control_->Number("Cursor")
          << " shape=" << static_cast<int>(cursor.shape()) << " hot=" << cursor.hotSpot().x() << ","
          << cursor.hotSpot().y() << " wl=" << level_ << "," << width_
          << " at=" << (position_.empty() ? "-" : position_);
    return state.str();
}

void Viewer::UpdateStatus() {
    if (!status_) return;
    std::ostringstream text;
    text << ModeName(mode_) << "  " << (position_.empty() ? "-" : position_) << "  level "
         << static_cast<int>(std::lround(level_ * 100)) << "% width "
         << static_cast<int>(std::lround(width_ * 100)) << "%";
    status_->setText(QString::fromStdString(text.str()));
}

int Viewer::Run(const std::string& libraryPath) {
    int argc = 1;
    char name[] = "axlumora";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    // Controls created from here on live in Qt widgets.
    form::RegisterQtFormBackend();

    std::string error;
    if (!loader_.Load(libraryPath, error)) {
        std::cerr << "axlumora view: " << error << '\n';
        return 3;
    }
    control_ = std::make_unique<LateBound>(loader_.control());
    ComPtr<IFormWidget> widgetOf;
    void* native = nullptr;
    if (FAILED(loader_.control()->QueryInterface(IID_IFormWidget, widgetOf.put_void())) ||
        widgetOf->GetWidget(&native) != S_OK || !native) {
        std::cerr << "axlumora view: the control has no widget\n";
        return 3;
    }
    widget_ = static_cast<QWidget*>(native);
    connection_.Connect(loader_.control(), &sink_);

    window_ = std::make_unique<Window>();
    window_->main.setWindowTitle(QString::fromStdString("axlumora view " + options_.file));
    window_->layout.setContentsMargins(0, 0, 0, 0);
    window_->layout.setSpacing(0);
    window_->layout.addWidget(&window_->area, 1);
    window_->status.setContentsMargins(4, 2, 4, 2);
    // A longer status text must not widen the window.
    window_->status.setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    window_->layout.addWidget(&window_->status);
    window_->main.setCentralWidget(&window_->central);
    area_ = &window_->area;
    status_ = &window_->status;
    widget_->setParent(area_);

    mode_ = options_.mode;
    if (!Open()) return 1;
    FetchSamples();
    window_->main.resize(options_.width, options_.height + status_->sizeHint().height());
    window_->main.show();
    widget_->setFocus();
    QApplication::processEvents();
    ApplyMode(mode_);

    // The area's size decides the control's; a resize of the window places it again.
    QSize placedFor = area_->size();
    QTimer follow;
    QObject::connect(&follow, &QTimer::timeout, [&] {
        if (area_->size() != placedFor) {
            placedFor = area_->size();
            PlaceControl();
        }
        if (options_.trace) {
            const std::string state = State();
            if (state != lastState_) {
                lastState_ = state;
                Trace(state);
            }
        }
    });
    follow.start(50);
    const int code = QApplication::exec();
    follow.stop();

    // The control goes before the window: its widget leaves the window as the form goes.
    connection_.Detach();
    widget_ = nullptr;
    loader_.Unload();
    window_.reset();
    return code;
}

}  // namespace

int RunViewer(const std::string& libraryPath, const std::vector<std::string>& args) {
    if (std::find(args.begin(), args.end(), "--help") != args.end()) {
        std::cout << kUsage;
        return 0;
    }
    Options options;
    std::string error;
    if (!ParseOptions(args, options, error)) {
        std::cerr << "axlumora view: " << error << '\n' << kUsage;
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::cerr << "axlumora view: no display (set DISPLAY, or QT_QPA_PLATFORM=offscreen)\n";
        return 3;
    }
    Viewer viewer(std::move(options));
    return viewer.Run(libraryPath);
}

}  // namespace host

// Cursor pictures of our own design, drawn from a few strokes on a 32 × 32 grid: '#' black,
// '.' white (a one-pixel halo keeps them visible on dark and light images), ' ' transparent.
#include "interaction/Cursors.h"

#include <cmath>
#include <mutex>

#include "platform/form/Form.h"

namespace {

class Canvas {
public:
    Canvas() : rows_(32, std::string(32, ' ')) {}
    void Dot(int x, int y) {
        if (x >= 0 && y >= 0 && x < 32 && y < 32) rows_[y][x] = '#';
    }
    void Line(int x0, int y0, int x1, int y1) {
        const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        for (int i = 0; i <= steps; ++i)
            Dot(x0 + (steps ? (x1 - x0) * i / steps : 0), y0 + (steps ? (y1 - y0) * i / steps : 0));
    }
    void Circle(int cx, int cy, int r) {
        for (int a = 0; a < 360; a += 3) {
            const double t = a * 3.14159265358979 / 180;
            Dot(cx + static_cast<int>(std::lround(r * std::cos(t))),
                cy + static_cast<int>(std::lround(r * std::sin(t))));
        }
    }
    void Fill(int x0, int y0, int x1, int y1) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) Dot(x, y);
    }
    std::vector<std::string> Picture() const {
        std::vector<std::string> out = rows_;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if (rows_[y][x] == ' ')
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx)
                            if (y + dy >= 0 && y + dy < 32 && x + dx >= 0 && x + dx < 32 &&
                                rows_[y + dy][x + dx] == '#')
                                out[y][x] = '.';
        return out;
    }

private:
    std::vector<std::string> rows_;
};

CursorShape Shape(const char* name, int hotX, int hotY, const Canvas& canvas) {
    return CursorShape{name, hotX, hotY, canvas.Picture()};
}

struct Custom {
    std::int16_t number;
    CursorShape shape;
};

std::vector<Custom> CustomCursors() {
    std::vector<Custom> cursors;
    {  // an arrow with a small H beside it
        Canvas c;
        for (int y = 0; y < 16; ++y) c.Line(0, y, y / 2, y);
        c.Line(0, 0, 0, 15);
        c.Line(14, 18, 14, 26), c.Line(20, 18, 20, 26), c.Line(14, 22, 20, 22);
        cursors.push_back({5, Shape("HARROW", 0, 0, c)});
    }
    {  // a cross with an open centre
        Canvas c;
        c.Line(15, 2, 15, 12), c.Line(15, 18, 15, 28), c.Line(2, 15, 12, 15),
            c.Line(18, 15, 28, 15);
        cursors.push_back({6, Shape("HCROSS", 15, 15, c)});
    }
    {  // four arrows
        Canvas c;
        c.Line(15, 3, 15, 27), c.Line(3, 15, 27, 15);
        for (int i = 0; i < 4; ++i) {
            c.Line(15 - i, 3 + i, 15 + i, 3 + i), c.Line(15 - i, 27 - i, 15 + i, 27 - i);
            c.Line(3 + i, 15 - i, 3 + i, 15 + i), c.Line(27 - i, 15 - i, 27 - i, 15 + i);
        }
        cursors.push_back({7, Shape("HMOVE", 15, 15, c)});
    }
    {  // a magnifying glass
        Canvas c;
        c.Circle(11, 11, 8);
        c.Line(17, 17, 27, 27), c.Line(18, 17, 28, 27), c.Line(17, 18, 27, 28);
        cursors.push_back({8, Shape("MAGGLASS", 11, 11, c)});
    }
    {  // a thin cross with a dot
        Canvas c;
        c.Line(15, 0, 15, 31), c.Line(0, 15, 31, 15), c.Circle(15, 15, 3);
        cursors.push_back({9, Shape("CROSS2", 15, 15, c)});
    }
    // Brushes of three tip sizes on a diagonal handle.
    const int tips[] = {1, 3, 5};
    const char* names[] = {"BRUSH01", "BRUSH02", "BRUSH03"};
    for (int i = 0; i < 3; ++i) {
        Canvas c;
        c.Line(12, 12, 28, 28), c.Line(13, 12, 29, 28);
        c.Fill(2, 2, 2 + tips[i] * 2, 2 + tips[i] * 2);
        c.Line(2 + tips[i] * 2, 2 + tips[i] * 2, 12, 12);
        cursors.push_back({static_cast<std::int16_t>(11 + i), Shape(names[i], 2, 2, c)});
    }
    return cursors;
}

std::mutex g_mutex;
int g_registrations = 0;

}  // namespace

void RegisterCustomCursors() {
    std::lock_guard lock(g_mutex);
    if (g_registrations++ > 0) return;
    for (const Custom& custom : CustomCursors()) RegisterCursor(custom.number, custom.shape);
}

void UnregisterCustomCursors() {
    std::lock_guard lock(g_mutex);
    if (g_registrations == 0 || --g_registrations > 0) return;
    for (const Custom& custom : CustomCursors()) UnregisterCursor(custom.number);
}

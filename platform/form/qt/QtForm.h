// The Qt 6 backend of the form layer: a form becomes a QWidget that a Qt host places in its
// layout. The widget shows what the form's paint cycle painted (the same buffers a headless
// snapshot reads), drives the form's scrolling model from two QScrollBars and turns Qt's input
// events into the window messages the form's window procedure handles.
//
// This library is the only part of the system that needs Qt; a host that wants real windows
// links it and registers the backend before it creates a control.
#pragma once

#include <QCursor>
#include <cstdint>

namespace form {

// Registers the backend as "qt" and selects it (declared for hosts in <axlumora/FormWidget.h>).
// Forms created while no QApplication exists stay headless.
void RegisterQtFormBackend();

// The Qt cursor a cursor number shows (the table of the form layer mapped onto Qt's shapes;
// the module's own pictures become bitmap cursors).
QCursor QtCursorFor(std::int16_t number);

}  // namespace form

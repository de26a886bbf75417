#include "tools/trvhost/HostEditor.h"

#include <string>

HostEditor::HostEditor(AEffect* effect, bool window) : effect_(effect), wantWindow_(window) {}

HostEditor::~HostEditor() { close(); }

bool HostEditor::open(std::string& error) {
    if (!effect_ || !(effect_->flags & effFlagsHasEditor)) {
        error = "the plug-in has no editor";
        return false;
    }
    ERect* rect = nullptr;
    if (!effect_->dispatcher(effect_, effEditGetRect, 0, 0, &rect, 0.0f) || !rect) {
        error = "the editor gave no size";
        return false;
    }
    width_ = rect->right - rect->left;
    height_ = rect->bottom - rect->top;
    void* parent = nullptr;
    if (wantWindow_) {
        window_ = platform::EditorWindow::createTopLevel("trvhost", width_, height_);
        if (!window_) {
            error = "no window (is there an X display? DISPLAY)";
            return false;
        }
        parent = window_->nativeHandle();
    }
    open_ = effect_->dispatcher(effect_, effEditOpen, 0, 0, parent, 0.0f) != 0;
    if (!open_) error = "the editor did not open";
    return open_;
}

void HostEditor::close() {
    if (open_) effect_->dispatcher(effect_, effEditClose, 0, 0, nullptr, 0.0f);
    open_ = false;
    window_.reset();
}

void HostEditor::pump() {
    if (!window_) return;
    platform::WindowEvent e;
    while (window_->nextEvent(e)) {
    }
}

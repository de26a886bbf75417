#include "vst/AEffGUIEditor.h"

namespace {
VstInt16 clampExtent(int v) {
    if (v < 0) return 0;
    if (v > 32767) return 32767;
    return static_cast<VstInt16>(v);
}
}  // namespace

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect) : AEffEditor(effect) {}

AEffGUIEditor::~AEffGUIEditor() {
    if (isOpen()) close();
}

bool AEffGUIEditor::getRect(ERect** out) {
    return AEffEditor::getRect(out);
}

bool AEffGUIEditor::open(void* parent) {
    idleCount_ = 0;
    return AEffEditor::open(parent);
}

void AEffGUIEditor::close() {
    AEffEditor::close();
}

void AEffGUIEditor::idle() {
    if (isOpen()) ++idleCount_;
}

void AEffGUIEditor::setSize(int width, int height) {
    rect.top = 0;
    rect.left = 0;
    rect.bottom = clampExtent(height);
    rect.right = clampExtent(width);
}

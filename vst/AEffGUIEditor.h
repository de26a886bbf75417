#pragma once
// The editor with a fixed-size window of our own. The window itself comes
// with the toolkit; until then this keeps the size, the open state and the
// parameter notifications the plug-in sends it.
#include "vst/AEffEditor.h"

class AEffGUIEditor : public AEffEditor {
public:
    explicit AEffGUIEditor(AudioEffect* effect);
    ~AEffGUIEditor() override;

    bool getRect(ERect** out) override;
    bool open(void* parent) override;
    void close() override;
    void idle() override;

    // Size of the editor in pixels; top and left stay 0. Negative or
    // oversized values are clamped to 0..32767.
    void setSize(int width, int height);
    int width() const { return rect.right - rect.left; }
    int height() const { return rect.bottom - rect.top; }

    // The plug-in tells the editor that a parameter changed (any thread).
    virtual void setParameter(VstInt32 index, float value) {}
    // Number of idle() calls since the editor was opened.
    unsigned idleCount() const { return idleCount_; }

private:
    unsigned idleCount_ = 0;
};

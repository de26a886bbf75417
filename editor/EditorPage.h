#pragma once
// One page of the editor (Connect, Online, Options): the listener of the
// controls it makes. open() adds them to the frame (which owns them from
// then on) and ends with refresh(); idle() polls what the page shows and
// redraws a control only when its value or text changed.
#include "gui/Control.h"
#include "gui/Events.h"

namespace editor {

class LinkEditor;

class EditorPage : public gui::ControlListener {
public:
    explicit EditorPage(LinkEditor& editor) : editor_(editor) {}
    ~EditorPage() override = default;
    EditorPage(const EditorPage&) = delete;
    EditorPage& operator=(const EditorPage&) = delete;

    virtual void open() = 0;
    virtual void refresh() {}
    // Releases what the page itself holds (the controls belong to the frame).
    virtual void close() {}
    virtual void idle() {}
    // 1 when the key was used, -1 when not.
    virtual int onKeyDown(const gui::KeyEvent&) { return -1; }
    void valueChanged(gui::Control&) override {}

protected:
    LinkEditor& editor_;
};

}  // namespace editor

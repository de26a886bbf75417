#pragma once
// The editor's pages by index: 0 Connect, 1 Online (the session), 2 Options.
#include <memory>

#include "editor/EditorPage.h"

namespace editor {

std::unique_ptr<EditorPage> createPage(LinkEditor& editor, int index);

// A page showing only its background bitmap (the page's place in the
// frame is (0, 34)-(623, 334)).
class BackgroundPage : public EditorPage {
public:
    BackgroundPage(LinkEditor& editor, int bitmapId) : EditorPage(editor), bitmapId_(bitmapId) {}
    void open() override;

private:
    int bitmapId_;
};

}  // namespace editor

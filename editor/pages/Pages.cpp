#include "editor/pages/Pages.h"

#include "editor/LinkEditor.h"
#include "editor/controls/ImageView.h"
#include "editor/pages/ConnectPage.h"
#include "editor/pages/OptionsPage.h"
#include "editor/pages/SessionPage.h"
#include "resources/EditorBitmaps.h"

namespace editor {

void BackgroundPage::open() {
    editor_.frame()->add(std::make_unique<ImageView>(
        gui::Rect(0, LinkEditor::kPageTop, LinkEditor::kWidth, LinkEditor::kPageBottom),
        resources::loadBitmap(bitmapId_), gui::Point(0, 0)));
    refresh();
}

std::unique_ptr<EditorPage> createPage(LinkEditor& editor, int index) {
    switch (index) {
        case 0: return std::make_unique<ConnectPage>(editor);
        case 1: return std::make_unique<SessionPage>(editor);
        case 2: return std::make_unique<OptionsPage>(editor);
        default: return nullptr;
    }
}

}  // namespace editor

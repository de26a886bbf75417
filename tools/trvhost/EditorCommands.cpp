// Commands that work instance 1's editor as a user does: presses, keys and
// text go to its frame, a screenshot writes the frame as drawn (on a real
// window the same pixels the window shows), and `editor` tells the page
// and the popup.
#include <cstdio>
#include <string>

#include "editor/LinkEditor.h"
#include "editor/controls/ModalPopup.h"
#include "gui/PngCodec.h"
#include "tools/trvhost/CommandHandlers.h"
#include "tools/trvhost/CommandWords.h"
#include "tools/trvhost/LineOutput.h"
#include "trvcore/plugin/LinkPlugin.h"

namespace handlers {

namespace {

editor::LinkEditor* openEditor(const CommandContext& c, std::string& error) {
    auto* e = c.plugin ? dynamic_cast<editor::LinkEditor*>(c.plugin->getEditor()) : nullptr;
    if (!e || !e->frame()) {
        error = "no editor is open (--editor)";
        return nullptr;
    }
    return e;
}

bool keyNamed(const std::string& name, gui::KeyEvent& out) {
    static const struct {
        const char* name;
        gui::Key key;
    } kKeys[] = {{"Return", gui::Key::Return}, {"Escape", gui::Key::Escape},   {"Tab", gui::Key::Tab},
                 {"Backspace", gui::Key::Backspace}, {"Delete", gui::Key::Delete}, {"Left", gui::Key::Left},
                 {"Right", gui::Key::Right}, {"Up", gui::Key::Up},             {"Down", gui::Key::Down},
                 {"Home", gui::Key::Home},   {"End", gui::Key::End}};
    out = gui::KeyEvent{};
    for (const auto& k : kKeys)
        if (name == k.name) {
            out.key = k.key;
            return true;
        }
    if (name.size() == 1 && static_cast<unsigned char>(name[0]) > 0x20 && static_cast<unsigned char>(name[0]) < 0x7F) {
        out.character = static_cast<unsigned char>(name[0]);
        return true;
    }
    return false;
}

}  // namespace

CommandResult click(CommandContext& c, const Args& args, std::string& error) {
    editor::LinkEditor* e = openEditor(c, error);
    if (!e) return CommandResult::Failed;
    double x = 0, y = 0;
    if (!parseDecimal(args[0], 0, 32767, x) || !parseDecimal(args[1], 0, 32767, y)) {
        error = "wants X Y in frame pixels";
        return CommandResult::Failed;
    }
    unsigned button = gui::kLeftButton;
    if (args.size() == 3) {
        if (args[2] != "right") {
            error = "wants right or nothing after X Y";
            return CommandResult::Failed;
        }
        button = gui::kRightButton;
    }
    const gui::MouseEvent m{gui::Point(static_cast<int>(x), static_cast<int>(y)), button, 0};
    e->frame()->mouseDown(m);
    if (e->frame()) e->frame()->mouseUp(m);
    e->paint();
    return CommandResult::Done;
}

CommandResult key(CommandContext& c, const Args& args, std::string& error) {
    editor::LinkEditor* e = openEditor(c, error);
    if (!e) return CommandResult::Failed;
    gui::KeyEvent k;
    if (!keyNamed(args[0], k)) {
        error = "wants Return, Escape, Tab, Backspace, Delete, an arrow, Home, End or one letter";
        return CommandResult::Failed;
    }
    e->keyDown(k);
    e->paint();
    return CommandResult::Done;
}

CommandResult type(CommandContext& c, const Args& args, std::string& error) {
    editor::LinkEditor* e = openEditor(c, error);
    if (!e) return CommandResult::Failed;
    for (unsigned char ch : args[0]) {
        gui::KeyEvent k;
        k.character = ch;
        e->keyDown(k);
    }
    e->paint();
    return CommandResult::Done;
}

CommandResult screenshot(CommandContext& c, const Args& args, std::string& error) {
    editor::LinkEditor* e = openEditor(c, error);
    if (!e) return CommandResult::Failed;
    e->paint();
    if (!gui::writePngFile(args[0], e->frame()->backBuffer())) {
        error = "cannot write " + args[0];
        return CommandResult::Failed;
    }
    c.out->line("screenshot", args[0]);
    return CommandResult::Done;
}

CommandResult editorState(CommandContext& c, const Args&, std::string& error) {
    editor::LinkEditor* e = openEditor(c, error);
    if (!e) return CommandResult::Failed;
    std::string text = "page " + std::to_string(e->pageIndex()) + ", popup ";
    if (e->invitationPopup()) text += "\"" + e->invitationPopup()->question() + "\"";
    else text += "none";
    c.out->line("editor", text);
    return CommandResult::Done;
}

}  // namespace handlers

#include "editor/EditorFactory.h"

#include <new>

#include "editor/LinkEditor.h"
#include "trvcore/plugin/PluginFactory.h"

namespace editor {

AEffEditor* makeLinkEditor(LinkPlugin* plugin) { return new (std::nothrow) LinkEditor(plugin); }

void installLinkEditor() { setLinkEditorMaker(&makeLinkEditor); }

}  // namespace editor

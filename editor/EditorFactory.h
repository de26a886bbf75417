#pragma once
// Gives every new plug-in instance its editor.
class AEffEditor;
class LinkPlugin;

namespace editor {

AEffEditor* makeLinkEditor(LinkPlugin* plugin);
// From now on createLinkPluginEffect gives each instance a LinkEditor.
void installLinkEditor();

}  // namespace editor
